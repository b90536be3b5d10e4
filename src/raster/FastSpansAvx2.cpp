// The common-case span loop compiled for AVX2 (eight pixels a lane group), picked at run time
// where the CPU has it.
#include "raster/FastSpanLoop.h"

namespace raster::fast {
TAVVY_FAST_NAMESPACE_BEGIN
#if defined(TAVVY_FAST_AVX2)
namespace {
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
TAVVY_FAST_TARGET_AVX2 __attribute__((flatten)) void DrawRowsQuickAvx2(const PixelContext& pc, const TriangleJob& j,
                                                                       int top, int bottom) {
  spans::WalkRows<spans::QuickSpanOf<spans::Lanes8, TF, DF, TXF, LINEAR>>(pc, j, top, bottom);
}
template <PixelFormat TF, DepthFormat DF, PixelFormat TXF, bool LINEAR>
struct Avx2Rows {
  static constexpr RowsFn kFn = &DrawRowsQuickAvx2<TF, DF, TXF, LINEAR>;
};
}  // namespace

RowsFn PickQuickAvx2(PixelFormat tf, DepthFormat df, PixelFormat txf, bool linear) {
  return spans::PickQuickWith<Avx2Rows>(tf, df, txf, linear);
}
#endif
TAVVY_FAST_NAMESPACE_END
}  // namespace raster::fast
