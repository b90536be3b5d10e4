// The fast rasterizer's pieces, shared by its stages: vertex and lighting (FastVertex.cpp),
// clipping and triangle set-up (FastSetup.cpp), the draw with its rows dealt out in bands to the
// worker pool (FastRasterizer.cpp), and the row walk with the span loops (FastSpans.cpp; the
// common-case loop in FastSpanLoop.h, compiled again for AVX2 in FastSpansAvx2.cpp).
//
// Everything here lives in an inline namespace named after the SIMD flavour the file is built
// with, so a test can build the whole device a second time with the portable four-lane helpers
// into the same program and compare its frames with the SIMD build's, bit for bit.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "raster/PixelCodec.h"
#include "raster/RasterCommon.h"
#include "raster/Simd.h"
#include "raster/TriangleSetup.h"
#include "raster/WorkerPool.h"

#if defined(TAVVY_RASTER_SSE2)
#define TAVVY_FAST_NAMESPACE_BEGIN inline namespace sse2 {
#else
#define TAVVY_FAST_NAMESPACE_BEGIN inline namespace portable {
#endif
#define TAVVY_FAST_NAMESPACE_END }

// The SSE2 build carries a second copy of the hot loops compiled for AVX2 (a function attribute,
// so the rest of the program stays baseline), picked at run time when the CPU has it.
#if defined(TAVVY_RASTER_SSE2) && defined(__GNUC__)
#define TAVVY_FAST_AVX2 1
#define TAVVY_FAST_TARGET_AVX2 __attribute__((target("avx2")))
#define TAVVY_FAST_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TAVVY_FAST_ALWAYS_INLINE inline
#endif

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN

// Clip-space vertex with its colours (0..255 scale) and texture coordinates.
struct FVert {
  float x, y, z, w;
  float c[8];  // diffuse r g b a, specular r g b a
  float u, v;
};

enum : uint32_t {
  kOutNear = 1,
  kOutFar = 2,
  kOutLeft = 4,
  kOutRight = 8,
  kOutTop = 16,
  kOutBottom = 32,  // guard band
  kOutW = 64,
  kOutBad = 128,
  kOffLeft = 256,
  kOffRight = 512,
  kOffTop = 1024,
  kOffBottom = 2048,  // viewport (reject only)
  kClipMask = kOutNear | kOutFar | kOutLeft | kOutRight | kOutTop | kOutBottom | kOutW,
};

struct PreparedLight {
  bool directional = false, spot = false;
  float px = 0, py = 0, pz = 0;  // camera-space position, or direction towards the light
  float sx = 0, sy = 0, sz = 0;  // spot direction
  float range = 0, range2 = 0, a0 = 0, a1 = 0, a2 = 0;
  float cosTheta = 1, cosPhi = 1, falloff = 1;
  float dr, dg, db, sr, sg, sb, ar, ag, ab;
};

struct Mat3 {
  float m[3][3];
};

// Interpolated quantities across a triangle: z (double, for 24/32-bit depth), then floats.
enum Attr { aR, aG, aB, aA, aSR, aSG, aSB, aSA, aUQ, aVQ, aQ, kAttrs };
// The attributes padded to a whole number of four-lane groups.
inline constexpr int kAttrLanes = 12;

struct SpanSetup {
  double z0, dzdx;
  float a[kAttrLanes], d[kAttrs];
  bool specular;  // the triangle has a specular colour to add
};

enum class QuickBlend : uint8_t { None, Add, Alpha, Subtract };

// Everything the pixel loop needs that stays fixed for a draw.
struct PixelContext {
  const State* s;
  uint8_t* target;
  int32_t pitch;
  uint8_t* depth;
  int32_t depthPitch;
  bool depthTest, depthWrite;
  CmpFunc zFunc;
  bool blend, dither, specular;
  bool simpleModulate;    // the common stage set-up: colour and alpha = texture * diffuse
  bool alphaFromTexture;  // the default stage: colour = texture * diffuse, alpha = texture
  QuickBlend quickBlend;
  bool colorKey;
  bool linear;
  // texture
  const uint8_t* tex;
  int32_t texPitch;
  int texPitchShift;  // log2 of the pitch when it is a power of two, else -1
  PixelFormat texFormat;
  int texW, texH, texBpp;
  bool texPow2Wrap;
  uint32_t keyMask, keyLow, keyHigh;
  Rgba8 tfactor;
  uint32_t attrs;      // bit k: the span loop reads attribute k (the others need no step)
  int clipX0, clipX1;  // the columns a span may cover, inclusive
  // The columns of the target's rows, and of the depth buffer's when there is one: a group of
  // pixels inside them can be loaded and stored whole.
  int rowWidth;
};

struct TriangleJob;
// Draws rows [top, bottom] of a set-up triangle: the row walk and the span loop compiled together
// per target format, depth format and texturing.
using RowsFn = void (*)(const PixelContext&, const TriangleJob&, int top, int bottom);
// The general loop for a target and depth format, with or without texturing (null for targets
// the device cannot draw to).
RowsFn PickRows(PixelFormat tf, DepthFormat df, bool tex);
// The common-case loop for the game's two target formats, or null.
RowsFn PickQuick(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear, bool avx2);
#if defined(TAVVY_FAST_AVX2)
// The same loop compiled for AVX2 (FastSpansAvx2.cpp).
RowsFn PickQuickAvx2(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear);
#endif

// Whether this CPU runs AVX2 (and this build has the AVX2 copies).
bool CpuHasAvx2();

// A triangle set up for the pixel loop: coverage, attribute planes and the rows it spans.
struct TriangleJob {
  SnappedTriangle tri;
  double vals[3][kAttrLanes];  // attributes (divided by w) at each corner, the padding 0
  double sz[3];
  float d[kAttrs];  // steps along x
  double dzdx;
  int y0, y1;
  bool linear;    // the filter chosen for this triangle
  bool specular;  // specular is added and not black at every corner
};

// A draw whose pixels wait in the batch: its states as they were, its set-up triangles and the
// rows each of them covers (kept apart, so a band finds its triangles without reading them).
struct BatchDraw {
  State state;
  Texture texture;
  PixelContext pc{}, pcOther{};
  RowsFn rows = nullptr;
  struct RowRange {
    int32_t top, bottom;
  };
  std::vector<TriangleJob> jobs;
  std::vector<RowRange> ranges;
  int top = 0, bottom = -1;  // all of them
};

// Rows are dealt to the threads in bands of this many: every row is drawn by one thread, the
// triangles in draw order, so the picture does not depend on the number of threads.
inline constexpr int kBandRows = 8;
// Draws with fewer vertices than this light them on the calling thread.
inline constexpr size_t kMinParallelVertices = 256;
// Draws with fewer triangles than this set them up on the calling thread.
inline constexpr size_t kMinParallelTriangles = 256;

class FastRasterizer final : public Rasterizer {
 public:
  FastRasterizer(int threads, int64_t minParallelPixels, bool allowAvx2);
  ~FastRasterizer() override;
  FastRasterizer(const FastRasterizer&) = delete;
  FastRasterizer& operator=(const FastRasterizer&) = delete;

  // Whether the draws run the loops compiled for AVX2.
  bool UsesAvx2() const { return avx2_; }

  Result Clear(const State& state, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
               uint32_t stencil) override;

  Result DrawIndexedTriangleList(const State& s, const VertexData& vd, std::span<const uint16_t> indices) override;

  // With more than one render thread, the draws of a batch leave their pixels to the bands: the
  // other threads draw them while this one transforms, lights and sets up the next draws, and
  // this one joins in at Flush. Every band draws the batch's triangles in order, so the frame is
  // the same bits as when each draw is finished before the next.
  void BeginBatch() override { batching_ = pool_.Size() > 1; }
  void Flush() override;
  void EndBatch() override {
    Flush();
    batching_ = false;
  }

 private:
  void PrepareTransforms(const State& s);
  void PrepareLights(const State& s, const VertexData& vd);
  void KeepViewLights(const State& s);
  void FillLightTable();  // soa_ and soaDirectional_ from viewLights_
  // Transforms, lights and classifies the vertices of pending_ into verts_ and outcodes_.
  void ProcessVertices(const State& s, const VertexData& vd);
  // Pending vertices [begin, end) in lane groups.
  void ProcessLanes(const State& s, const VertexData& vd, size_t begin, size_t end);
  void ProcessVertex(const State& s, const VertexData& vd, uint32_t index, FVert& out, uint32_t& outcode);
  // Four vertices at a time, or eight in the copy compiled for AVX2 (which takes every call it
  // makes in, so the eight-lane operations are inlined with the AVX2 encoding).
  void ProcessQuad(const State& s, const VertexData& vd, const uint32_t* index, int count);
#if defined(TAVVY_FAST_AVX2)
  TAVVY_FAST_TARGET_AVX2 __attribute__((flatten)) void ProcessOctet(const State& s, const VertexData& vd,
                                                                    const uint32_t* index, int count);
#endif
  template <typename V>
  TAVVY_FAST_ALWAYS_INLINE void QuadBody(const State& s, const VertexData& vd, const uint32_t* index, int count);
  // The lit colours of a vertex from its light sums and the material's sources.
  void LitColours(const State& s, const float* vdif, const float* vspec, const float* amb, const float* dif,
                  const float* spe, FVert& o) const;
  uint32_t Outcode(const FVert& o) const;
  // Triangles [first, last) of the draw's index list, set up into job list `list`.
  void SetupTriangles(std::span<const uint16_t> indices, size_t first, size_t last, int list);
  void DrawClipped(const FVert* tri, uint32_t orCode, int facing, int list);
  void Rasterize(const FVert* v0, const FVert* v1, const FVert* v2, int facing, int list);
  void DrawJobs(int thread, int threads) const;
  void DrawJob(const TriangleJob& j, int thread, int threads) const;
  // Hands the draw just set up (its triangles in job list 0) to the batch's bands.
  void Publish(const State& s);
  // Whether a draw on these surfaces can join the batch (the same target and depth buffer).
  bool FitsBatch(const State& s) const;
  // A render thread's share of the batch: bands with draws still to draw, until Flush closes it.
  void DrainBands(int thread);
  void DrawBand(const BatchDraw& d, int band) const;

  VertexLayout layout_;
  float wv_[4][4] = {}, wvp_[4][4] = {}, view_[4][4] = {};
  Mat3 normal_{};
  float guardX_ = 1, guardY_ = 1;
  // Every light of the state in camera space, kept while the lights and the view stay the same
  // (most draws of a frame change neither), and the ones that can reach this draw.
  using ViewBits = std::array<uint32_t, 16>;
  static_assert(sizeof(ViewBits) == sizeof view_);
  std::vector<PreparedLight> viewLights_;
  std::vector<std::byte> viewLightsOf_;  // the bytes of the lights they were prepared from
  ViewBits viewLightsView_{};
  bool viewLightsValid_ = false;
  uint64_t viewLightsVersion_ = 0;  // the caller's number of those lights (0: none)
  // The view lights that can reach this draw, in order: their indices in viewLights_ (and columns
  // in soa_).
  std::vector<uint32_t> lightColumns_;
  // The view lights again, field by field (soa_[field * viewLights_.size() + light]), for the
  // branch-free loop used when no spot light is involved; made with them. A directional light
  // is a point light at its direction seen from a vertex at the origin (sKeep 0), unattenuated
  // and of unlimited range.
  enum SoaField {
    sPx,
    sPy,
    sPz,
    sKeep,
    sRange,
    sA0,
    sA1,
    sA2,
    sDr,
    sDg,
    sDb,
    sAr,
    sAg,
    sAb,
    sSr,
    sSg,
    sSb,
    // A directional light's direction and attenuation seen from any vertex (the same for all),
    // and the halfway vector of an eye infinitely far back with its length.
    sUx,
    sUy,
    sUz,
    sAtt,
    sInRange,
    sHx,
    sHy,
    sHz,
    sHlen,
    kSoaFields
  };
  std::vector<float> soa_;
  std::vector<uint8_t> soaDirectional_;  // per light of soa_: directional
  bool soaUsable_ = false;               // no light of this draw is a spot light
  std::vector<FVert> verts_;
  std::vector<uint32_t> outcodes_;
  std::vector<uint32_t> stamp_;
  std::vector<uint32_t> pending_;  // the vertices of this draw, each once, in order of first use:
  size_t pendingCount_ = 0;        // the first pendingCount_ of it
  uint32_t drawId_ = 0;
  PixelContext pc_{};
  PixelContext pcOther_{};  // pc_ with the other filter, for triangles that choose it
  // The set-up triangles in draw order: list 0's, then list 1's, and so on (a large draw's
  // triangles are set up on the render threads, each into its own list).
  struct JobList {
    std::vector<TriangleJob> jobs;
    int64_t pixels = 0;  // about the pixels the jobs cover
  };
  std::array<JobList, kMaxRenderThreads> jobLists_;
  int usedLists_ = 1;
  std::span<const uint16_t> indices_;  // the draw's, for the render threads
  int64_t minParallelPixels_;
  WorkerPool pool_;
  RowsFn rows_ = nullptr;
  PixelRect rect_;
  const State* state_ = nullptr;
  const VertexData* vertexData_ = nullptr;  // the draw's vertices, for the render threads
  bool needSpecular_ = false;
  bool avx2_;

  // The batch: draws [0, batchCount_) of batch_, of which the bands may draw the count in
  // published_ (with kClosed once Flush waits for the rest). A band is drawn by one thread at a
  // time, from its next undrawn draw on.
  static constexpr size_t kMaxBatchDraws = 4096;
  static constexpr uint64_t kClosed = uint64_t{1} << 63;
  // Set while the draw being prepared has vertices for the render threads to light.
  static constexpr uint64_t kVertexWork = uint64_t{1} << 62;
  struct alignas(64) Band {
    std::atomic<bool> busy{false};
    std::atomic<uint32_t> next{0};
  };
  bool batching_ = false;
  bool batchRunning_ = false;  // the other threads are on DrainBands
  std::vector<std::unique_ptr<BatchDraw>> batch_;
  uint32_t batchCount_ = 0;
  std::atomic<uint64_t> published_{0};
  std::unique_ptr<Band[]> bands_;
  int bandCount_ = 0, bandCapacity_ = 0;
  std::function<void(int)> drainJob_;
  // The vertices of the draw being prepared while a batch runs, taken in runs of kVertexRun by
  // this thread and by render threads with nothing to draw (DrainBands). The fields are the
  // caller's to change only while kVertexWork is clear and no helper is inside.
  static constexpr size_t kVertexRun = 64;
  struct VertexWork {
    const State* state = nullptr;
    const VertexData* vd = nullptr;
    size_t runs = 0;
    std::atomic<size_t> next{0};  // the next run to take
    std::atomic<size_t> left{0};  // runs not finished
    std::atomic<int> helpers{0};  // render threads looking at the work
  } vertexWork_;
  // Lights runs of vertexWork_ until none is left to take.
  void TakeVertexRuns();
  // A render thread's help with vertexWork_, when it is there.
  void HelpWithVertices();
  // A clear shared by the render threads: its arguments, each thread's result, and the job.
  struct ClearCall {
    const State* state;
    std::span<const Rect> rects;
    uint32_t flags, argb, stencil;
    float z;
    Result results[kMaxRenderThreads];
  } clear_{};
  std::function<void(int)> clearJob_;
};

// The device with `threads` render threads (1..kMaxRenderThreads); draws under
// `minParallelPixels` stay on the calling thread. allowAvx2 false keeps it to the baseline loops
// (for comparing the two).
std::unique_ptr<Rasterizer> MakeDevice(int threads, int64_t minParallelPixels, bool allowAvx2 = true);
// "sse2" or "portable": the four-lane helpers this copy of the device was built with.
const char* SimdFlavour();

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
