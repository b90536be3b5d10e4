// The game's pictures: the planet and colony textures, the glowing sprites, the
// explosion sheet, the logo and the pilot's portrait. All 24-bit BMP. Sprites are
// drawn additively on black, so their backgrounds are pure black (also the key colour).
#include <string>
#include <vector>

#include "Common.h"

namespace assetgen {

namespace {

const Noise3 kLand(101), kDetail(102), kCloud(103), kSwirl(104), kRidge(105), kWisp(106);

// Height of the ground: continents from low-frequency noise, broken coasts from finer
// noise, and ridged ranges that rise only well inland. Sea level is 0.08.
double PlanetHeight(double x, double y, double z) {
  const double h =
      kLand.Fbm(x * 1.6 + 3.1, y * 1.6, z * 1.6 - 1.7, 7, 0.55) + 0.25 * kDetail.Fbm(x * 6, y * 6, z * 6, 5);
  double ridge = 0, amp = 0.5, f = 7;
  for (int o = 0; o < 4; ++o) {
    const double n = kRidge.At(x * f + 9.3, y * f, z * f - 4.1);
    const double r = 1.0 - (n < 0 ? -n : n);
    ridge += amp * r * r;
    amp *= 0.5;
    f *= 2.1;
  }
  return h + 0.12 * ridge * SmoothStep(0.12, 0.32, h);
}

}  // namespace

Rgb PlanetColour(double x, double y, double z, bool clouds) {
  const double h = PlanetHeight(x, y, z);
  const double lat = y < 0 ? -y : y;
  Rgb c;
  const double sea = 0.08;
  if (h < sea) {
    const double depth = Clamp((sea - h) * 3.0, 0.0, 1.0);
    c = Mix(Rgb{0.10, 0.35, 0.62}, Rgb{0.02, 0.08, 0.30}, depth);
    // Shallow shelves along the coasts.
    c = Mix(c, Rgb{0.16, 0.50, 0.62}, 1.0 - SmoothStep(0.0, 0.035, sea - h));
  } else {
    const double up = Clamp((h - sea) * 3.5, 0.0, 1.0);
    const double dry = Clamp(0.5 + 0.9 * kDetail.At(x * 3 + 7, y * 3, z * 3) - lat * 0.6, 0.0, 1.0);
    const Rgb green = Mix(Rgb{0.16, 0.42, 0.14}, Rgb{0.30, 0.45, 0.18}, up);
    const Rgb desert = Mix(Rgb{0.72, 0.60, 0.36}, Rgb{0.55, 0.42, 0.28}, up);
    c = Mix(green, desert, dry * dry);
    c = Mix(c, Rgb{0.45, 0.40, 0.38}, SmoothStep(0.6, 1.0, up));
    c = Mix(c, Rgb{0.90, 0.90, 0.92}, SmoothStep(1.15, 1.35, up + 0.3 * (h - sea)));  // snow on the peaks
    // Relief: the slope towards a light from the north-west brightens or darkens the
    // ground, so ranges and valleys show at every distance.
    const double e = 0.004;
    const double slope = (PlanetHeight(x - e * 0.6, y + e * 0.6, z + e * 0.5) - h) / e;
    c = c * Clamp(1.0 + 0.05 * slope, 0.55, 1.45);
  }
  // Ice towards the poles, ragged at its edge.
  const double ice = SmoothStep(0.9, 0.95, lat + 0.04 * kDetail.At(x * 8, y * 8, z * 8));
  c = Mix(c, Rgb{0.92, 0.95, 0.98}, ice);
  if (clouds) {
    // Swirled banks with ragged, fibrous edges and a few thin wisps between them.
    const double wx = kSwirl.Fbm(x * 2, y * 2, z * 2, 3), wz = kSwirl.Fbm(x * 2 + 5.2, y * 2, z * 2 + 1.3, 3);
    const double k = kCloud.Fbm(x * 3.0 + 1.2 * wx, y * 4.5, z * 3.0 + 1.2 * wz, 7, 0.55);
    const double fine = kWisp.Fbm(x * 24 + 2 * wx, y * 40, z * 24 + 2 * wz, 3, 0.6);
    const double a = SmoothStep(0.08, 0.40, k + 0.12 * fine) * 0.88;
    c = Mix(c * (1.0 - 0.25 * SmoothStep(0.0, 0.3, k)), Rgb{1.0, 1.0, 1.0}, a);  // shade under thick banks
  }
  return c;
}

namespace {

// The game makes its planet texture 256 x 256 and its loader copies rows without scaling,
// so a bigger picture would only be cut off: the map uses every texel of that size.
constexpr int kEarthSize = 256;

// Equirectangular map: u is the longitude, v runs from the north pole down. The colour
// comes from a 3D field on the sphere itself, so the map has no seam and no pinch.
Image Earth() {
  Image img(kEarthSize, kEarthSize);
  for (int y = 0; y < kEarthSize; ++y) {
    for (int x = 0; x < kEarthSize; ++x) {
      // Four samples a texel, so the finest noise shows as texture, not as speckle.
      Rgb sum{};
      for (int s = 0; s < 4; ++s) {
        const double th = kPi * (y + 0.25 + 0.5 * (s / 2)) / kEarthSize;
        const double ph = kTwoPi * (x + 0.25 + 0.5 * (s % 2)) / kEarthSize;
        sum = sum + PlanetColour(Sin(th) * Cos(ph), Cos(th), Sin(th) * Sin(ph), true);
      }
      img.At(x, y) = sum * 0.25;
    }
  }
  return img;
}

// Hull plating that tiles: four by four panels with seams, rivets and brushed grain.
// The game samples it without filtering, at a few texels a pixel once the colony is
// more than a hull's length away, so nothing in it is finer than about four texels: the
// seams are soft grooves and the rivets soft bumps. Hard one-texel lines would flicker
// as the view moves and look different at every resolution.
Image Metal() {
  Image img(128, 128);
  const Noise2 grain(201), blotch(202);
  Rng rng(203);
  double tint[4][4];
  for (auto& row : tint)
    for (double& t : row) t = rng.Range(-0.06, 0.06);
  // A groove of the seam at distance d (in texels) from the panel edge, and the bevel's
  // light on the upper and left sides just inside it.
  const auto groove = [](double d) { return Exp(-(d * d) / (2.4 * 2.4)); };
  const auto bevel = [](double d) { return Exp(-((d - 3.5) * (d - 3.5)) / (2.0 * 2.0)); };
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const double px = x % 32 + 0.5, py = y % 32 + 0.5;
      double v = 0.60 + tint[y / 32][x / 32];
      v += 0.04 * grain.Fbm(x / 4.0, y / 16.0, 2, 0.5, 32, 8);
      v += 0.06 * blotch.Fbm(x / 16.0, y / 16.0, 3, 0.5, 8, 8);
      const double ex = px < 16 ? px : 32 - px, ey = py < 16 ? py : 32 - py;
      v += 0.10 * (px < 16 ? bevel(px) : 0.0) + 0.10 * (py < 16 ? bevel(py) : 0.0);
      v -= 0.30 * (groove(ex) + groove(ey) - groove(ex) * groove(ey));
      // Rivets near the corners.
      for (double cy : {5.0, 27.0})
        for (double cx : {5.0, 27.0}) {
          const double dx = px - cx, dy = py - cy;
          v += 0.12 * Exp(-(dx * dx + dy * dy) / 5.0);
        }
      img.At(x, y) = Rgb{v * 0.95, v * 0.97, v * 1.03};
    }
  }
  return img;
}

// A round plasma bolt: a white core, a coloured halo and a faint four-point flare,
// falling to exact black well inside the square.
Image Bolt(Rgb halo) {
  Image img(128, 128);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const double dx = (x + 0.5 - 64) / 64, dy = (y + 0.5 - 64) / 64;
      const double r2 = dx * dx + dy * dy;
      const double core = Exp(-r2 * 60.0);
      const double glow = Exp(-r2 * 9.0);
      const double flare = Exp(-(dx * dx) * 900.0) * Exp(-dy * dy * 6) + Exp(-(dy * dy) * 900.0) * Exp(-dx * dx * 6);
      Rgb c = halo * (glow * 0.9 + flare * 0.5) + Rgb{1, 1, 1} * core;
      const double edge = 1.0 - SmoothStep(0.75, 0.97, Sqrt(r2));
      img.At(x, y) = c * edge;
    }
  }
  return img;
}

// A thruster flame: a hot yellow-white heart in a ragged orange flame.
Image Fire() {
  Image img(128, 128);
  const Noise2 n(301);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const double dx = (x + 0.5 - 64) / 64, dy = (y + 0.5 - 64) / 64;
      const double r = Sqrt(dx * dx + dy * dy);
      const double rag = 0.18 * n.Fbm(x / 10.0, y / 10.0, 4);
      const double body = 1.0 - SmoothStep(0.25, 0.8, r + rag);
      const double heart = 1.0 - SmoothStep(0.0, 0.35, r);
      Rgb c = Rgb{1.0, 0.45, 0.08} * body + Rgb{0.2, 0.5, 0.5} * heart * heart + Rgb{0.0, 0.1, 0.2} * heart;
      const double edge = 1.0 - SmoothStep(0.8, 0.97, r);
      img.At(x, y) = c * edge;
    }
  }
  return img;
}

// Sixteen 128 x 128 frames, row by row: a white flash that blooms into an orange
// fireball, turns red and thins into dark smoke.
Image ExplosionSheet() {
  Image img(512, 512);
  const Noise3 turb(401), puffs(402);
  for (int f = 0; f < 16; ++f) {
    const double t = f / 15.0;
    const double grow = 1.0 - (1.0 - t) * (1.0 - t) * (1.0 - t);
    const double radius = 0.36 + 0.5 * grow;  // of the half tile
    const double heat = Exp(-t * 2.4);        // 1 at the flash, near 0 at the end
    const double fade = 1.0 - SmoothStep(0.55, 1.0, t);
    const int ox = (f % 4) * 128, oy = (f / 4) * 128;
    for (int y = 0; y < 128; ++y) {
      for (int x = 0; x < 128; ++x) {
        const double dx = (x + 0.5 - 64) / 64, dy = (y + 0.5 - 64) / 64;
        const double r = Sqrt(dx * dx + dy * dy);
        const double n = turb.Fbm(dx * 3 + 11, dy * 3, t * 2.5, 4, 0.55);
        const double p = puffs.Fbm(dx * 6, dy * 6 + 5, t * 3, 3);
        const double rr = r / radius + 0.35 * n;
        double dens = 1.0 - SmoothStep(0.55, 1.0, rr);
        // The fireball hollows out as it burns away, leaving a ring of smoke.
        dens *= 1.0 - 0.7 * SmoothStep(0.4, 1.0, t) * (1.0 - SmoothStep(0.2, 0.8, rr));
        dens *= 0.8 + 0.4 * p;
        const double temp = Clamp(heat * (1.3 - 0.8 * rr) + 0.15 * n, 0.0, 1.0);
        Rgb fire;
        if (temp > 0.66)
          fire = Mix(Rgb{1.0, 0.75, 0.25}, Rgb{1.0, 1.0, 0.9}, (temp - 0.66) / 0.34);
        else if (temp > 0.33)
          fire = Mix(Rgb{0.95, 0.25, 0.05}, Rgb{1.0, 0.75, 0.25}, (temp - 0.33) / 0.33);
        else if (temp > 0.08)
          fire = Mix(Rgb{0.35, 0.1, 0.06}, Rgb{0.95, 0.25, 0.05}, (temp - 0.08) / 0.25);
        else
          fire = Mix(Rgb{0.2, 0.18, 0.17}, Rgb{0.35, 0.1, 0.06}, temp / 0.08);
        Rgb c = fire * (Clamp(dens, 0.0, 1.0) * (0.45 + 0.85 * fade) * Exp(-1.6 * t));
        if (t > 0.6) c = c * (1.0 - (t - 0.6) * 1.4);
        const double edge = 1.0 - SmoothStep(0.85, 0.98, r);
        img.At(ox + x, oy + y) = c * edge;
      }
    }
  }
  return img;
}

// --- the logo ----------------------------------------------------------------------------

struct Seg {
  double x0, y0, x1, y1;
};

// Stroke letters on a 0..1 (x) by 0..1 (y, down) box.
std::vector<Seg> Letter(char c) {
  switch (c) {
    case 'T':
      return {{0.0, 0.0, 1.0, 0.0}, {0.5, 0.0, 0.5, 1.0}};
    case 'A':
      return {{0.0, 1.0, 0.5, 0.0}, {0.5, 0.0, 1.0, 1.0}, {0.22, 0.62, 0.78, 0.62}};
    case 'V':
      return {{0.0, 0.0, 0.5, 1.0}, {0.5, 1.0, 1.0, 0.0}};
    case 'Y':
      return {{0.0, 0.0, 0.5, 0.5}, {1.0, 0.0, 0.5, 0.5}, {0.5, 0.5, 0.5, 1.0}};
    case 'H':
      return {{0.0, 0.0, 0.0, 1.0}, {1.0, 0.0, 1.0, 1.0}, {0.0, 0.5, 1.0, 0.5}};
    case 'O':
      return {{0.2, 0.0, 0.8, 0.0}, {0.8, 0.0, 1.0, 0.2}, {1.0, 0.2, 1.0, 0.8}, {1.0, 0.8, 0.8, 1.0},
              {0.8, 1.0, 0.2, 1.0}, {0.2, 1.0, 0.0, 0.8}, {0.0, 0.8, 0.0, 0.2}, {0.0, 0.2, 0.2, 0.0}};
    case 'P':
      return {{0.0, 0.0, 0.0, 1.0},  {0.0, 0.0, 0.8, 0.0},   {0.8, 0.0, 1.0, 0.2},
              {1.0, 0.2, 1.0, 0.35}, {1.0, 0.35, 0.8, 0.55}, {0.8, 0.55, 0.0, 0.55}};
    default:
      return {};
  }
}

double SegDist(double px, double py, const Seg& s) {
  const double vx = s.x1 - s.x0, vy = s.y1 - s.y0;
  const double wx = px - s.x0, wy = py - s.y0;
  const double l2 = vx * vx + vy * vy;
  const double t = l2 > 0 ? Clamp((wx * vx + wy * vy) / l2, 0.0, 1.0) : 0.0;
  const double dx = wx - t * vx, dy = wy - t * vy;
  return Sqrt(dx * dx + dy * dy);
}

// The word TAVVYHOP in slanted chrome letters with a dark outline and a blue glow,
// over the part of the title picture it is drawn on, so that it sits in it seamlessly.
Image Logo() {
  const int w = 400, h = 96, left = 30, top = 30;
  const Image title = PaintTitlePicture();
  Image img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.At(x, y) = title.At(left + x, top + y);
  const std::string word = "TAVVYHOP";
  std::vector<Seg> segs;
  const double lw = 34, lh = 56, gap = 10.5, x0 = 14, y0 = 18, slant = 0.2;
  for (size_t i = 0; i < word.size(); ++i) {
    const double lx = x0 + i * (lw + gap);
    for (const Seg& s : Letter(word[i])) {
      // Slant to the right: x moves with the height above the baseline.
      segs.push_back({lx + s.x0 * lw + (1 - s.y0) * lh * slant, y0 + s.y0 * lh,
                      lx + s.x1 * lw + (1 - s.y1) * lh * slant, y0 + s.y1 * lh});
    }
  }
  const double stroke = 4.2;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // Supersample 3 x 3 for smooth edges.
      double face = 0, outline = 0, glow = 0;
      for (int sy = 0; sy < 3; ++sy)
        for (int sx = 0; sx < 3; ++sx) {
          const double px = x + (sx + 0.5) / 3, py = y + (sy + 0.5) / 3;
          double d = 1e9;
          for (const Seg& s : segs) {
            const double dd = SegDist(px, py, s);
            if (dd < d) d = dd;
          }
          if (d < stroke)
            face += 1.0 / 9;
          else if (d < stroke + 2.2)
            outline += 1.0 / 9;
          glow += Exp(-(d * d) / 90.0) / 9;
        }
      Rgb c = img.At(x, y) + Rgb{0.05, 0.25, 0.7} * (glow * 0.8);
      c = Mix(c, Rgb{0.02, 0.02, 0.08}, outline + face);
      // Chrome: pale at the top, a dark horizon line, deep blue below it.
      const double t = (y - y0) / lh;
      Rgb chrome = t < 0.48 ? Mix(Rgb{1.0, 1.0, 1.0}, Rgb{0.55, 0.75, 1.0}, t / 0.48)
                            : Mix(Rgb{0.15, 0.3, 0.75}, Rgb{0.7, 0.9, 1.0}, (t - 0.48) / 0.52);
      c = Mix(c, chrome, face);
      img.At(x, y) = c;
    }
  }
  return img;
}

// --- the portrait -----------------------------------------------------------------------

// Coverage of a disc at (cx, cy) with radius r for the pixel (x, y), 4 x 4 samples.
double Disc(int x, int y, double cx, double cy, double rx, double ry) {
  double a = 0;
  for (int sy = 0; sy < 4; ++sy)
    for (int sx = 0; sx < 4; ++sx) {
      const double dx = (x + (sx + 0.5) / 4 - cx) / rx, dy = (y + (sy + 0.5) / 4 - cy) / ry;
      if (dx * dx + dy * dy <= 1) a += 1.0 / 16;
    }
  return a;
}

// The pilot who speaks in the message box: helmet, open visor, a confident face.
Image Portrait() {
  Image img(50, 50);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 50; ++x) {
      Rgb c = Mix(Rgb{0.10, 0.25, 0.35}, Rgb{0.02, 0.06, 0.12}, y / 49.0);
      if ((y % 4) == 0) c = c * 0.85;  // monitor scan lines
      auto put = [&](Rgb col, double a) { c = Mix(c, col, a); };
      put(Rgb{0.15, 0.3, 0.7}, Disc(x, y, 25, 56, 22, 14));               // suit shoulders
      put(Rgb{0.95, 0.95, 0.97}, Disc(x, y, 25, 23, 18, 19));             // helmet
      put(Rgb{0.9, 0.3, 0.1}, Disc(x, y, 25, 8, 10, 5) * (y < 10));       // helmet stripe
      put(Rgb{0.12, 0.12, 0.18}, Disc(x, y, 25, 26, 13.5, 14));           // visor opening
      put(Rgb{0.98, 0.80, 0.66}, Disc(x, y, 25, 28, 11, 12.5));           // face
      put(Rgb{0.35, 0.2, 0.12}, Disc(x, y, 25, 17, 12, 5.5) * (y < 19));  // fringe
      put(Rgb{1.0, 1.0, 1.0}, Disc(x, y, 20.5, 27, 2.6, 2.2));            // eyes
      put(Rgb{1.0, 1.0, 1.0}, Disc(x, y, 29.5, 27, 2.6, 2.2));
      put(Rgb{0.1, 0.3, 0.6}, Disc(x, y, 21, 27.3, 1.4, 1.6));
      put(Rgb{0.1, 0.3, 0.6}, Disc(x, y, 30, 27.3, 1.4, 1.6));
      put(Rgb{0.35, 0.2, 0.12}, Disc(x, y, 20.5, 23.5, 3, 0.8));  // brows
      put(Rgb{0.35, 0.2, 0.12}, Disc(x, y, 29.5, 23.5, 3, 0.8));
      put(Rgb{0.75, 0.3, 0.3}, Disc(x, y, 25, 35, 3.5, 1.2));           // smile
      put(Rgb{0.95, 0.6, 0.55}, Disc(x, y, 18.5, 32, 1.8, 1.0) * 0.6);  // cheeks
      put(Rgb{0.95, 0.6, 0.55}, Disc(x, y, 31.5, 32, 1.8, 1.0) * 0.6);
      put(Rgb{0.3, 0.3, 0.35}, Disc(x, y, 12.5, 34, 2.2, 3.5));  // microphone
      img.At(x, y) = c;
    }
  }
  return img;
}

}  // namespace

void WriteTextures(const std::filesystem::path& dir) {
  WriteFile(dir / "earth.bmp", EncodeBmp24(Earth()));
  WriteFile(dir / "metal.bmp", EncodeBmp24(Metal()));
  WriteFile(dir / "beam.bmp", EncodeBmp24(Bolt(Rgb{0.35, 0.6, 1.0})));
  WriteFile(dir / "beam2.bmp", EncodeBmp24(Bolt(Rgb{1.0, 0.85, 0.25})));
  WriteFile(dir / "fire.bmp", EncodeBmp24(Fire()));
  WriteFile(dir / "bakuhatu.bmp", EncodeBmp24(ExplosionSheet()));
  WriteFile(dir / "title.bmp", EncodeBmp24(Logo()));
  WriteFile(dir / "tavvy.bmp", EncodeBmp24(Portrait()));
}

}  // namespace assetgen
