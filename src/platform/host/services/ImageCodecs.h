// Pictures in and out of the program: JPEG (libjpeg) and PNG (libpng).
// Pixels are 8-bit channels, rows top-down and tightly packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host::services {

struct Image {
  int width = 0;
  int height = 0;
  int channels = 3;             // 3: R, G, B; 4: R, G, B, A
  std::vector<uint8_t> pixels;  // width * height * channels
};

// Success, or the reason of the failure.
struct CodecResult {
  bool ok = false;
  std::string error;
  explicit operator bool() const { return ok; }
};

// Baseline (and progressive) JPEG from memory into 24-bit RGB. Corrupt or cut-off data
// fails with a message; it never ends the program.
CodecResult DecodeJpeg(const uint8_t* data, std::size_t size, Image& out);
// Encodes an RGB image (channels 3) as a baseline JPEG; quality 1..100.
CodecResult EncodeJpeg(const Image& image, int quality, std::vector<uint8_t>& out);

// Writes an RGB or RGBA image as an 8-bit PNG file.
CodecResult WritePng(const std::string& path, const Image& image);
// Writes 0x00RRGGBB pixels (`pitch` pixels from row to row) as an RGB PNG file.
CodecResult WritePngXrgb(const std::string& path, const uint32_t* pixels, int width, int height, int pitch);
// Reads a PNG file into RGB (channels 3) or, when it has transparency, RGBA.
CodecResult ReadPng(const std::string& path, Image& out);

}  // namespace host::services
