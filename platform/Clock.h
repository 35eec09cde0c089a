// Time and chance. Any thread.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds of the steady clock as an unsigned 32-bit value; it wraps, so
// elapsed times are differences taken in unsigned 32-bit arithmetic.
uint32_t GetTickCount();

// The interval a timer asked for ms milliseconds really ticks at: as on the
// system the program was written for, no timer ticks more often than every
// 10 ms (USER_TIMER_MINIMUM there); shorter intervals are raised to that.
int EffectiveTimerInterval(int ms);

// Seeds the program's pseudo-random generator from the clock.
void Randomize();
// A uniformly distributed whole number in 0 .. range - 1 (0 when range <= 0).
int Random(int range);

} // namespace platform
