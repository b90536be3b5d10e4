// The 640 x 480 title picture: deep space with a planet rising at the lower left and the
// colony catching the light on the right. The top left (logo), the right-hand staff
// block and the prompt line are kept dark and quiet so the game's texts read well.
// The program carries the picture as JPEG bytes in a generated source file.
// clang-format off
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Common.h"

namespace assetgen {

namespace {

void Stars(Image& img) {
  Rng rng(501);
  for (int i = 0; i < 900; ++i) {
    const int x = rng.Int(img.Width()), y = rng.Int(img.Height());
    const double m = rng.Uniform();
    const double b = 0.15 + 0.85 * m * m * m;
    const double warm = rng.Uniform();
    const Rgb c = Mix(Rgb{0.75, 0.85, 1.0}, Rgb{1.0, 0.9, 0.7}, warm) * b;
    img.Add(x, y, c);
    if (b > 0.7) {
      // The brightest get a small cross.
      for (int d = 1; d <= 3; ++d) {
        const double f = b * 0.5 / d;
        img.Add(x + d, y, c * f);
        img.Add(x - d, y, c * f);
        img.Add(x, y + d, c * f);
        img.Add(x, y - d, c * f);
      }
    }
  }
}

void Nebula(Image& img) {
  const Noise2 n(502), m(503);
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      const double a = n.Fbm(x / 160.0, y / 160.0, 5, 0.55);
      const double b = m.Fbm(x / 90.0 + 4, y / 90.0, 4, 0.5);
      const double band = Exp(-((y - 0.35 * x - 120) * (y - 0.35 * x - 120)) / 9000.0);
      const double k = Clamp(a * 0.6 + 0.35, 0.0, 1.0) * band;
      img.At(x, y) = img.At(x, y) + Rgb{0.10, 0.05, 0.22} * k + Rgb{0.02, 0.10, 0.18} * (Clamp(b, 0.0, 1.0) * band);
    }
}

// The planet as a lit sphere seen from outside, with a thin blue atmosphere at its rim.
void Planet(Image& img) {
  const double cx = -40, cy = 660, r = 380;
  // Light from the upper right, a little towards the viewer.
  const double lx = 0.62, ly = -0.55, lz = 0.56;
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      double acc = 0;
      Rgb sum{};
      for (int s = 0; s < 4; ++s) {
        const double px = x + (s % 2 + 0.5) / 2, py = y + (s / 2 + 0.5) / 2;
        const double dx = (px - cx) / r, dy = (py - cy) / r;
        const double d2 = dx * dx + dy * dy;
        if (d2 < 1.0) {
          const double dz = Sqrt(1 - d2);
          const double lit = Clamp(dx * lx + dy * ly + dz * lz, 0.0, 1.0);
          // Turn the globe so an ocean and a continent face us.
          const double ax = dx, ay = -dy * 0.97 + dz * 0.24, az = dy * 0.24 + dz * 0.97;
          Rgb c = PlanetColour(ax * 0.8 + az * 0.6, ay, -ax * 0.6 + az * 0.8, true) * 0.85;
          const double rim = SmoothStep(0.75, 1.0, Sqrt(d2));
          c = Mix(c, Rgb{0.4, 0.6, 1.0}, rim * 0.6);
          sum = sum + c * (0.03 + 0.9 * lit);
          acc += 1;
        } else {
          // Atmosphere glow outside the limb, on the lit side.
          const double d = Sqrt(d2) - 1.0;
          const double side = Clamp((dx * lx + dy * ly) / Sqrt(d2) + 0.3, 0.0, 1.0);
          sum = sum + img.At(x, y) + Rgb{0.25, 0.45, 1.0} * (Exp(-d * 40) * side * 0.8);
          acc += 1;
        }
      }
      img.At(x, y) = sum * (1.0 / acc);
    }
}

// The colony: a long cylinder seen slanting, window strips, three open mirrors and a ring.
void Colony(Image& img) {
  const double ax = 428, ay = 372, bx = 628, by = 296, rad = 17;
  const double vx = bx - ax, vy = by - ay;
  const double len = Sqrt(vx * vx + vy * vy);
  const double ux = vx / len, uy = vy / len;  // along
  const double nx = -uy, ny = ux;             // across
  const Noise2 panels(504);
  // Two of the three mirrors, opened from the near end like petals: one above, one below
  // (the third hides behind the cylinder). Drawn first so the cylinder covers their hinges.
  for (double side : {-1.0, 1.0}) {
    const double hx = ax + nx * side * (rad + 2), hy = ay + ny * side * (rad + 2);
    const double fx = ax + ux * len * 0.95 + nx * side * (rad + 0.3 * len);
    const double fy = ay + uy * len * 0.95 + ny * side * (rad + 0.3 * len);
    double dx = fx - hx, dy = fy - hy;
    const double dl = Sqrt(dx * dx + dy * dy);
    dx /= dl, dy /= dl;
    const double wx = -dy, wy = dx;
    const double q[4][2] = {{hx - wx * 4, hy - wy * 4},
                            {hx + wx * 4, hy + wy * 4},
                            {fx + wx * 13, fy + wy * 13},
                            {fx - wx * 13, fy - wy * 13}};
    for (int y = 0; y < img.Height(); ++y)
      for (int x = 0; x < img.Width(); ++x) {
        double cover = 0;
        for (int s2 = 0; s2 < 4; ++s2) {
          const double px = x + (s2 % 2 + 0.5) / 2, py = y + (s2 / 2 + 0.5) / 2;
          int pos = 0, neg = 0;
          for (int k = 0; k < 4; ++k) {
            const double* a = q[k];
            const double* b = q[(k + 1) % 4];
            const double c = (b[0] - a[0]) * (py - a[1]) - (b[1] - a[1]) * (px - a[0]);
            pos += c >= 0;
            neg += c <= 0;
          }
          if (pos == 4 || neg == 4) cover += 0.25;
        }
        if (cover <= 0) continue;
        const double t = Clamp(((x - hx) * dx + (y - hy) * dy) / dl, 0.0, 1.0);
        const Rgb glass = Mix(Rgb{0.35, 0.45, 0.65}, Rgb{0.75, 0.85, 1.0}, t) * (0.9 + 0.1 * panels.At(t * 20, 0.5));
        img.Blend(x, y, glass, cover * 0.85);
      }
  }
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      const double wx = x + 0.5 - ax, wy = y + 0.5 - ay;
      const double t = wx * ux + wy * uy;  // along, 0..len
      const double s = wx * nx + wy * ny;  // across, -rad..rad
      const double capR =
          rad * Sqrt(Clamp(1 - (t < 0 ? t * t / 100 : (t > len ? (t - len) * (t - len) / 100 : 0)), 0, 1));
      if (t < -10 || t > len + 10 || s < -capR || s > capR) continue;
      const double q = s / rad;  // -1..1 across the cylinder
      const double shade = Clamp(0.25 + 0.9 * Sqrt(Clamp(1 - q * q, 0, 1)) * (0.6 - 0.4 * q), 0.0, 1.2);
      // Strips turn with the cylinder: three lit land strips and three windows.
      const double ang = q * 1.5 + 0.3;
      const bool window = static_cast<int>((ang + 3) * 6 / kPi) % 2 == 0;
      Rgb c = window ? Rgb{0.25, 0.35, 0.6} : Rgb{0.78, 0.78, 0.76};
      c = c * (0.9 + 0.1 * panels.At(t / 6, q * 4));
      if (static_cast<int>(t) % 24 == 0) c = c * 0.7;  // panel joints
      img.Blend(x, y, c * shade, 1.0);
    }
  // A farm ring round the near end.
  for (int i = 0; i < 2000; ++i) {
    const double a = kTwoPi * i / 2000;
    const double px = ax - ux * 6 + nx * Cos(a) * 34 + ux * Sin(a) * 9;
    const double py = ay - uy * 6 + ny * Cos(a) * 34 + uy * Sin(a) * 9;
    const double lit = 0.5 + 0.5 * Sin(a);
    img.Blend(static_cast<int>(px), static_cast<int>(py), Rgb{0.7, 0.7, 0.72} * (0.3 + 0.7 * lit), 0.9);
    img.Blend(static_cast<int>(px) + 1, static_cast<int>(py), Rgb{0.7, 0.7, 0.72} * (0.3 + 0.7 * lit), 0.6);
  }
}

}  // namespace

Image PaintTitlePicture() {
  Image img(640, 480);
  Nebula(img);
  Stars(img);
  Planet(img);
  Colony(img);
  return img;
}

std::vector<uint8_t> EncodeJpeg(const Image& img, int quality) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long memSize = 0;
  jpeg_mem_dest(&cinfo, &mem, &memSize);
  cinfo.image_width = static_cast<JDIMENSION>(img.Width());
  cinfo.image_height = static_cast<JDIMENSION>(img.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(img.Width()) * 3);
  for (int y = 0; y < img.Height(); ++y) {
    for (int x = 0; x < img.Width(); ++x) {
      const Rgb& c = img.At(x, y);
      row[x * 3] = Image::ToByte(c.r);
      row[x * 3 + 1] = Image::ToByte(c.g);
      row[x * 3 + 2] = Image::ToByte(c.b);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(mem, mem + memSize);
  jpeg_destroy_compress(&cinfo);
  std::free(mem);  // allocated by libjpeg's memory destination
  return out;
}

std::string TitleJpegSource(const std::vector<uint8_t>& jpeg) {
  std::string s;
  s.reserve(jpeg.size() * 6 + 512);
  s += "// Generated by assetgen: the 640 x 480 title picture as JPEG. Do not edit.\n";
  // The declarations the program reads it by (its TitleJpeg.h), so that the source stands alone.
  s += "#include <cstddef>\n\nnamespace titlepicture {\n\n";
  s += "extern const unsigned char kTitleJpeg[];\nextern const std::size_t kTitleJpegSize;\n\n";
  s += "const unsigned char kTitleJpeg[] = {\n";
  char buf[8];
  for (size_t i = 0; i < jpeg.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%u,", static_cast<unsigned>(jpeg[i]));
    s += buf;
    if (i % 20 == 19) s += '\n';
  }
  s += "\n};\n\nconst std::size_t kTitleJpegSize = sizeof(kTitleJpeg);\n\n}  // namespace titlepicture\n";
  return s;
}

}  // namespace assetgen
