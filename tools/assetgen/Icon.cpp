#include "Icon.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Common.h"

namespace assetgen {

namespace {

struct Rgba {
  Rgb c;
  double a = 0;
};

// Paints `top` over `under` with its alpha.
Rgba Over(Rgba under, Rgba top) {
  const double a = top.a + under.a * (1 - top.a);
  if (a <= 0) return {};
  return {(top.c * top.a + under.c * (under.a * (1 - top.a))) * (1 / a), a};
}

bool InTriangle(double px, double py, const double (&t)[6]) {
  auto side = [&](int i, int j) { return (t[j] - t[i]) * (py - t[i + 1]) - (t[j + 1] - t[i + 1]) * (px - t[i]); };
  const double d1 = side(0, 2), d2 = side(2, 4), d3 = side(4, 0);
  return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
}

// The picture at a point of the unit square (x right, y down).
Rgba Sample(double x, double y) {
  Rgba out;
  // A rounded square of deep space.
  const double r = 0.16;
  const double qx = std::max(std::max(r - x, x - (1 - r)), 0.0), qy = std::max(std::max(r - y, y - (1 - r)), 0.0);
  if (qx * qx + qy * qy > r * r) return out;
  out = {Mix(Rgb{0.03, 0.05, 0.18}, Rgb{0.0, 0.0, 0.03}, y), 1.0};
  // A few stars.
  Rng stars(7);
  for (int i = 0; i < 14; ++i) {
    const double sx = stars.Uniform(), sy = stars.Uniform() * 0.6;
    const double d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
    if (d2 < 0.00012) out = Over(out, {Rgb{1, 1, 0.9}, 0.9});
  }
  // The planet rising in the lower right, lit from the upper left.
  const double px = (x - 0.78) / 0.46, py = (y - 0.86) / 0.46;
  if (px * px + py * py < 1) {
    const double pz = Sqrt(1 - px * px - py * py);
    const double light = Clamp(0.25 + 0.9 * (-0.6 * px - 0.5 * py + 0.62 * pz), 0.08, 1.2);
    out = Over(out, {PlanetColour(px, -py, pz, true) * light, 1.0});
  }
  // The blade: a glowing arc round the ship.
  const double bx = x - 0.42, by = y - 0.42;
  const double br = Sqrt(bx * bx + by * by);
  if (br > 0.30 && br < 0.345 && by < 0.12 && bx > -0.2) {
    const double edge = 1 - std::fabs(br - 0.3225) / 0.0225;
    out = Over(out, {Mix(Rgb{1.0, 0.45, 0.1}, Rgb{1.0, 0.95, 0.6}, edge), Clamp(edge * 1.6, 0, 1)});
  }
  // The ship: an arrowhead flying to the upper left, with a lit and a shaded half.
  const double hull[6] = {0.16, 0.18, 0.66, 0.40, 0.40, 0.66};
  if (InTriangle(x, y, hull)) {
    const bool lit = (x - 0.16) * (0.53 - 0.18) - (y - 0.18) * (0.53 - 0.16) > 0;
    out = Over(out, {lit ? Rgb{0.92, 0.95, 1.0} : Rgb{0.45, 0.55, 0.8}, 1.0});
  }
  const double cockpit[6] = {0.30, 0.31, 0.44, 0.38, 0.37, 0.45};
  if (InTriangle(x, y, cockpit)) out = Over(out, {Rgb{0.2, 0.7, 1.0}, 1.0});
  return out;
}

std::vector<uint8_t> Render(int size) {
  std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
  const int n = 4;  // subsamples per side
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Rgb sum;
      double alpha = 0;
      for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
          const Rgba s = Sample((x + (i + 0.5) / n) / size, (y + (j + 0.5) / n) / size);
          sum = sum + s.c * s.a;
          alpha += s.a;
        }
      }
      uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      const double inv = alpha > 0 ? 1 / alpha : 0;
      // Colours in the file are sRGB-ish: the linear values go through a 2.2 curve.
      const auto gamma = [](double v) { return v <= 0 ? 0.0 : Exp(Log(v) / 2.2); };
      p[0] = Image::ToByte(gamma(sum.r * inv));
      p[1] = Image::ToByte(gamma(sum.g * inv));
      p[2] = Image::ToByte(gamma(sum.b * inv));
      p[3] = Image::ToByte(alpha / (n * n));
    }
  }
  return rgba;
}

void WritePng(const std::filesystem::path& path, const std::vector<uint8_t>& rgba, int size) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.string().c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot write " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("libpng: out of memory");
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng: cannot write " + path.string());
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(size), static_cast<png_uint_32>(size), 8, PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < size; ++y) png_write_row(png, &rgba[static_cast<size_t>(y) * size * 4]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
}

}  // namespace

void WriteIcons(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  for (int size : {256, 48}) WritePng(dir / ("tavvyhop-" + std::to_string(size) + ".png"), Render(size), size);
}

}  // namespace assetgen
