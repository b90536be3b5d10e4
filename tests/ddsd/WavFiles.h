// Builds RIFF WAVE files byte by byte, including broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavfiles {

inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void PutId(std::vector<uint8_t>& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(id[i]));
}
inline void Append(std::vector<uint8_t>& b, const std::vector<uint8_t>& more) {
  for (uint8_t x : more) b.push_back(x);
}

inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body, bool pad = true) {
  std::vector<uint8_t> b;
  PutId(b, id);
  Put32(b, uint32_t(body.size()));
  Append(b, body);
  if (pad && (body.size() & 1)) b.push_back(0);
  return b;
}

inline std::vector<uint8_t> Fmt(uint16_t channels, uint32_t rate, uint16_t bits, size_t size = 16, uint16_t tag = 1) {
  std::vector<uint8_t> b;
  const uint16_t align = uint16_t(channels * bits / 8);
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  Put32(b, rate * align);
  Put16(b, align);
  Put16(b, bits);
  b.resize(size, 0);  // 18 and more: cbSize and extra bytes (zero)
  return b;
}

// A RIFF WAVE file of the given chunks; riffSize overrides the RIFF chunk's size field.
inline std::vector<uint8_t> Riff(const std::vector<std::vector<uint8_t>>& chunks, int64_t riffSize = -1) {
  std::vector<uint8_t> body;
  PutId(body, "WAVE");
  for (const auto& c : chunks) Append(body, c);
  std::vector<uint8_t> b;
  PutId(b, "RIFF");
  Put32(b, riffSize >= 0 ? uint32_t(riffSize) : uint32_t(body.size()));
  Append(b, body);
  return b;
}

inline std::vector<uint8_t> Pcm16(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b;
  for (int16_t s : samples) Put16(b, uint16_t(s));
  return b;
}

inline std::vector<uint8_t> Wav(uint16_t channels, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& data) {
  return Riff({Chunk("fmt ", Fmt(channels, rate, bits)), Chunk("data", data)});
}

}  // namespace wavfiles
