// The run-time library's random number generator: one process-wide linear
// congruential generator. Every random draw of the game goes through it, in an
// order that is part of the game's behaviour.
#pragma once

#include <cstdint>

namespace rtl {

// The generator's state (process-wide, as the run-time library declares it).
uint32_t RandSeed();
void SetRandSeed(uint32_t seed);

// Seeds the generator from the clock.
void Randomize();

// A uniform integer 0..range-1 (0 when range <= 0 is not meaningful; callers pass positive ranges).
int32_t Random(int32_t range);

// A uniform real in [0, 1).
double Random();

}  // namespace rtl
