// The fast device the rest of the program asks for: the build's own SIMD flavour.
#include "raster/FastDevice.h"

namespace raster {

std::unique_ptr<Rasterizer> MakeFastRasterizerWithThreads(int threads, int64_t minParallelPixels) {
  return fast::MakeDevice(threads, minParallelPixels);
}
std::unique_ptr<Rasterizer> MakeFastRasterizer() { return MakeFastRasterizerWithThreads(RenderThreads()); }

}  // namespace raster
