#include "qvn_Random.h"

static uint32_t g_nRandState = 1;

int qvn_rand() {
    g_nRandState = g_nRandState * 214013u + 2531011u;
    return static_cast<int>((g_nRandState >> 16) & 0x7FFF);
}

void qvn_srand(uint32_t seed) { g_nRandState = seed; }
