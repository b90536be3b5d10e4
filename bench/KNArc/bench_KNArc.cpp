// Decoding speed of byte-pair encoded archive entries on data like the game's: a 24-bit
// texture picture and a text file. Reported as bytes of decoded output per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

#include "KNArc/KNArc.h"
#include "knapack/ArchiveWriter.h"
#include "knapack/BytePairEncoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 256 x 256 24-bit BMP-like picture: a banded gradient with soft shapes and a little noise,
// as the game's planet and hull textures look.
Bytes Picture() {
  constexpr int w = 256, h = 256;
  Bytes b(54, 0);
  b[0] = 'B', b[1] = 'M';
  std::mt19937 rng(3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double d = std::hypot(x - 128.0, y - 100.0);
      const int band = static_cast<int>(std::sin(y * 0.09 + x * 0.01) * 24);
      const int shade = d < 80 ? 200 - static_cast<int>(d) : 40 + band;
      const int noise = static_cast<int>(rng() % 5) - 2;
      b.push_back(static_cast<uint8_t>(std::clamp(shade / 2 + noise, 0, 255)));      // blue
      b.push_back(static_cast<uint8_t>(std::clamp(shade * 3 / 4 + noise, 0, 255)));  // green
      b.push_back(static_cast<uint8_t>(std::clamp(shade + noise + y / 8, 0, 255)));  // red
    }
  return b;
}

Bytes Text() {
  static const char* words[] = {"the ",    "ship ",  "fires ", "at ",   "enemy ",  "craft ",    "near ",
                                "colony ", "1200, ", "0.5, ",  "-30, ", "planet ", "stage\r\n", "score "};
  std::mt19937 rng(7);
  std::string s;
  while (s.size() < 256 * 1024) s += words[rng() % std::size(words)];
  return Bytes(s.begin(), s.end());
}

void Decode(benchmark::State& state, const Bytes& data) {
  const Bytes packed = knapack::EncodeBytePairs(data);
  rtl::TMemoryStream in;
  in.WriteBuffer(packed.data(), static_cast<int64_t>(packed.size()));
  for (auto _ : state) {
    in.SetPosition(0);
    auto out = DecodeBytePairs(in, static_cast<int64_t>(data.size()));
    benchmark::DoNotOptimize(out->Memory());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
  state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(data.size());
}

void Encode(benchmark::State& state, const Bytes& data) {
  for (auto _ : state) benchmark::DoNotOptimize(knapack::EncodeBytePairs(data).data());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}

// The whole lookup as the surface loader makes it: directory, ID match, read, decode.
void ReadEntry(benchmark::State& state) {
  std::vector<knapack::ArchiveItem> items;
  for (int i = 0; i < 40; ++i) items.push_back({"texture" + std::to_string(i) + ".bmp", Bytes(64, 1)});
  items.push_back({"planet.bmp", Picture()});
  const Bytes archive = knapack::BuildArchive(items, knapack::ArchiveMode::BytePair);
  rtl::TMemoryStream source;
  source.WriteBuffer(archive.data(), static_cast<int64_t>(archive.size()));
  for (auto _ : state) {
    source.SetPosition(0);
    auto out = ArchiveReadStream(source, "PLANET.BMP");
    benchmark::DoNotOptimize(out->Memory());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(items.back().Data.size()));
}

const Bytes& PictureData() {
  static const Bytes data = Picture();
  return data;
}

const Bytes& TextData() {
  static const Bytes data = Text();
  return data;
}

void BM_DecodePicture(benchmark::State& state) { Decode(state, PictureData()); }
void BM_DecodeText(benchmark::State& state) { Decode(state, TextData()); }
void BM_EncodePicture(benchmark::State& state) { Encode(state, PictureData()); }
void BM_EncodeText(benchmark::State& state) { Encode(state, TextData()); }

BENCHMARK(BM_DecodePicture);
BENCHMARK(BM_DecodeText);
BENCHMARK(BM_EncodePicture);
BENCHMARK(BM_EncodeText);
BENCHMARK(ReadEntry);

}  // namespace

BENCHMARK_MAIN();
