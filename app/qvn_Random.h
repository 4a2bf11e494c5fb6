// The one pseudo-random generator of the program, with the classic C library
// contract, so that every build draws the same numbers in the same order.
#pragma once

#include <cstdint>

constexpr int QVN_RAND_MAX = 0x7FFF;

// 0 .. 32767: state = state * 214013 + 2531011, result = (state >> 16) & 0x7FFF.
int qvn_rand();
// Seed 1 is the state at program start.
void qvn_srand(uint32_t seed);
