// Synthesis: IMDCT per subband with the block-type windows, overlap-add,
// frequency inversion and the 32-band polyphase filterbank.
#include <cmath>
#include <cstring>

#include "qvn_MP3Internal.h"

// The kernels are inlined into each entry point below, so that the copy built
// for AVX2 gets eight-lane versions of every loop.
#define QVN_KERNEL inline __attribute__((always_inline))

namespace qvn_mp3 {
namespace {

bool g_bForceGenericKernels = false;

// The filterbank's prototype window, first half and centre (the window D
// follows from it in InitSynthTables); unscaled, so full scale is 1.0.
const double kSynthWindow[257] = {
    0.000000000,  -0.000015259, -0.000015259, -0.000015259, -0.000015259, -0.000015259, -0.000015259,
    -0.000030518, -0.000030518, -0.000030518, -0.000030518, -0.000045776, -0.000045776, -0.000061035,
    -0.000061035, -0.000076294, -0.000076294, -0.000091553, -0.000106812, -0.000106812, -0.000122070,
    -0.000137329, -0.000152588, -0.000167847, -0.000198364, -0.000213623, -0.000244141, -0.000259399,
    -0.000289917, -0.000320435, -0.000366211, -0.000396729, -0.000442505, -0.000473022, -0.000534058,
    -0.000579834, -0.000625610, -0.000686646, -0.000747681, -0.000808716, -0.000885010, -0.000961304,
    -0.001037598, -0.001113892, -0.001205444, -0.001296997, -0.001388550, -0.001480103, -0.001586914,
    -0.001693726, -0.001785278, -0.001907349, -0.002014160, -0.002120972, -0.002243042, -0.002349854,
    -0.002456665, -0.002578735, -0.002685547, -0.002792358, -0.002899170, -0.002990723, -0.003082275,
    -0.003173828, -0.003250122, -0.003326416, -0.003387451, -0.003433228, -0.003463745, -0.003479004,
    -0.003479004, -0.003463745, -0.003417969, -0.003372192, -0.003280640, -0.003173828, -0.003051758,
    -0.002883911, -0.002700806, -0.002487183, -0.002227783, -0.001937866, -0.001617432, -0.001266479,
    -0.000869751, -0.000442505, 0.000030518,  0.000549316,  0.001098633,  0.001693726,  0.002334595,
    0.003005981,  0.003723145,  0.004486084,  0.005294800,  0.006118774,  0.007003784,  0.007919312,
    0.008865356,  0.009841919,  0.010848999,  0.011886597,  0.012939453,  0.014022827,  0.015121460,
    0.016235352,  0.017349243,  0.018463135,  0.019577026,  0.020690918,  0.021789551,  0.022857666,
    0.023910522,  0.024932861,  0.025909424,  0.026840210,  0.027725220,  0.028533936,  0.029281616,
    0.029937744,  0.030532837,  0.031005859,  0.031387329,  0.031661987,  0.031814575,  0.031845093,
    0.031738281,  0.031478882,  0.031082153,  0.030517578,  0.029785156,  0.028884888,  0.027801514,
    0.026535034,  0.025085449,  0.023422241,  0.021575928,  0.019531250,  0.017257690,  0.014801025,
    0.012115479,  0.009231567,  0.006134033,  0.002822876,  -0.000686646, -0.004394531, -0.008316040,
    -0.012420654, -0.016708374, -0.021179199, -0.025817871, -0.030609131, -0.035552979, -0.040634155,
    -0.045837402, -0.051132202, -0.056533813, -0.061996460, -0.067520142, -0.073059082, -0.078628540,
    -0.084182739, -0.089706421, -0.095169067, -0.100540161, -0.105819702, -0.110946655, -0.115921021,
    -0.120697021, -0.125259399, -0.129562378, -0.133590698, -0.137298584, -0.140670776, -0.143676758,
    -0.146255493, -0.148422241, -0.150115967, -0.151306152, -0.151962280, -0.152069092, -0.151596069,
    -0.150497437, -0.148773193, -0.146362305, -0.143264771, -0.139450073, -0.134887695, -0.129577637,
    -0.123474121, -0.116577148, -0.108856201, -0.100311279, -0.090927124, -0.080688477, -0.069595337,
    -0.057617187, -0.044784546, -0.031082153, -0.016510010, -0.001068115, 0.015228271,  0.032379150,
    0.050354004,  0.069168091,  0.088775635,  0.109161377,  0.130310059,  0.152206421,  0.174789429,
    0.198059082,  0.221984863,  0.246505737,  0.271591187,  0.297210693,  0.323318481,  0.349868774,
    0.376800537,  0.404083252,  0.431655884,  0.459472656,  0.487472534,  0.515609741,  0.543823242,
    0.572036743,  0.600219727,  0.628295898,  0.656219482,  0.683914185,  0.711318970,  0.738372803,
    0.765029907,  0.791213989,  0.816864014,  0.841949463,  0.866363525,  0.890090942,  0.913055420,
    0.935195923,  0.956481934,  0.976852417,  0.996246338,  1.014617920,  1.031936646,  1.048156738,
    1.063217163,  1.077117920,  1.089782715,  1.101211548,  1.111373901,  1.120223999,  1.127746582,
    1.133926392,  1.138763428,  1.142211914,  1.144287109,  1.144989014};

// D[0..511] as floats.
alignas(16) float g_aWindowD[512];
// IMDCT windows by block type (0 normal, 1 start, 2 short: first 12 used, 3 stop).
alignas(16) float g_aImdctWin[4][36];
// DCT-IV kernels: cos(pi/N (n + 1/2)(k + 1/2)), [k][n], for N = 18 and 6.
alignas(16) float g_aDct18[18][20];
alignas(16) float g_aDct6[6][8];
// Butterfly scales of the recursive DCT-II: 1 / (2 cos((2k+1) pi / (2N))).
float g_aLee32[16], g_aLee16[8], g_aLee8[4], g_aLee4[2], g_aLee2[1];

template <int N>
const float* LeeScale();
template <> const float* LeeScale<32>() { return g_aLee32; }
template <> const float* LeeScale<16>() { return g_aLee16; }
template <> const float* LeeScale<8>() { return g_aLee8; }
template <> const float* LeeScale<4>() { return g_aLee4; }
template <> const float* LeeScale<2>() { return g_aLee2; }

// DCT-II by halving (out[i] = sum in[k] cos(pi i (2k+1) / 2N)): the sums and
// the scaled differences of mirrored inputs give the even and odd outputs.
template <int N>
QVN_KERNEL void DctLee(const float* in, float* out) {
    constexpr int H = N / 2;
    float a[H], b[H], A[H], B[H];
    const float* scale = LeeScale<N>();
    for (int k = 0; k < H; ++k) {
        a[k] = in[k] + in[N - 1 - k];
        b[k] = (in[k] - in[N - 1 - k]) * scale[k];
    }
    DctLee<H>(a, A);
    DctLee<H>(b, B);
    for (int i = 0; i < H - 1; ++i) {
        out[2 * i] = A[i];
        out[2 * i + 1] = B[i] + B[i + 1];
    }
    out[N - 2] = A[H - 1];
    out[N - 1] = B[H - 1];
}
template <>
QVN_KERNEL void DctLee<1>(const float* in, float* out) {
    out[0] = in[0];
}

// The same DCT on four independent inputs side by side (lane l of every row
// belongs to input l): four time slots at once, in a form the compiler maps
// onto 4-wide vector registers.
constexpr int kLanes = 4;
template <int N>
QVN_KERNEL void DctLee4(const float (*in)[kLanes], float (*out)[kLanes]) {
    constexpr int H = N / 2;
    alignas(16) float a[H][kLanes], b[H][kLanes], A[H][kLanes], B[H][kLanes];
    const float* scale = LeeScale<N>();
    for (int k = 0; k < H; ++k) {
        for (int l = 0; l < kLanes; ++l) {
            a[k][l] = in[k][l] + in[N - 1 - k][l];
            b[k][l] = (in[k][l] - in[N - 1 - k][l]) * scale[k];
        }
    }
    DctLee4<H>(a, A);
    DctLee4<H>(b, B);
    for (int i = 0; i < H - 1; ++i) {
        for (int l = 0; l < kLanes; ++l) {
            out[2 * i][l] = A[i][l];
            out[2 * i + 1][l] = B[i][l] + B[i + 1][l];
        }
    }
    for (int l = 0; l < kLanes; ++l) {
        out[N - 2][l] = A[H - 1][l];
        out[N - 1][l] = B[H - 1][l];
    }
}
template <>
QVN_KERNEL void DctLee4<1>(const float (*in)[kLanes], float (*out)[kLanes]) {
    for (int l = 0; l < kLanes; ++l) out[0][l] = in[0][l];
}

// One slot of the filterbank from its DCT outputs x (stride apart): the
// 64-value vector into the ring, then the windowed sum over the ring.
QVN_KERNEL void WindowSlot(float (*ring)[64], int32_t& ringPos, const float* x, int stride, float* pcm) {
    float* v = ring[ringPos];
    // cos((16 + i)(2k + 1) pi / 64) folds onto the DCT's rows with these signs.
    for (int j = 0; j < 16; ++j) v[j] = x[(16 + j) * stride];
    v[16] = 0.0f;
    for (int j = 17; j < 48; ++j) v[j] = -x[(48 - j) * stride];
    v[48] = -x[0];
    for (int j = 49; j < 64; ++j) v[j] = -x[(j - 48) * stride];
    alignas(16) float acc[32];
    {
        const float* va = ring[ringPos];
        const float* vb = ring[(ringPos + 1) & 15] + 32;
        for (int j = 0; j < 32; ++j) acc[j] = g_aWindowD[j] * va[j] + g_aWindowD[32 + j] * vb[j];
    }
    for (int i = 1; i < 8; ++i) {
        const float* va = ring[(ringPos + 2 * i) & 15];
        const float* vb = ring[(ringPos + 2 * i + 1) & 15] + 32;
        const float* da = g_aWindowD + 64 * i;
        const float* db = da + 32;
        for (int j = 0; j < 32; ++j) acc[j] += da[j] * va[j] + db[j] * vb[j];
    }
    std::memcpy(pcm, acc, sizeof(acc));
    ringPos = (ringPos - 1) & 15;
}

// 36-point IMDCT of 18 lines, windowed, into out[36].
QVN_KERNEL void Imdct36(const float* in, const float* win, float* out) {
    alignas(16) float z[20] = {};
    for (int k = 0; k < 18; ++k) {
        const float x = in[k];
        const float* c = g_aDct18[k];
        for (int n = 0; n < 20; ++n) z[n] += x * c[n];
    }
    // The MDCT output is the DCT-IV output extended by its symmetries:
    // x[i] = z[i + 9] with z[18 + m] = -z[17 - m] and z[36 + m] = -z[m].
    for (int i = 0; i < 9; ++i) out[i] = z[9 + i] * win[i];
    for (int m = 0; m < 18; ++m) out[9 + m] = -z[17 - m] * win[9 + m];
    for (int m = 0; m < 9; ++m) out[27 + m] = -z[m] * win[27 + m];
}

// 12-point IMDCT of 6 lines (stride 3 in the reordered spectrum), windowed.
QVN_KERNEL void Imdct12(const float* in, const float* win, float* out) {
    alignas(16) float z[8] = {};
    for (int k = 0; k < 6; ++k) {
        const float x = in[3 * k];
        const float* c = g_aDct6[k];
        for (int n = 0; n < 8; ++n) z[n] += x * c[n];
    }
    for (int i = 0; i < 3; ++i) out[i] = z[3 + i] * win[i];
    for (int m = 0; m < 6; ++m) out[3 + m] = -z[5 - m] * win[3 + m];
    for (int m = 0; m < 3; ++m) out[9 + m] = -z[m] * win[9 + m];
}

}  // namespace

void Dct32(const float* in, float* out) { DctLee<32>(in, out); }

const float* SynthWindow() { return g_aWindowD; }

void SynthesizeSlot(float (*ring)[64], int32_t& ringPos, const float* subbandSamples, float* pcm) {
    alignas(16) float x[32];
    DctLee<32>(subbandSamples, x);
    WindowSlot(ring, ringPos, x, 1, pcm);
}

namespace {

QVN_KERNEL void SynthesizeGranuleKernel(float (*ring)[64], int32_t& ringPos, const float* sub, float* pcm) {
    for (int t = 0; t < kSlots; t += kLanes) {
        alignas(16) float in[32][kLanes], x[32][kLanes];
        // Subband-major input: the four slots of one subband are adjacent.
        for (int sb = 0; sb < kSubbands; ++sb)
            for (int l = 0; l < kLanes; ++l) in[sb][l] = sub[18 * sb + t + l];
        DctLee4<32>(in, x);
        const int lanes = kSlots - t < kLanes ? kSlots - t : kLanes;
        for (int l = 0; l < lanes; ++l) WindowSlot(ring, ringPos, &x[0][l], kLanes, pcm + 32 * (t + l));
    }
}

QVN_KERNEL void SynthesizeChannelKernel(SMP3Stream* s, int ch, int blockCode, int blockType, bool mixed,
                                        int transformSubbands) {
    const float* xr = s->xr[ch];
    float* overlap = s->aOverlap[ch];
    // [subband][slot], with room for the unused lanes of the last group of
    // four slots.
    alignas(16) float sub[kGranuleLines + 4];
    sub[kGranuleLines] = sub[kGranuleLines + 1] = sub[kGranuleLines + 2] = sub[kGranuleLines + 3] = 0.0f;
    int count = transformSubbands;
    if (count < 0) count = 0;
    if (count > kSubbands) count = kSubbands;
    for (int sb = 0; sb < count; ++sb) {
        const float* in = xr + 18 * sb;
        float* out = sub + 18 * sb;
        float* ov = overlap + 18 * sb;
        const bool longBlock = blockCode < 2 || (blockCode == 3 && sb < 2);
        alignas(16) float t[36];
        if (longBlock) {
            // With the mixed flag set the two lowest subbands take the normal
            // window whatever the block type: a mixed short block's long
            // part, and a start or stop block flagged mixed alike.
            const int type = (mixed && sb < 2) || blockCode == 3 ? 0 : blockType;
            Imdct36(in, g_aImdctWin[type == 2 ? 0 : type], t);
        } else {
            std::memset(t, 0, sizeof(t));
            float y[12];
            for (int w = 0; w < 3; ++w) {
                Imdct12(in + w, g_aImdctWin[2], y);
                for (int i = 0; i < 12; ++i) t[6 + 6 * w + i] += y[i];
            }
        }
        for (int i = 0; i < 18; ++i) {
            out[i] = t[i] + ov[i];
            ov[i] = t[18 + i];
        }
    }
    for (int sb = count; sb < kSubbands; ++sb) {
        std::memcpy(sub + 18 * sb, overlap + 18 * sb, 18 * sizeof(float));
        std::memset(overlap + 18 * sb, 0, 18 * sizeof(float));
    }
    // Frequency inversion of every odd subband, the overlap-only ones too.
    for (int sb = 1; sb < kSubbands; sb += 2)
        for (int i = 1; i < 18; i += 2) sub[18 * sb + i] = -sub[18 * sb + i];

    SynthesizeGranuleKernel(s->aSynthRing[ch], s->nRingPos[ch], sub, s->aPcm[ch]);
}

// Two copies of the synthesis: one for any x86 (SSE2), one for AVX2. Both do
// the same operations on each value in the same order (no fused
// multiply-add), so they give the same bits; only the width differs.
void SynthesizeChannelGeneric(SMP3Stream* s, int ch, int blockCode, int blockType, bool mixed,
                              int transformSubbands) {
    SynthesizeChannelKernel(s, ch, blockCode, blockType, mixed, transformSubbands);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void SynthesizeChannelAvx2(SMP3Stream* s, int ch, int blockCode, int blockType,
                                                           bool mixed, int transformSubbands) {
    SynthesizeChannelKernel(s, ch, blockCode, blockType, mixed, transformSubbands);
}

bool CpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#else
// Elsewhere (WebAssembly) the one copy.
void SynthesizeChannelAvx2(SMP3Stream* s, int ch, int blockCode, int blockType, bool mixed, int transformSubbands) {
    SynthesizeChannelGeneric(s, ch, blockCode, blockType, mixed, transformSubbands);
}

bool CpuHasAvx2() { return false; }
#endif

}  // namespace

void SynthesizeGranule(float (*ring)[64], int32_t& ringPos, const float* sub, float* pcm) {
    SynthesizeGranuleKernel(ring, ringPos, sub, pcm);
}

void mp3Synthesize(SMP3Stream* s, int ch, int blockCode, int blockType, bool mixed, int transformSubbands) {
    if (!g_bForceGenericKernels && CpuHasAvx2())
        SynthesizeChannelAvx2(s, ch, blockCode, blockType, mixed, transformSubbands);
    else
        SynthesizeChannelGeneric(s, ch, blockCode, blockType, mixed, transformSubbands);
}

bool ForceGenericKernels(bool force) {
    g_bForceGenericKernels = force;
    return CpuHasAvx2();
}

void InitSynthTables() {
    const double pi = 3.14159265358979323846;
    // The stored half is the smooth prototype of the filterbank, symmetric
    // about 256; the window itself changes sign every 64 coefficients, which
    // is how the matrixing's cosines line up with it.
    for (int i = 0; i < 512; ++i) {
        const double h = kSynthWindow[i <= 256 ? i : 512 - i];
        g_aWindowD[i] = static_cast<float>(((i >> 6) & 1) ? -h : h);
    }
    for (int i = 0; i < 36; ++i) {
        const double normal = std::sin(pi / 36 * (i + 0.5));
        g_aImdctWin[0][i] = static_cast<float>(normal);
        double start = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(pi / 12 * (i + 0.5 - 18)) : 0.0;
        g_aImdctWin[1][i] = static_cast<float>(start);
        double stop = i < 6 ? 0.0 : i < 12 ? std::sin(pi / 12 * (i + 0.5 - 6)) : i < 18 ? 1.0 : normal;
        g_aImdctWin[3][i] = static_cast<float>(stop);
        g_aImdctWin[2][i] = i < 12 ? static_cast<float>(std::sin(pi / 12 * (i + 0.5))) : 0.0f;
    }
    for (int k = 0; k < 18; ++k)
        for (int n = 0; n < 20; ++n)
            g_aDct18[k][n] = n < 18 ? static_cast<float>(std::cos(pi / 18 * (n + 0.5) * (k + 0.5))) : 0.0f;
    for (int k = 0; k < 6; ++k)
        for (int n = 0; n < 8; ++n)
            g_aDct6[k][n] = n < 6 ? static_cast<float>(std::cos(pi / 6 * (n + 0.5) * (k + 0.5))) : 0.0f;
    auto lee = [&](float* dst, int n) {
        for (int k = 0; k < n / 2; ++k) dst[k] = static_cast<float>(0.5 / std::cos((2 * k + 1) * pi / (2 * n)));
    };
    lee(g_aLee32, 32);
    lee(g_aLee16, 16);
    lee(g_aLee8, 8);
    lee(g_aLee4, 4);
    lee(g_aLee2, 2);
}

}  // namespace qvn_mp3
