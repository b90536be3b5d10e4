// The fast rasterizer the game runs on. Same pipeline as the reference one, organised for speed:
// vertices are transformed and lit once per draw (lights out of reach of the draw's bounding
// sphere are dropped first), triangles inside the guard band skip clipping, coverage is solved a
// row at a time, and the pixel loop is instantiated per target format, depth format and
// texturing. Scratch buffers live in the object and only grow, so a steady frame allocates nothing.
//
// This file holds the draw itself: the pixel context of its states, the walk over its
// triangles, and the rows dealt out in bands to the worker pool. A large draw also shares its
// vertices and its triangle set-up out among the pool's threads, in runs kept in draw order.
#include <algorithm>
#include <bit>
#include <climits>
#include <functional>

#include "raster/FastDevice.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN

FastRasterizer::FastRasterizer(int threads, int64_t minParallelPixels, bool allowAvx2)
    : minParallelPixels_(minParallelPixels), pool_(threads), avx2_(allowAvx2 && CpuHasAvx2()) {
  batch_.resize(kMaxBatchDraws);
  drainJob_ = [this](int thread) { DrainBands(thread); };
  clearJob_ = [this](int thread) {
    const ClearCall& c = clear_;
    clear_.results[thread] = ClearSurfaces(*c.state, c.rects, c.flags, c.argb, c.z, c.stencil, thread, pool_.Size());
  };
}

FastRasterizer::~FastRasterizer() { Flush(); }

Result FastRasterizer::DrawIndexedTriangleList(const State& s, const VertexData& vd,
                                               std::span<const uint16_t> indices) {
  if (const Result r = ValidateDraw(s, vd, indices, layout_); r != Result::Ok) return r;
  const bool textured = s.texture != nullptr;
  if (textured && !UsableTexture(*s.texture)) return Result::InvalidParams;
  rect_ = DrawableRect(s);
  if (rect_.Empty()) return Result::Ok;
  state_ = &s;

  // Guard band: triangles within +-8192 pixels of the viewport need no clipping at its edges;
  // the rows and spans are cut to the viewport instead.
  guardX_ = 1.0f + 16384.0f / float(s.viewport.width);
  guardY_ = 1.0f + 16384.0f / float(s.viewport.height);
  const TextureStage& st = s.stage0;
  auto usesSpecular = [&](uint32_t a) { return (a & ta::SelectMask) == ta::Specular; };
  const bool stageSpecular =
      st.colorOp != TextureOp::Disable && (usesSpecular(st.colorArg1) || usesSpecular(st.colorArg2) ||
                                           usesSpecular(st.alphaArg1) || usesSpecular(st.alphaArg2));
  needSpecular_ = s.rs.specularEnable || stageSpecular;
  {
    // Specular from a black material adds nothing: skip the whole term (the game's usual case).
    const MaterialSource src = s.rs.specularMaterialSource;
    const bool fromMaterial = !s.rs.colorVertex || src == MaterialSource::Material ||
                              (src == MaterialSource::Color1 && layout_.diffuse < 0) ||
                              (src == MaterialSource::Color2 && layout_.specular < 0);
    const Color& m = s.material.specular;
    if (fromMaterial && m.r == 0 && m.g == 0 && m.b == 0) needSpecular_ = false;
  }
  PrepareTransforms(s);
  PrepareLights(s, vd);

  // Pixel context.
  PixelContext& pc = pc_;
  pc = PixelContext{};
  pc.s = &s;
  pc.target = static_cast<uint8_t*>(s.target.pixels);
  pc.pitch = s.target.pitch;
  const bool hasDepth = s.depth.format != DepthFormat::None;
  pc.depth = hasDepth ? static_cast<uint8_t*>(s.depth.pixels) : nullptr;
  pc.depthPitch = s.depth.pitch;
  pc.depthTest = hasDepth && s.rs.zEnable;
  pc.depthWrite = pc.depthTest && s.rs.zWriteEnable;
  pc.zFunc = s.rs.zFunc;
  pc.blend = s.rs.alphaBlendEnable;
  pc.dither = s.rs.ditherEnable;
  // Lit without a specular term the specular colour is black: nothing to add.
  pc.specular = s.rs.specularEnable && (!s.rs.lighting || layout_.pretransformed || needSpecular_);
  const bool stageOn = st.colorOp != TextureOp::Disable;
  const bool texturing = textured && stageOn;
  auto isDiffuse = [](uint32_t a) { return a == ta::Diffuse || a == ta::Current; };
  pc.simpleModulate = st.colorOp == TextureOp::Modulate && st.alphaOp == TextureOp::Modulate &&
                      st.colorArg1 == ta::Texture && isDiffuse(st.colorArg2) && st.alphaArg1 == ta::Texture &&
                      isDiffuse(st.alphaArg2);
  pc.tfactor = {uint8_t(s.rs.textureFactor >> 16), uint8_t(s.rs.textureFactor >> 8), uint8_t(s.rs.textureFactor),
                uint8_t(s.rs.textureFactor >> 24)};
  if (!stageOn) {
    // A disabled stage passes the diffuse colour through.
    pc.simpleModulate = false;
  }
  if (texturing) {
    const Texture& t = *s.texture;
    pc.tex = static_cast<const uint8_t*>(t.pixels);
    pc.texPitch = t.pitch;
    pc.texPitchShift = -1;
    if (t.pitch > 0 && (t.pitch & (t.pitch - 1)) == 0) pc.texPitchShift = std::countr_zero(uint32_t(t.pitch));
    pc.texFormat = t.format;
    pc.texW = int(t.width);
    pc.texH = int(t.height);
    pc.texBpp = BytesPerPixel(t.format);
    pc.texPow2Wrap = st.addressU == TextureAddress::Wrap && st.addressV == TextureAddress::Wrap &&
                     (t.width & (t.width - 1)) == 0 && (t.height & (t.height - 1)) == 0;
    pc.colorKey = s.rs.colorKeyEnable && t.hasColorKey;
    pc.keyMask = ColorBitsMask(t.format);
    pc.keyLow = t.colorKeyLow & pc.keyMask;
    pc.keyHigh = t.colorKeyHigh & pc.keyMask;
    pc.linear = st.magFilter != TextureFilter::Point;
  }
  pc.clipX0 = rect_.x0;
  pc.clipX1 = rect_.x1 - 1;
  pc.rowWidth = int(hasDepth ? std::min(s.target.width, s.depth.width) : s.target.width);
  rows_ = PickRows(s.target.format, hasDepth ? s.depth.format : DepthFormat::None, texturing);
  if (!rows_) return Result::InvalidParams;
  {
    // The common-case loop when the states are the ones the game draws with.
    const bool defaultStage = st.colorOp == TextureOp::Modulate && st.colorArg1 == ta::Texture &&
                              isDiffuse(st.colorArg2) && st.alphaOp == TextureOp::SelectArg1 &&
                              st.alphaArg1 == ta::Texture;
    const RenderStates& rs = s.rs;
    bool blendOk = true;
    pc.quickBlend = QuickBlend::None;
    if (rs.alphaBlendEnable) {
      if (rs.srcBlend == Blend::One && rs.destBlend == Blend::One)
        pc.quickBlend = QuickBlend::Add;
      else if (rs.srcBlend == Blend::SrcAlpha && rs.destBlend == Blend::InvSrcAlpha)
        pc.quickBlend = QuickBlend::Alpha;
      else if (rs.srcBlend == Blend::Zero && rs.destBlend == Blend::InvSrcColor)
        pc.quickBlend = QuickBlend::Subtract;
      else
        blendOk = false;
    }
    pc.alphaFromTexture = defaultStage;
    // Untextured, a stage that passes the diffuse colour and alpha (as the device sets it up
    // when no texture is bound) draws as a texture of white.
    const bool passesDiffuse =
        !texturing && (!stageOn || (st.colorOp == TextureOp::SelectArg1 && isDiffuse(st.colorArg1) &&
                                    st.alphaOp == TextureOp::SelectArg1 && isDiffuse(st.alphaArg1)));
    if (passesDiffuse) pc.alphaFromTexture = false;
    const bool sampling = !texturing || (st.magFilter == st.minFilter && pc.texPow2Wrap);
    pc.attrs = (1u << kAttrs) - 1;
    if (blendOk && sampling && (pc.simpleModulate || defaultStage || passesDiffuse)) {
      if (RowsFn quick =
              PickQuick(s.target.format, hasDepth ? s.depth.format : DepthFormat::None,
                        texturing ? s.texture->format : PixelFormat::Unknown, texturing && pc.linear, avx2_)) {
        rows_ = quick;
        pc.attrs = 1u << aR | 1u << aG | 1u << aB | 1u << aQ;
        if (!pc.alphaFromTexture) pc.attrs |= 1u << aA;
        if (pc.specular) pc.attrs |= 1u << aSR | 1u << aSG | 1u << aSB;
        if (texturing) pc.attrs |= 1u << aUQ | 1u << aVQ;
      }
    }
  }

  // Each vertex the triangles use is transformed and lit once in this draw, four at a time.
  if (verts_.size() < vd.count) {
    verts_.resize(vd.count);
    outcodes_.resize(vd.count);
    stamp_.resize(vd.count, 0);
  }
  if (++drawId_ == 0) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    drawId_ = 1;
  }
  const size_t used = indices.size() - indices.size() % 3;
  // Without a branch: which indices are new in a mesh is not predictable.
  if (pending_.size() < used) pending_.resize(used);
  pendingCount_ = 0;
  for (size_t t = 0; t < used; ++t) {
    const uint16_t i = indices[t];
    const bool fresh = stamp_[i] != drawId_;
    stamp_[i] = drawId_;
    pending_[pendingCount_] = i;
    pendingCount_ += fresh;
  }
  ProcessVertices(s, vd);
  pcOther_ = pc;
  pcOther_.linear = !pc.linear;
  if (batching_ && batchCount_ < kMaxBatchDraws && batch_[batchCount_]) {
    // The draw sets up into the buffer of the batch's slot it will take (Publish swaps it
    // back), so each slot keeps a buffer the size of its own draw from frame to frame.
    std::swap(jobLists_[0].jobs, batch_[batchCount_]->jobs);
  }
  for (JobList& l : jobLists_) {
    l.jobs.clear();
    l.pixels = 0;
  }
  // Each render thread sets up a run of the triangles into a list of its own; the lists in
  // order are the triangles in order.
  const size_t triangles = indices.size() / 3;
  const int threads = pool_.Size();
  int64_t jobPixels = 0;
  if (threads > 1 && triangles >= kMinParallelTriangles && !batching_) {
    indices_ = indices;
    usedLists_ = threads;
    const std::function<void(int)> job = [this, threads](int thread) {
      const size_t n = indices_.size() / 3, share = (n + size_t(threads) - 1) / size_t(threads);
      const size_t first = std::min(n, share * size_t(thread)), last = std::min(n, first + share);
      SetupTriangles(indices_, first, last, thread);
    };
    pool_.Run(job);
  } else {
    usedLists_ = 1;
    SetupTriangles(indices, 0, triangles, 0);
  }
  if (batching_) {
    Publish(s);
    return Result::Ok;
  }
  for (int l = 0; l < usedLists_; ++l) jobPixels += jobLists_[size_t(l)].pixels;
  if (pool_.Size() > 1 && jobPixels >= minParallelPixels_) {
    const std::function<void(int)> job = [this](int thread) { DrawJobs(thread, pool_.Size()); };
    pool_.Run(job);
  } else {
    DrawJobs(0, 1);
  }
  return Result::Ok;
}

void FastRasterizer::SetupTriangles(std::span<const uint16_t> indices, size_t first, size_t last, int list) {
  const State& s = *state_;
  const bool flat = s.rs.shadeMode == ShadeMode::Flat;
  for (size_t t = 3 * first; t < 3 * last; t += 3) {
    uint32_t codes[3];
    const FVert* v[3];
    for (int k = 0; k < 3; ++k) {
      const uint16_t i = indices[t + k];
      codes[k] = outcodes_[i];
      v[k] = &verts_[i];
    }
    const uint32_t orCode = codes[0] | codes[1] | codes[2];
    if (orCode & kOutBad) continue;
    if (codes[0] & codes[1] & codes[2]) continue;  // all outside one plane
    const int facing =
        HomogeneousFacing(v[0]->x, v[0]->y, v[0]->w, v[1]->x, v[1]->y, v[1]->w, v[2]->x, v[2]->y, v[2]->w);
    if (facing == 0 || Culled(s.rs.cullMode, facing)) continue;
    FVert tri[3] = {*v[0], *v[1], *v[2]};
    if (flat)
      for (int k = 1; k < 3; ++k) std::copy(tri[0].c, tri[0].c + 8, tri[k].c);
    if (orCode & kClipMask) {
      DrawClipped(tri, orCode, facing, list);
    } else {
      Rasterize(&tri[0], &tri[1], &tri[2], facing, list);
    }
  }
}

void FastRasterizer::DrawJobs(int thread, int threads) const {
  for (int list = 0; list < usedLists_; ++list)
    for (const TriangleJob& j : jobLists_[size_t(list)].jobs) DrawJob(j, thread, threads);
}

void FastRasterizer::DrawJob(const TriangleJob& j, int thread, int threads) const {
  const PixelContext& pc = j.linear == pc_.linear ? pc_ : pcOther_;
  // Alone, every row is this thread's: one walk from top to bottom.
  if (threads == 1) return rows_(pc, j, j.y0, j.y1);
  // The first row of this thread's first band that meets the triangle.
  const int firstBand = j.y0 / kBandRows;
  int band = firstBand + ((thread - firstBand) % threads + threads) % threads;
  for (; band * kBandRows <= j.y1; band += threads)
    rows_(pc, j, std::max(j.y0, band * kBandRows), std::min(j.y1, band * kBandRows + kBandRows - 1));
}

Result FastRasterizer::Clear(const State& state, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
                             uint32_t stencil) {
  Flush();
  // A whole screen's clear is a megabyte or two of stores: the render threads share its rows.
  const int64_t area = int64_t(state.target.width) * state.target.height;
  if (pool_.Size() == 1 || area < minParallelPixels_) return ClearSurfaces(state, rects, flags, argb, z, stencil);
  clear_.state = &state;
  clear_.rects = rects;
  clear_.flags = flags;
  clear_.argb = argb;
  clear_.z = z;
  clear_.stencil = stencil;
  pool_.Run(clearJob_);
  // Every share checks the same arguments first, so all give the same answer.
  return clear_.results[0];
}

bool FastRasterizer::FitsBatch(const State& s) const {
  const State& b = batch_[0]->state;
  return s.target.pixels == b.target.pixels && s.target.pitch == b.target.pitch && s.target.height == b.target.height &&
         s.depth.pixels == b.depth.pixels && s.depth.pitch == b.depth.pitch;
}

void FastRasterizer::Publish(const State& s) {
  std::vector<TriangleJob>& jobs = jobLists_[0].jobs;
  if (jobs.empty()) return;
  if (batchCount_ == kMaxBatchDraws || (batchCount_ > 0 && !FitsBatch(s))) Flush();
  if (batchCount_ == 0) {
    // The bands of this batch's target. Nothing draws them now: they can be made anew.
    bandCount_ = int((int64_t(s.target.height) + kBandRows - 1) / kBandRows);
    if (bandCount_ > bandCapacity_) {
      bands_ = std::make_unique<Band[]>(size_t(bandCount_));
      bandCapacity_ = bandCount_;
    }
  }
  std::unique_ptr<BatchDraw>& slot = batch_[batchCount_];
  if (!slot) slot = std::make_unique<BatchDraw>();
  BatchDraw& d = *slot;
  // The records the caller lent for the call, copied; the pixels they point at stay the
  // caller's until Flush.
  d.state = s;
  d.state.lights = {};
  if (s.texture) {
    d.texture = *s.texture;
    d.state.texture = &d.texture;
  }
  d.pc = pc_;
  d.pcOther = pcOther_;
  d.pc.s = d.pcOther.s = &d.state;
  d.rows = rows_;
  std::swap(d.jobs, jobs);
  d.ranges.resize(d.jobs.size());
  d.top = INT32_MAX;
  d.bottom = INT32_MIN;
  for (size_t k = 0; k < d.jobs.size(); ++k) {
    d.ranges[k] = {d.jobs[k].y0, d.jobs[k].y1};
    d.top = std::min(d.top, d.jobs[k].y0);
    d.bottom = std::max(d.bottom, d.jobs[k].y1);
  }
  published_.store(++batchCount_, std::memory_order_release);
  published_.notify_all();
  if (!batchRunning_) {
    batchRunning_ = true;
    pool_.Start(drainJob_);
  }
}

void FastRasterizer::Flush() {
  if (!batchRunning_) return;
  published_.store(batchCount_ | kClosed, std::memory_order_release);
  published_.notify_all();
  DrainBands(0);
  pool_.Wait();
  batchRunning_ = false;
  batchCount_ = 0;
  published_.store(0, std::memory_order_relaxed);
  for (int b = 0; b < bandCount_; ++b) bands_[size_t(b)].next.store(0, std::memory_order_relaxed);
}

void FastRasterizer::DrainBands(int thread) {
  const int n = bandCount_;
  // The threads start apart, so they seldom reach for the same band.
  const int first = thread * n / pool_.Size();
  for (;;) {
    const uint64_t seen = published_.load(std::memory_order_acquire);
    if (seen & kVertexWork) HelpWithVertices();
    const auto count = uint32_t(seen & ~(kClosed | kVertexWork));
    bool waiting = false, drew = false;
    for (int k = 0; k < n; ++k) {
      const int b = (first + k) % n;
      Band& band = bands_[size_t(b)];
      if (band.next.load(std::memory_order_acquire) >= count) continue;
      waiting = true;
      if (band.busy.exchange(true, std::memory_order_acquire)) continue;
      uint32_t d = band.next.load(std::memory_order_relaxed);
      for (; d < count; ++d) DrawBand(*batch_[d], b);
      band.next.store(d, std::memory_order_release);
      band.busy.store(false, std::memory_order_release);
      drew = true;
    }
    if (drew) continue;
    if (waiting) {
      Relax();  // the bands left are another thread's for now
      continue;
    }
    if (seen & kClosed) return;
    // The next draw (or vertices to light) is usually a few microseconds away.
    for (int i = 0; i < kSpinsBeforeSleep && published_.load(std::memory_order_acquire) == seen; ++i) Relax();
    published_.wait(seen, std::memory_order_acquire);
  }
}

void FastRasterizer::DrawBand(const BatchDraw& d, int band) const {
  const int top = band * kBandRows, bottom = top + kBandRows - 1;
  if (d.bottom < top || d.top > bottom) return;
  for (size_t k = 0; k < d.jobs.size(); ++k) {
    const BatchDraw::RowRange r = d.ranges[k];
    if (r.bottom < top || r.top > bottom) continue;
    const TriangleJob& j = d.jobs[k];
    d.rows(j.linear == d.pc.linear ? d.pc : d.pcOther, j, std::max(r.top, top), std::min(r.bottom, bottom));
  }
}

const char* SimdFlavour() {
#if defined(TAVVY_RASTER_SSE2)
  return "sse2";
#else
  return "portable";
#endif
}

bool CpuHasAvx2() {
#if defined(TAVVY_FAST_AVX2)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

std::unique_ptr<Rasterizer> MakeDevice(int threads, int64_t minParallelPixels, bool allowAvx2) {
  return std::make_unique<FastRasterizer>(std::clamp(threads, 1, kMaxRenderThreads), minParallelPixels, allowAvx2);
}

TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
