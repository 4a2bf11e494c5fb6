// Helpers of the per-frame picture effects (the effects themselves are
// qvn_cBitmap methods, declared in qvn_Bitmap.h).
#pragma once

#include "qvn_Bitmap.h"

// Window of the fast blurs: 2^shift pixels, shift the index of the highest set
// bit of (nRadius < 2 ? 3 : nRadius | 1), so radii 0-3 give 2, 4-7 give 4 ...
int qvn_FastBlurShift(int nRadius);

// Window of horizontalBlur: nRadius (at least 2) rounded down to even.
int qvn_BlurWindow(int nRadius);

// The fading tables' step t_k = k / 63, with 1/63 rounded to single precision
// and the product taken in double.
double qvn_FadeStep(int k);

// The fading tables at one strength k are plain arithmetic: the table's 1/63
// lies just above the true value and every product is exact in double, so
//   F1[i][j][k] = sign(j - i) * (4k|j - i| / 63)   (integer division)
//   F2[i][j][k] = min(255, 4i + 4kj / 63)
// and 4kd / 63 for d <= 63 equals ((d << shift) * mul) >> 16 with a 16-bit
// pair chosen per k. Per-pixel code using that stays in 16-bit lanes the
// compiler vectorises, where a table look-up per channel cannot be; the tests
// compare it with the tables for every pair of values.
struct qvn_SFadeMul {
    uint16_t shift, mul;
};
// The pairs of k = 0 .. 63.
const qvn_SFadeMul* qvn_FadeMuls();

// 4kd / 63 for d <= 63. The shift is applied as a multiplication by its power
// of two: a variable shift count makes the vectoriser widen the lanes, a
// multiplier does not.
inline uint16_t qvn_FadeQuotient(uint16_t d, qvn_SFadeMul m) {
    const uint16_t scaled = uint16_t(d * uint16_t(1u << m.shift));
    return uint16_t((uint32_t(scaled) * uint32_t(m.mul)) >> 16);
}

// a + F1[a >> 2][b >> 2][k] for 8-bit a and b: a moved towards b.
inline uint16_t qvn_FadeTowards(uint16_t a, uint16_t b, qvn_SFadeMul m) {
    const uint16_t i = uint16_t(a >> 2), j = uint16_t(b >> 2);
    const bool up = j >= i;
    const uint16_t q = qvn_FadeQuotient(uint16_t(up ? j - i : i - j), m);
    return uint16_t(up ? a + q : a - q);
}

// Tests: the effects' and merges' inner loops in their plain copy (force) or
// the fastest the processor runs; returns whether a second, AVX2 copy exists
// here.
bool qvn_ForceGenericBitmapRows(bool force);
