// Internal state of the MPEG-1 Layer III decoder, shared by its three stages:
// the stream front end (frames, side information, bit reservoir), the spectral
// decoding of a granule and the synthesis. Not for users of the decoder: they
// see qvn_MP3Decoder.h only.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "qvn_BitSource.h"
#include "qvn_MP3Decoder.h"

namespace qvn_mp3 {

constexpr int kGranuleLines = 576;
constexpr int kSubbands = 32;
constexpr int kSlots = 18;
// main_data_begin has 9 bits: a frame reaches back at most this far.
constexpr int kMaxMainDataBegin = 511;
// Room for the held tail plus one frame's main data. MPEG-1 frames need at
// most 1,441 bytes; free-format ones may be longer, and what does not fit is
// dropped rather than written past the end.
constexpr int kReservoirBytes = 8192;
// Zero bytes after the reservoir's valid data: the Huffman and scale-factor
// readers may look a few dozen bytes past a granule's end before they stop.
constexpr int kReservoirSlackBytes = 256;

// Side information of one granule of one channel.
struct SGranuleInfo {
    int32_t part2_3_length;
    int32_t big_values;
    int32_t global_gain;
    int32_t scalefac_compress;
    int32_t window_switching_flag;
    int32_t block_type;
    int32_t mixed_block_flag;
    int32_t table_select[3];
    int32_t subblock_gain[3];
    int32_t region0_count;
    int32_t region1_count;
    int32_t preflag;
    int32_t scalefac_scale;
    int32_t count1table_select;
    // 0 normal, 1 long with window switching (start or stop, mixed flag or
    // not: scale factors, regions and alias reduction are a long block's), 2
    // short, 3 mixed short.
    int32_t nBlockCode;
};

struct SSideInfo {
    int32_t main_data_begin;
    int32_t private_bits;
    int32_t scfsi[2][4];
    SGranuleInfo gr[2][2];  // [granule][channel]
};

// The main-data reader: a bounded bit reader over the reservoir.
struct SMainDataReader {
    const uint8_t* pData = nullptr;
    int32_t nBitPos = 0;
    int32_t nEndBits = 0;  // valid bits; everything after reads as zeros

    uint32_t Peek(int n) const {
        // Callers keep nBitPos within the reservoir's zero slack, so the eight
        // bytes loaded here are inside the buffer; past nEndBits they are zero.
        const uint8_t* p = pData + (nBitPos >> 3);
        uint64_t w;
        std::memcpy(&w, p, 8);
        w = __builtin_bswap64(w) << (nBitPos & 7);
        return static_cast<uint32_t>(w >> (64 - n));
    }
    uint32_t Read(int n) {
        if (n <= 0) return 0;
        uint32_t v = Peek(n);
        nBitPos += n;
        return v;
    }
};

// Per-channel scale factors, kept from granule 0 to granule 1 for scfsi.
struct SScaleFactors {
    uint8_t l[22];
    uint8_t s[13][3];
};

}  // namespace qvn_mp3

struct SMP3Stream {
    int32_t nBits = 0;
    int32_t nChannels = 0;
    int32_t nBitrate = 0;
    int32_t nSampleRate = 0;
    int32_t nFrameBytes = 0;
    int32_t nFrameIndex = 0;
    int32_t nHeaderBytes = 0;
    // Header fields of the current frame, in bitstream order.
    uint8_t ID = 0, layer = 0, protection_bit = 0, bitrate_index = 0, sampling_frequency = 0,
            padding_bit = 0, private_bit = 0, mode = 0, mode_extension = 0, copyright = 0,
            original = 0, emphasis = 0;

    SBitSource* pSource = nullptr;
    qvn_mp3::SSideInfo side{};

    // Bit reservoir: held tail of earlier frames' main data, then this frame's.
    uint8_t aReservoir[qvn_mp3::kReservoirBytes + qvn_mp3::kReservoirSlackBytes]{};
    int32_t nReservoirBytes = 0;

    // Frames skipped because their data could not be used (silence output or
    // no output), for tools that report them.
    int32_t nBadFrames = 0;
    // Header of the first frame: later candidates must agree with it in
    // sync, ID and layer before the sync search accepts them.
    uint32_t nFirstHeader = 0;
    // Channels handed to the output function: those of the first frame, so a
    // stream that changes mode mid-way keeps one output layout.
    int32_t nOutChannels = 0;
    // Byte offset of the first frame (after any leading tag or junk).
    int32_t nFirstFrameByte = 0;

    // Spectral decoding state.
    qvn_mp3::SScaleFactors sf[2]{};
    int32_t aQuant[2][qvn_mp3::kGranuleLines + 4]{};
    alignas(16) float xr[2][qvn_mp3::kGranuleLines]{};
    int32_t nDecodedLines[2]{};

    // Synthesis state: IMDCT overlap and the filterbank's history of the last
    // 16 vectors per channel.
    alignas(16) float aOverlap[2][qvn_mp3::kGranuleLines]{};
    alignas(16) float aSynthRing[2][16][64]{};
    int32_t nRingPos[2]{};
    alignas(16) float aPcm[2][qvn_mp3::kGranuleLines]{};
    // The track's file (empty for a buffer): a stream it refuses while
    // playing names it.
    std::string name;
};

namespace qvn_mp3 {

// Scale-factor band boundaries for the current sampling frequency.
struct SBandTables {
    const int16_t* pLong;   // 23 boundaries
    const int16_t* pShort;  // 14 boundaries
};
const SBandTables& BandTables(int samplingFrequency);

// Decodes granule gr of the current frame from the main data into xr (all
// channels, stereo processing and reordering included) and synthesises it.
void DecodeGranule(SMP3Stream* s, SMainDataReader& reader, int gr);
// Zero spectrum for both channels through the synthesis: a frame without
// usable data still advances the overlap and the filterbank.
void DecodeSilentGranule(SMP3Stream* s);
// IMDCT, overlap, frequency inversion and the polyphase filterbank for one
// channel of the granule in s->xr, into s->aPcm[ch]. mixed is the granule's
// mixed_block_flag: subbands 0 and 1 then use the normal window, also in a
// start or stop block (block code 1).
void mp3Synthesize(SMP3Stream* s, int ch, int blockCode, int blockType, bool mixed, int transformSubbands);
// Hands the granule to the output function.
void EmitGranule(SMP3Stream* s);
// The optional per-granule spectrum hook (null when unset).
mp3GranuleHookFn GranuleHook();

// Generated tables of the spectral stage and of the synthesis.
void InitLayer3Tables();
void InitSynthTables();
bool TablesReady();

// The polyphase filterbank alone (exposed for tests): 32 subband samples of
// one time slot in, 32 PCM samples out, advancing the channel's history.
void SynthesizeSlot(float (*ring)[64], int32_t& ringPos, const float* subbandSamples, float* pcm);
// The whole granule of one channel: sub holds [32 subbands][18 slots] (and
// four readable floats after them), pcm receives 576 samples. Same result as
// 18 calls of SynthesizeSlot.
void SynthesizeGranule(float (*ring)[64], int32_t& ringPos, const float* sub, float* pcm);
// Tests: true forces the SSE2 synthesis even where AVX2 exists; returns
// whether the processor has AVX2.
bool ForceGenericKernels(bool force);
// The filterbank window D[0..511].
const float* SynthWindow();

// A Huffman code table as stored (entries sorted by left-aligned code, with
// length and value in the low bits; 16-byte prefix index). Tables 0..31 are
// the pair tables, 32 and 33 the count1 tables A and B; table 0 has none.
struct SHuffTableView {
    const uint32_t* pEntries;
    const uint8_t* pIndex;
    int nEntries;
    int nLinbits;
};
SHuffTableView HuffTable(int table);
// Decodes one code of the table at the reader (the decoder's own path).
int DecodeHuffmanCode(SMainDataReader& reader, int table);

// The 32-point DCT-II the filterbank is built on: out[i] = sum in[k] cos(i (2k+1) pi / 64).
void Dct32(const float* in, float* out);

}  // namespace qvn_mp3
