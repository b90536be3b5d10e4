// Format tables, vertex-format decoding, surface checks and clearing shared by both rasterizers.
#include "raster/RasterCommon.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <thread>

#include "raster/PixelCodec.h"

namespace raster {

namespace {
int DefaultRenderThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(int(cores == 0 ? 1 : cores), 1, kMaxRenderThreads);
}
// A start-up setting of the whole process, like the log switches.
std::atomic<int> gRenderThreads{DefaultRenderThreads()};
}  // namespace

int RenderThreads() { return gRenderThreads.load(std::memory_order_relaxed); }
void SetRenderThreads(int threads) {
  gRenderThreads.store(std::clamp(threads, 1, kMaxRenderThreads), std::memory_order_relaxed);
}

int BytesPerPixel(PixelFormat f) {
  switch (f) {
    case PixelFormat::P8:
      return 1;
    case PixelFormat::RGB565:
    case PixelFormat::X1R5G5B5:
    case PixelFormat::A1R5G5B5:
    case PixelFormat::A4R4G4B4:
      return 2;
    case PixelFormat::R8G8B8:
      return 3;
    case PixelFormat::X8R8G8B8:
    case PixelFormat::A8R8G8B8:
      return 4;
    case PixelFormat::Unknown:
      break;
  }
  return 0;
}

bool IsRenderTargetFormat(PixelFormat f) { return f != PixelFormat::Unknown && f != PixelFormat::P8; }

bool HasAlpha(PixelFormat f) {
  return f == PixelFormat::A1R5G5B5 || f == PixelFormat::A4R4G4B4 || f == PixelFormat::A8R8G8B8;
}

VertexLayout DecodeFvf(uint32_t code) {
  VertexLayout l;
  if (code & (fvf::Reserved0 | fvf::Reserved2 | 0xFF000000u)) return l;
  const uint32_t pos = code & fvf::PositionMask;
  int offset = 0;
  if (pos == 0) return l;
  l.position = 0;
  if (pos == fvf::XYZRHW) {
    l.pretransformed = true;
    offset = 16;
  } else {
    // XYZ, or XYZ followed by 1..5 blend weights (vertex blending is off, they are skipped).
    offset = pos == fvf::XYZ ? 12 : 12 + 4 * int((pos - fvf::XYZRHW) / 2);
  }
  if (code & fvf::Normal) {
    l.normal = offset;
    offset += 12;
  }
  if (code & fvf::Reserved1) offset += 4;  // the reserved dword of the old lit-vertex layout
  if (code & fvf::Diffuse) {
    l.diffuse = offset;
    offset += 4;
  }
  if (code & fvf::Specular) {
    l.specular = offset;
    offset += 4;
  }
  const int texCount = int((code & fvf::TexCountMask) >> fvf::TexCountShift);
  if (texCount > 8) return l;
  for (int i = 0; i < texCount; ++i) {
    static constexpr int kFloats[4] = {2, 3, 4, 1};
    l.texOffset[i] = offset;
    l.texSize[i] = kFloats[(code >> (16 + 2 * i)) & 3];
    offset += 4 * l.texSize[i];
  }
  // Size bits of sets that are not there must be zero.
  for (int i = texCount; i < 8; ++i)
    if ((code >> (16 + 2 * i)) & 3) return l;
  l.texCount = texCount;
  l.size = offset;
  l.valid = true;
  return l;
}

namespace {
bool Fits(uint32_t width, uint32_t height, int32_t pitch, int bpp, const void* pixels) {
  if (!pixels || bpp == 0 || width == 0 || height == 0) return false;
  if (width > 16384 || height > 16384) return false;
  return pitch > 0 && int64_t(pitch) >= int64_t(width) * bpp;
}
}  // namespace

bool UsableTarget(const Surface& s) {
  return IsRenderTargetFormat(s.format) && Fits(s.width, s.height, s.pitch, BytesPerPixel(s.format), s.pixels);
}

bool UsableDepth(const DepthSurface& d) {
  return d.format != DepthFormat::None && Fits(d.width, d.height, d.pitch, DepthBytes(d.format), d.pixels);
}

bool UsableTexture(const Texture& t) {
  return IsRenderTargetFormat(t.format) && Fits(t.width, t.height, t.pitch, BytesPerPixel(t.format), t.pixels);
}

PixelRect DrawableRect(const State& s) {
  PixelRect r;
  const Viewport& v = s.viewport;
  const int64_t x0 = v.x, y0 = v.y;
  int64_t x1 = x0 + v.width, y1 = y0 + v.height;
  x1 = std::min<int64_t>(x1, s.target.width);
  y1 = std::min<int64_t>(y1, s.target.height);
  if (UsableDepth(s.depth)) {
    x1 = std::min<int64_t>(x1, s.depth.width);
    y1 = std::min<int64_t>(y1, s.depth.height);
  }
  if (x0 >= x1 || y0 >= y1) return r;
  r.x0 = int(x0);
  r.y0 = int(y0);
  r.x1 = int(x1);
  r.y1 = int(y1);
  return r;
}

namespace {
// Repeats one pixel's bytes `count` times, doubling the filled part with each copy.
void FillPattern(uint8_t* dst, size_t count, const uint8_t* pattern, size_t size) {
  if (count == 0) return;
  std::memcpy(dst, pattern, size);
  size_t done = 1;
  while (done < count) {
    const size_t n = std::min(done, count - done);
    std::memcpy(dst + done * size, dst, n * size);
    done += n;
  }
}
}  // namespace

Result ClearSurfaces(const State& s, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
                     uint32_t stencil, int part, int parts) {
  const bool target = flags & clear::Target;
  const bool depth = flags & (clear::ZBuffer | clear::Stencil);
  if (flags & ~(clear::Target | clear::ZBuffer | clear::Stencil)) return Result::InvalidParams;
  if (target && !UsableTarget(s.target)) return Result::InvalidParams;
  if (depth && !UsableDepth(s.depth)) return Result::InvalidParams;
  if ((flags & clear::Stencil) && s.depth.format != DepthFormat::D24S8) return Result::InvalidParams;
  if (!target && !depth) return Result::Ok;

  // Clip against the viewport and whichever surfaces are written.
  const Viewport& v = s.viewport;
  int64_t bx0 = v.x, by0 = v.y, bx1 = int64_t(v.x) + v.width, by1 = int64_t(v.y) + v.height;
  if (target) {
    bx1 = std::min<int64_t>(bx1, s.target.width);
    by1 = std::min<int64_t>(by1, s.target.height);
  }
  if (depth) {
    bx1 = std::min<int64_t>(bx1, s.depth.width);
    by1 = std::min<int64_t>(by1, s.depth.height);
  }
  const Rect whole{int32_t(std::min<int64_t>(bx0, INT32_MAX)), int32_t(std::min<int64_t>(by0, INT32_MAX)),
                   int32_t(std::min<int64_t>(bx1, INT32_MAX)), int32_t(std::min<int64_t>(by1, INT32_MAX))};
  const std::span<const Rect> list = rects.empty() ? std::span<const Rect>(&whole, 1) : rects;

  const Rgba8 c{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)};
  const uint32_t pixel = target ? EncodeRaw(s.target.format, c, kRoundThreshold) : 0;
  const int bpp = BytesPerPixel(s.target.format);
  const uint32_t zq = QuantizeDepth(s.depth.format, z);
  const int zbpp = DepthBytes(s.depth.format);
  for (const Rect& r : list) {
    const int64_t x0 = std::max<int64_t>(r.x1, bx0), y0 = std::max<int64_t>(r.y1, by0);
    const int64_t x1 = std::min<int64_t>(r.x2, bx1), y1 = std::min<int64_t>(r.y2, by1);
    if (x0 >= x1 || y0 >= y1) continue;
    for (int64_t y = y0; y < y1; ++y) {
      if (parts > 1 && (y >> 3) % parts != part) continue;
      if (target) {
        uint8_t* row = static_cast<uint8_t*>(s.target.pixels) + y * s.target.pitch;
        uint8_t bytes[4];
        StoreRaw(s.target.format, bytes, pixel);
        FillPattern(row + x0 * bpp, size_t(x1 - x0), bytes, size_t(bpp));
      }
      if (depth) {
        uint8_t* row = static_cast<uint8_t*>(s.depth.pixels) + y * s.depth.pitch;
        if (s.depth.format != DepthFormat::D24S8) {
          uint8_t bytes[4] = {};
          StoreDepth(s.depth.format, bytes, zq);
          FillPattern(row + x0 * zbpp, size_t(x1 - x0), bytes, size_t(zbpp));
          continue;
        }
        // Depth and stencil share a word: each keeps its part unless it is cleared.
        for (int64_t x = x0; x < x1; ++x) {
          uint8_t* p = row + x * zbpp;
          uint32_t w;
          std::memcpy(&w, p, 4);
          if (flags & clear::ZBuffer) w = (zq << 8) | (w & 0xFF);
          if (flags & clear::Stencil) w = (w & ~0xFFu) | (stencil & 0xFF);
          std::memcpy(p, &w, 4);
        }
      }
    }
  }
  return Result::Ok;
}

Result ValidateDraw(const State& s, const VertexData& v, std::span<const uint16_t> indices, VertexLayout& layout) {
  layout = DecodeFvf(v.fvf);
  if (!layout.valid) return Result::InvalidVertexFormat;
  if (!v.data || v.count == 0 || v.stride < uint32_t(layout.size) || v.stride > 4096) return Result::InvalidParams;
  if (indices.size() < 3) return Result::InvalidParams;
  for (const uint16_t i : indices)
    if (i >= v.count) return Result::InvalidParams;
  if (!UsableTarget(s.target)) return Result::InvalidParams;
  if (s.depth.format != DepthFormat::None && !UsableDepth(s.depth)) return Result::InvalidParams;
  if (s.viewport.width == 0 || s.viewport.height == 0) return Result::InvalidParams;
  return Result::Ok;
}

}  // namespace raster
