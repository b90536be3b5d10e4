// Shared pieces of the data set generator: deterministic maths, random numbers, noise,
// pictures and the writers for the file formats the game reads (BMP, WAV).
//
// Everything here is computed with plain IEEE arithmetic of our own (no libm
// transcendentals), so the same source writes the same bytes on every machine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace assetgen {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Sine and cosine by range reduction and a Taylor series (error below 1e-11).
double Sin(double x);
double Cos(double x);
// e^x for moderate x (|x| < 700), by halving, a series and squaring.
double Exp(double x);
// 2^x, through Exp.
double Exp2(double x);
// Natural logarithm for x > 0 (Newton steps on Exp).
double Log(double x);
double Sqrt(double x);  // IEEE square root (correctly rounded everywhere)
double Clamp(double v, double lo, double hi);
double Lerp(double a, double b, double t);
double SmoothStep(double e0, double e1, double x);

// A small, fast generator (xorshift64*) with a fixed seed per asset.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t Next();
  double Uniform();                    // [0, 1)
  double Range(double lo, double hi);  // [lo, hi)
  int Int(int n);                      // 0..n-1
  double Bipolar() { return Uniform() * 2.0 - 1.0; }

 private:
  uint64_t state_;
};

// Value noise on an integer lattice with smooth interpolation. The lattice can wrap
// (period > 0) so textures tile without a seam.
class Noise2 {
 public:
  explicit Noise2(uint32_t seed) : seed_(seed) {}
  double At(double x, double y, int periodX = 0, int periodY = 0) const;  // about -1..1
  // Sum of octaves, each twice the frequency and gain times the amplitude.
  double Fbm(double x, double y, int octaves, double gain = 0.5, int periodX = 0, int periodY = 0) const;

 private:
  double Lattice(int x, int y) const;
  uint32_t seed_;
};

// Value noise in three dimensions (for the planet, where the sphere wraps itself).
class Noise3 {
 public:
  explicit Noise3(uint32_t seed) : seed_(seed) {}
  double At(double x, double y, double z) const;
  double Fbm(double x, double y, double z, int octaves, double gain = 0.5) const;

 private:
  double Lattice(int x, int y, int z) const;
  uint32_t seed_;
};

struct Rgb {
  double r = 0, g = 0, b = 0;
};
Rgb operator+(Rgb a, Rgb b);
Rgb operator*(Rgb a, double s);
Rgb Mix(Rgb a, Rgb b, double t);

// A picture in linear 0..1 floats, rows top to bottom.
class Image {
 public:
  Image(int width, int height) : w_(width), h_(height), px_(static_cast<size_t>(width) * height) {}
  int Width() const { return w_; }
  int Height() const { return h_; }
  Rgb& At(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
  const Rgb& At(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }
  // Adds light at (x, y) when inside; blends with weight when alpha < 1.
  void Add(int x, int y, Rgb c);
  void Blend(int x, int y, Rgb c, double alpha);
  // 8-bit value of a channel (clamped, rounded).
  static uint8_t ToByte(double v);

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

// Little-endian writers into a byte vector.
void PutU16(std::vector<uint8_t>& out, uint32_t v);
void PutU32(std::vector<uint8_t>& out, uint32_t v);
void PutF32(std::vector<uint8_t>& out, float v);

// 24-bit bottom-up BMP with a 40-byte information header.
std::vector<uint8_t> EncodeBmp24(const Image& img);

// PCM WAV with the plain 44-byte header (RIFF, 16-byte fmt, data).
std::vector<uint8_t> EncodeWav16(const std::vector<int16_t>& samples, int channels, int rate);
// Floats in -1..1 to 16-bit samples (rounded, clamped).
std::vector<int16_t> ToPcm16(const std::vector<double>& samples);

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteFile(const std::filesystem::path& path, const std::string& text);

// The asset groups, one file each. Every function writes its files into dir.
void WriteMeshes(const std::filesystem::path& dir);
void WriteTextures(const std::filesystem::path& dir);
void WriteSounds(const std::filesystem::path& dir);
void WriteMusic(const std::filesystem::path& dir);
void WriteTexts(const std::filesystem::path& dir);
// Colour of the planet's surface at a point of the unit sphere (y is the pole axis).
Rgb PlanetColour(double x, double y, double z, bool clouds);
// The 640 x 480 title picture (also needed for the logo's backdrop).
Image PaintTitlePicture();
std::vector<uint8_t> EncodeJpeg(const Image& img, int quality);
// The title picture as a C++ source holding its JPEG bytes.
std::string TitleJpegSource(const std::vector<uint8_t>& jpeg);

}  // namespace assetgen
