// The helpers' run built without SIMD (this file is compiled with TAVVY_NO_SIMD).
#include "SimdExercise.h"

namespace simdtest {
std::vector<uint32_t> PortableRun() { return ExerciseSimd(); }
}  // namespace simdtest
