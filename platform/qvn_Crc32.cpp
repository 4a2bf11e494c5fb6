// CRC-32 (IEEE, reflected, as zlib and PNG compute it). Every captured frame
// is checksummed, so the long runs go through the processor's carry-less
// multiply when it has one: 64 bytes at a time are folded into four 128-bit
// lanes, the lanes into one, and that one is reduced to 32 bits (Barrett).
// The folding constants are powers of x modulo the CRC polynomial. What is
// left over, and every run on a processor without the instruction, goes to
// zlib, so the value is the same everywhere.
#include "qvn_Png.h"

#include <zlib.h>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QVN_CRC_CLMUL 1
#endif

namespace {

#ifdef QVN_CRC_CLMUL

// x^(4*128+32), x^(4*128-32): one fold across 512 bits.
constexpr uint64_t kFold512Lo = 0x154442bd4u, kFold512Hi = 0x1c6e41596u;
// x^(128+32), x^(128-32): one fold across 128 bits.
constexpr uint64_t kFold128Lo = 0x1751997d0u, kFold128Hi = 0x0ccaa009eu;
// x^64 mod P: 96 bits down to 64.
constexpr uint64_t kFold64 = 0x163cd6124u;
// The polynomial (reflected, with its x^32 term) and floor(x^64 / P).
constexpr uint64_t kPoly = 0x1db710641u, kMu = 0x1f7011641u;

__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i lane, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

// The running state (zlib's inverted CRC) over bytes, a multiple of 16 and at
// least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldBlocks(uint32_t state, const uint8_t* p, size_t bytes) {
    auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
    p += 64;
    bytes -= 64;
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512Hi), static_cast<long long>(kFold512Lo));
    while (bytes >= 64) {
        x0 = Fold(x0, k512, load(p));
        x1 = Fold(x1, k512, load(p + 16));
        x2 = Fold(x2, k512, load(p + 32));
        x3 = Fold(x3, k512, load(p + 48));
        p += 64;
        bytes -= 64;
    }
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128Hi), static_cast<long long>(kFold128Lo));
    x0 = Fold(x0, k128, x1);
    x0 = Fold(x0, k128, x2);
    x0 = Fold(x0, k128, x3);
    while (bytes >= 16) {
        x0 = Fold(x0, k128, load(p));
        p += 16;
        bytes -= 16;
    }
    // 128 bits to 64: the low half times x^(128-32), added to the high half.
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    __m128i t = _mm_clmulepi64_si128(x0, k128, 0x10);
    x0 = _mm_xor_si128(_mm_srli_si128(x0, 8), t);
    // 64 bits to 32 more: the low 32 bits times x^64 mod P.
    t = _mm_srli_si128(x0, 4);
    x0 = _mm_and_si128(x0, low32);
    x0 = _mm_clmulepi64_si128(x0, _mm_set_epi64x(0, static_cast<long long>(kFold64)), 0x00);
    x0 = _mm_xor_si128(x0, t);
    // Barrett: the quotient's estimate from mu, then the remainder.
    const __m128i pm = _mm_set_epi64x(static_cast<long long>(kMu), static_cast<long long>(kPoly));
    t = _mm_and_si128(x0, low32);
    t = _mm_clmulepi64_si128(t, pm, 0x10);
    t = _mm_and_si128(t, low32);
    t = _mm_clmulepi64_si128(t, pm, 0x00);
    x0 = _mm_xor_si128(x0, t);
    return static_cast<uint32_t>(_mm_extract_epi32(x0, 1));
}

bool HaveClmul() {
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
}

#endif

}  // namespace

uint32_t qvn_Crc32(const void* data, size_t bytes, uint32_t crc) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
#ifdef QVN_CRC_CLMUL
    if (bytes >= 64 && HaveClmul()) {
        const size_t folded = bytes & ~static_cast<size_t>(15);
        crc = ~FoldBlocks(~crc, p, folded);
        p += folded;
        bytes -= folded;
    }
#endif
    // zlib takes at most 4 GiB per call.
    while (bytes) {
        const uInt n = bytes > 0x40000000u ? 0x40000000u : static_cast<uInt>(bytes);
        crc = static_cast<uint32_t>(crc32(crc, p, n));
        p += n;
        bytes -= n;
    }
    return crc;
}
