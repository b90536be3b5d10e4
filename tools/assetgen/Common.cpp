#include "Common.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace assetgen {

namespace {
constexpr double kLn2 = 0.69314718055994530942;
}

double Sin(double x) {
  // Reduce to [-pi, pi], then fold to [-pi/2, pi/2] where the series converges fast.
  const double k = std::floor(x / kTwoPi + 0.5);
  x -= k * kTwoPi;
  if (x > kPi / 2) x = kPi - x;
  if (x < -kPi / 2) x = -kPi - x;
  const double x2 = x * x;
  double term = x, sum = x;
  for (int n = 1; n < 10; ++n) {
    term *= -x2 / ((2.0 * n) * (2.0 * n + 1.0));
    sum += term;
  }
  return sum;
}

double Cos(double x) { return Sin(x + kPi / 2); }

double Exp(double x) {
  if (x < -700) return 0.0;
  const double n = std::floor(x / kLn2 + 0.5);
  const double r = x - n * kLn2;
  double term = 1.0, sum = 1.0;
  for (int i = 1; i < 24; ++i) {
    term *= r / i;
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(n));
}

double Exp2(double x) { return Exp(x * kLn2); }

double Log(double x) {
  if (x <= 0) return -1e300;
  int e = 0;
  const double m = std::frexp(x, &e);  // x = m * 2^e, m in [0.5, 1)
  const double t = (m - 1.0) / (m + 1.0);
  const double t2 = t * t;
  double term = t, sum = 0.0;
  for (int i = 1; i < 60; i += 2) {
    sum += term / i;
    term *= t2;
  }
  return 2.0 * sum + e * kLn2;
}

double Sqrt(double x) { return x <= 0 ? 0.0 : std::sqrt(x); }
double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
double Lerp(double a, double b, double t) { return a + (b - a) * t; }
double SmoothStep(double e0, double e1, double x) {
  const double t = Clamp((x - e0) / (e1 - e0), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

uint64_t Rng::Next() {
  state_ ^= state_ >> 12;
  state_ ^= state_ << 25;
  state_ ^= state_ >> 27;
  return state_ * 0x2545F4914F6CDD1Dull;
}
double Rng::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
double Rng::Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
int Rng::Int(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }

namespace {
uint32_t Hash(uint32_t a) {
  a ^= a >> 16;
  a *= 0x7FEB352Du;
  a ^= a >> 15;
  a *= 0x846CA68Bu;
  a ^= a >> 16;
  return a;
}
double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
int Wrap(int v, int period) {
  if (period <= 0) return v;
  v %= period;
  return v < 0 ? v + period : v;
}
}  // namespace

double Noise2::Lattice(int x, int y) const {
  const uint32_t h =
      Hash(static_cast<uint32_t>(x) * 0x8DA6B343u ^ Hash(static_cast<uint32_t>(y) * 0xD8163841u ^ seed_));
  return static_cast<double>(h) / 2147483647.5 - 1.0;
}

double Noise2::At(double x, double y, int px, int py) const {
  const double fx = std::floor(x), fy = std::floor(y);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  const double tx = Fade(x - fx), ty = Fade(y - fy);
  const int x0 = Wrap(ix, px), x1 = Wrap(ix + 1, px), y0 = Wrap(iy, py), y1 = Wrap(iy + 1, py);
  const double a = Lerp(Lattice(x0, y0), Lattice(x1, y0), tx);
  const double b = Lerp(Lattice(x0, y1), Lattice(x1, y1), tx);
  return Lerp(a, b, ty);
}

double Noise2::Fbm(double x, double y, int octaves, double gain, int px, int py) const {
  double sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * At(x, y, px, py);
    norm += amp;
    amp *= gain;
    x *= 2;
    y *= 2;
    px *= 2;
    py *= 2;
  }
  return sum / norm;
}

double Noise3::Lattice(int x, int y, int z) const {
  const uint32_t h =
      Hash(static_cast<uint32_t>(x) * 0x8DA6B343u ^
           Hash(static_cast<uint32_t>(y) * 0xD8163841u ^ Hash(static_cast<uint32_t>(z) * 0xCB1AB31Fu ^ seed_)));
  return static_cast<double>(h) / 2147483647.5 - 1.0;
}

double Noise3::At(double x, double y, double z) const {
  const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  const int ix = static_cast<int>(fx), iy = static_cast<int>(fy), iz = static_cast<int>(fz);
  const double tx = Fade(x - fx), ty = Fade(y - fy), tz = Fade(z - fz);
  double c[2];
  for (int k = 0; k < 2; ++k) {
    const double a = Lerp(Lattice(ix, iy, iz + k), Lattice(ix + 1, iy, iz + k), tx);
    const double b = Lerp(Lattice(ix, iy + 1, iz + k), Lattice(ix + 1, iy + 1, iz + k), tx);
    c[k] = Lerp(a, b, ty);
  }
  return Lerp(c[0], c[1], tz);
}

double Noise3::Fbm(double x, double y, double z, int octaves, double gain) const {
  double sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * At(x, y, z);
    norm += amp;
    amp *= gain;
    x *= 2;
    y *= 2;
    z *= 2;
  }
  return sum / norm;
}

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }
Rgb Mix(Rgb a, Rgb b, double t) { return {Lerp(a.r, b.r, t), Lerp(a.g, b.g, t), Lerp(a.b, b.b, t)}; }

void Image::Add(int x, int y, Rgb c) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
  At(x, y) = At(x, y) + c;
}

void Image::Blend(int x, int y, Rgb c, double alpha) {
  if (x < 0 || y < 0 || x >= w_ || y >= h_ || alpha <= 0) return;
  At(x, y) = Mix(At(x, y), c, Clamp(alpha, 0.0, 1.0));
}

uint8_t Image::ToByte(double v) { return static_cast<uint8_t>(std::floor(Clamp(v, 0.0, 1.0) * 255.0 + 0.5)); }

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}
void PutF32(std::vector<uint8_t>& out, float v) {
  uint32_t bits = 0;
  static_assert(sizeof bits == sizeof v);
  std::memcpy(&bits, &v, sizeof bits);
  PutU32(out, bits);
}

std::vector<uint8_t> EncodeBmp24(const Image& img) {
  const uint32_t w = static_cast<uint32_t>(img.Width()), h = static_cast<uint32_t>(img.Height());
  const uint32_t row = (w * 3 + 3) & ~3u;
  const uint32_t dataSize = row * h;
  std::vector<uint8_t> out;
  out.reserve(54 + dataSize);
  out.push_back('B');
  out.push_back('M');
  PutU32(out, 54 + dataSize);
  PutU32(out, 0);
  PutU32(out, 54);
  PutU32(out, 40);
  PutU32(out, w);
  PutU32(out, h);  // positive: bottom-up, as every BMP reader expects
  PutU16(out, 1);
  PutU16(out, 24);
  PutU32(out, 0);  // BI_RGB
  PutU32(out, dataSize);
  PutU32(out, 2835);  // 72 dpi
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  for (int y = img.Height() - 1; y >= 0; --y) {
    for (int x = 0; x < img.Width(); ++x) {
      const Rgb& c = img.At(x, y);
      out.push_back(Image::ToByte(c.b));
      out.push_back(Image::ToByte(c.g));
      out.push_back(Image::ToByte(c.r));
    }
    for (uint32_t p = w * 3; p < row; ++p) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> EncodeWav16(const std::vector<int16_t>& samples, int channels, int rate) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> out;
  out.reserve(44 + dataBytes);
  for (char c : {'R', 'I', 'F', 'F'}) out.push_back(static_cast<uint8_t>(c));
  PutU32(out, 36 + dataBytes);
  for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) out.push_back(static_cast<uint8_t>(c));
  PutU32(out, 16);
  PutU16(out, 1);  // PCM
  PutU16(out, static_cast<uint32_t>(channels));
  PutU32(out, static_cast<uint32_t>(rate));
  PutU32(out, static_cast<uint32_t>(rate * channels * 2));
  PutU16(out, static_cast<uint32_t>(channels * 2));
  PutU16(out, 16);
  for (char c : {'d', 'a', 't', 'a'}) out.push_back(static_cast<uint8_t>(c));
  PutU32(out, dataBytes);
  for (int16_t s : samples) PutU16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<int16_t> ToPcm16(const std::vector<double>& samples) {
  std::vector<int16_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    const double v = std::floor(Clamp(samples[i], -1.0, 1.0) * 32767.0 + 0.5);
    out[i] = static_cast<int16_t>(v);
  }
  return out;
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) throw std::runtime_error("cannot write " + path.string());
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("write failed: " + path.string());
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace assetgen
