// The stream front end: the file in memory, frame headers and the sync
// search, Layer III side information, the bit reservoir, and the per-frame
// driver of the spectral and synthesis stages.
#include <cstring>
#include <new>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Internal.h"

using namespace qvn_mp3;

namespace {

// kbit/s by [ID][layer field][bitrate_index]; layer field 1 = Layer III,
// 2 = Layer II, 3 = Layer I. Index 0 is free format, 15 is forbidden.
const int16_t kBitrates[2][4][16] = {
    {// ID 0: MPEG-2 / 2.5 (only used to confirm a sync candidate)
     {0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0}},
    {// ID 1: MPEG-1
     {0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}};

const int32_t kSampleRates[2][4] = {{22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

// Header fields of a 32-bit header word.
inline int HSync(uint32_t h) { return static_cast<int>(h >> 20); }
inline int HId(uint32_t h) { return (h >> 19) & 1; }
inline int HLayer(uint32_t h) { return (h >> 17) & 3; }
inline int HBitrate(uint32_t h) { return (h >> 12) & 15; }
inline int HRate(uint32_t h) { return (h >> 10) & 3; }
inline int HPadding(uint32_t h) { return (h >> 9) & 1; }

// Sync, ID, layer: what every frame of one stream shares.
constexpr uint32_t kStreamMask = 0xFFFE0000u;
// ... plus sampling frequency and free-format bitrate index: what the next
// frame of a free-format stream shares with this one.
constexpr uint32_t kFreeFormatMask = 0xFFFEFC00u;

mp3OutputFn g_mp3Output = nullptr;
mp3GranuleHookFn g_mp3GranuleHook = nullptr;

uint32_t HeaderAt(const SBitSource* src, int32_t pos) {
    if (pos < 0 || pos > src->nDataBytes - 4) return 0;
    const uint8_t* p = src->pBuffer + pos;
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// A header whose every field has a meaning. 0xFFE is the extended sync of the
// low-rate extension, which always has ID 0.
bool HeaderValid(uint32_t h) {
    const int sync = HSync(h);
    if (sync != 0xFFF && !(sync == 0xFFE && HId(h) == 0)) return false;
    return HLayer(h) != 0 && HBitrate(h) != 15 && HRate(h) != 3;
}

// Frame length in bytes with padding; 0 for free format.
int FrameLength(uint32_t h) {
    const int id = HId(h), layer = HLayer(h);
    const int kbps = kBitrates[id][layer][HBitrate(h)];
    int rate = kSampleRates[id][HRate(h)];
    if (HSync(h) == 0xFFE) rate /= 2;
    if (kbps == 0 || rate == 0) return 0;
    if (layer == 3) return (12000 * kbps / rate + HPadding(h)) * 4;
    // Layer III of the low-rate extension has half as many samples per frame.
    const int factor = (layer == 1 && id == 0) ? 72000 : 144000;
    return factor * kbps / rate + HPadding(h);
}

bool LooksLikeTag(const SBitSource* src, int32_t pos) {
    if (pos < 0 || pos > src->nDataBytes - 3) return false;
    const uint8_t* p = src->pBuffer + pos;
    return std::memcmp(p, "TAG", 3) == 0 || std::memcmp(p, "APE", 3) == 0 || std::memcmp(p, "LYR", 3) == 0 ||
           std::memcmp(p, "ID3", 3) == 0;
}

// Byte offset of the next header after pos that matches h under mask, or -1.
int32_t FindNextLike(const SBitSource* src, int32_t from, int32_t limit, uint32_t h, uint32_t mask) {
    if (limit > src->nDataBytes - 4) limit = src->nDataBytes - 4;
    for (int32_t p = from; p <= limit; ++p) {
        if (src->pBuffer[p] != 0xFF) continue;
        const uint32_t c = HeaderAt(src, p);
        if ((c & mask) == (h & mask) && HeaderValid(c)) return p;
    }
    return -1;
}

// Length of the frame at pos: from the header, or for free format the
// distance to the next matching sync (the rest of the data for the last one).
int32_t FrameLengthAt(const SBitSource* src, int32_t pos, uint32_t h) {
    const int len = FrameLength(h);
    if (len > 0) return len;
    // The smallest sensible free-format frame is well above the header.
    const int32_t next = FindNextLike(src, pos + 24, pos + kReservoirBytes, h, kFreeFormatMask);
    if (next > 0) return next - pos;
    return src->nDataBytes - pos;
}

// A sync candidate found by searching is believed when the frame after it
// starts where its length says (or the data or a tag starts there). Junk and
// cover art are full of 0xFFF patterns; two in a row at the right distance
// are not an accident.
bool Confirmed(const SBitSource* src, int32_t pos, uint32_t h) {
    const int len = FrameLength(h);
    if (len > 0) {
        const int32_t next = pos + len;
        // Nothing follows to vouch for it: the frame must at least fit.
        if (next > src->nDataBytes - 4) return HId(h) == 1 && next <= src->nDataBytes;
        const uint32_t n = HeaderAt(src, next);
        if ((n & kStreamMask) == (h & kStreamMask) && HeaderValid(n)) return true;
        return HId(h) == 1 && LooksLikeTag(src, next);
    }
    // Free format: only a second frame of the same kind can vouch for it.
    return FindNextLike(src, pos + 24, pos + kReservoirBytes, h, kFreeFormatMask) > 0;
}

// Finds the frame at or after byte pos. A header right at pos is taken as it
// is (that is where the previous frame ended); one found by searching must be
// confirmed. With a known first header, candidates must also share its sync,
// ID and layer. Returns the byte offset or -1; the search stops at the end of
// the data.
int32_t FindFrame(const SBitSource* src, int32_t pos, uint32_t first) {
    if (pos < 0) pos = 0;
    for (int32_t p = pos; p <= src->nDataBytes - 4; ++p) {
        if (src->pBuffer[p] != 0xFF) continue;
        const uint32_t h = HeaderAt(src, p);
        if (!HeaderValid(h)) continue;
        if (first && (h & kStreamMask) != (first & kStreamMask)) continue;
        if (p == pos || Confirmed(src, p, h)) return p;
    }
    return -1;
}

// Size of a leading ID3v2 tag, so cover art inside it is never searched.
int32_t Id3v2Bytes(const SBitSource* src) {
    if (src->nDataBytes < 10 || std::memcmp(src->pBuffer, "ID3", 3) != 0) return 0;
    const uint8_t* p = src->pBuffer;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
    int32_t size = (p[6] << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
    size += 10;
    if (p[5] & 0x10) size += 10;  // footer
    return size <= src->nDataBytes ? size : 0;
}

// Reads the header at the source's (byte-aligned) position into the stream.
void ParseHeader(SMP3Stream* s) {
    SBitSource* src = s->pSource;
    src->SkipBits(12);
    const uint32_t v = src->readBits(20);
    s->ID = (v >> 19) & 1;
    s->layer = (v >> 17) & 3;
    s->protection_bit = (v >> 16) & 1;
    s->bitrate_index = (v >> 12) & 15;
    s->sampling_frequency = (v >> 10) & 3;
    s->padding_bit = (v >> 9) & 1;
    s->private_bit = (v >> 8) & 1;
    s->mode = (v >> 6) & 3;
    s->mode_extension = (v >> 4) & 3;
    s->copyright = (v >> 3) & 1;
    s->original = (v >> 2) & 1;
    s->emphasis = v & 3;
    if (s->mode == 0) s->mode_extension = 0;
    // The CRC word is skipped, not checked.
    if (s->protection_bit == 0) src->SkipBits(16);
}

void ParseSideInfo(SMP3Stream* s) {
    SBitSource* src = s->pSource;
    s->nChannels = s->mode == 3 ? 1 : 2;
    const int sideBytes = s->nChannels == 1 ? 17 : 32;
    s->nHeaderBytes = sideBytes + 4 + (s->protection_bit == 0 ? 2 : 0);
    SSideInfo& si = s->side;
    si.main_data_begin = src->readBits(9);
    si.private_bits = src->readBits(s->nChannels == 1 ? 5 : 3);
    for (int ch = 0; ch < s->nChannels; ++ch)
        for (int b = 0; b < 4; ++b) si.scfsi[ch][b] = src->readBits(1);
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < s->nChannels; ++ch) {
            SGranuleInfo& g = si.gr[gr][ch];
            g.part2_3_length = src->readBits(12);
            g.big_values = src->readBits(9);
            // Lines come in pairs: more than 288 pairs would run past 576.
            if (g.big_values > 288) g.big_values = 288;
            g.global_gain = src->readBits(8);
            g.scalefac_compress = src->readBits(4);
            g.window_switching_flag = src->readBits(1);
            if (g.window_switching_flag) {
                g.block_type = src->readBits(2);
                g.mixed_block_flag = src->readBits(1);
                g.table_select[0] = src->readBits(5);
                g.table_select[1] = src->readBits(5);
                g.table_select[2] = 0;
                for (int w = 0; w < 3; ++w) g.subblock_gain[w] = src->readBits(3);
                // Implicit region boundaries with window switching.
                g.region0_count = (g.block_type == 2 && !g.mixed_block_flag) ? 8 : 7;
                g.region1_count = 20 - g.region0_count;
            } else {
                g.block_type = 0;
                g.mixed_block_flag = 0;
                for (int r = 0; r < 3; ++r) g.table_select[r] = src->readBits(5);
                for (int w = 0; w < 3; ++w) g.subblock_gain[w] = 0;
                g.region0_count = src->readBits(4);
                g.region1_count = src->readBits(3);
            }
            g.preflag = src->readBits(1);
            g.scalefac_scale = src->readBits(1);
            g.count1table_select = src->readBits(1);
            // Block type 0 with window switching is forbidden; it is decoded
            // as a plain long block rather than indexing windows out of range.
            if (!g.window_switching_flag || g.block_type == 0)
                g.nBlockCode = 0;
            else if (g.block_type != 2)
                g.nBlockCode = 1;
            else
                g.nBlockCode = g.mixed_block_flag ? 3 : 2;
            if (g.window_switching_flag && g.block_type == 0) g.window_switching_flag = 0;
        }
    }
    s->nBitrate = kBitrates[1][s->layer][s->bitrate_index];
    s->nSampleRate = kSampleRates[1][s->sampling_frequency];
    s->nFrameBytes = s->nSampleRate ? 144000 * s->nBitrate / s->nSampleRate : 0;
}

// Locates, parses and consumes the next frame's header and side information,
// and moves its main data into the reservoir. Returns false at the end of the
// data. On success *mainDataOk says whether main_data_begin reached only
// bytes the reservoir holds, and *reader is set up on the frame's main data.
bool ReadFrame(SMP3Stream* s, bool* mainDataOk, SMainDataReader* reader) {
    SBitSource* src = s->pSource;
    src->AlignToByte();
    const int32_t pos = FindFrame(src, src->BytePos(), s->nFirstHeader);
    if (pos < 0) {
        src->SeekBit(static_cast<int64_t>(src->nDataBytes) * 8);
        return false;
    }
    const uint32_t h = HeaderAt(src, pos);
    const int32_t frameLen = FrameLengthAt(src, pos, h);
    src->SeekBit(static_cast<int64_t>(pos) * 8);
    ParseHeader(s);
    if (s->ID != 1) FatalError("MPEG2.0 unsupported");
    if (s->layer != 1) FatalError("layer2 unsupported");
    ParseSideInfo(s);
    ++s->nFrameIndex;

    // Keep the tail the next main_data_begin may reach, then append.
    int32_t keep = s->nReservoirBytes < kMaxMainDataBegin ? s->nReservoirBytes : kMaxMainDataBegin;
    if (keep > 0 && keep < s->nReservoirBytes)
        std::memmove(s->aReservoir, s->aReservoir + s->nReservoirBytes - keep, keep);
    int32_t mainBytes = frameLen - s->nHeaderBytes;
    if (mainBytes < 0) mainBytes = 0;
    if (mainBytes > kReservoirBytes - keep) mainBytes = kReservoirBytes - keep;
    src->readBytes(s->aReservoir + keep, mainBytes);
    // Whatever the main data claims, the next frame starts where this one ends.
    src->SeekBit(static_cast<int64_t>(pos + frameLen) * 8);
    s->nReservoirBytes = keep + mainBytes;
    std::memset(s->aReservoir + s->nReservoirBytes, 0, kReservoirSlackBytes);

    const int32_t begin = s->side.main_data_begin;
    *mainDataOk = begin <= keep;
    reader->pData = s->aReservoir + keep - (*mainDataOk ? begin : 0);
    reader->nBitPos = 0;
    reader->nEndBits = ((*mainDataOk ? begin : 0) + mainBytes) * 8;
    src->SavePosition();
    return true;
}

void InitStream(SMP3Stream* s) {
    s->nFrameIndex = 0;
    s->nReservoirBytes = 0;
    // A new stream starts from silence, not from the tail of the previous one.
    std::memset(s->aOverlap, 0, sizeof(s->aOverlap));
    std::memset(s->aSynthRing, 0, sizeof(s->aSynthRing));
    s->nRingPos[0] = s->nRingPos[1] = 0;
}

// The name log lines give a stream opened on a buffer.
const char kMemoryName[] = "memory";

// why null: the engine's behaviour (log line, FatalError for MPEG-2, Layer
// I/II left to the first decoded frame). why set: refusals are returned.
SMP3Stream* OpenSource(SBitSource* src, const char* name, EMp3Refusal* why) {
    if (why) *why = kMp3Accepted;
    if (!src) {
        if (why) *why = kMp3CannotRead;
        return nullptr;
    }
    if (!TablesReady()) mp3InitTables();
    SMP3Stream* s = new (std::nothrow) SMP3Stream;
    if (!s) {
        SBitSource::Free(src);
        if (why)
            *why = kMp3CannotRead;
        else
            LogMessage("mp3Open() : Not enough memory.\n");
        return nullptr;
    }
    s->pSource = src;
    const bool fromFile = name && name != kMemoryName;
    s->name = fromFile ? name : "";
    // Not the stream's copy: a refusal below frees the stream first.
    const qvn_cFatalFile fatalFile(fromFile ? name : nullptr);
    InitStream(s);
    src->Activate();
    int32_t start = Id3v2Bytes(src);
    int32_t pos = FindFrame(src, start, 0);
    if (pos >= 0 && start > 0 && pos != start) {
        // Junk between the tag and the audio is fine; but make sure the tag
        // size did not make us jump over the real first frame.
        const int32_t early = FindFrame(src, 0, 0);
        if (early >= 0 && early < start) pos = early;
    }
    // The search accepts a header right at its start position unconfirmed;
    // at open nothing vouches for it yet, so confirm it too.
    while (pos >= 0 && !Confirmed(src, pos, HeaderAt(src, pos))) pos = FindFrame(src, pos + 1, 0);
    if (pos < 0) {
        if (why)
            *why = kMp3NoAudioFrame;
        else
            LogMessage("mp3Open() : No MPEG audio frame in %s.\n", name);
        mp3Close(s);
        return nullptr;
    }
    const uint32_t h = HeaderAt(src, pos);
    if (why && (HId(h) != 1 || HLayer(h) != 1)) {
        // Layer field: 1 = Layer III, 2 = Layer II, 3 = Layer I.
        *why = HId(h) != 1 ? kMp3Mpeg2 : HLayer(h) == 2 ? kMp3LayerII : kMp3LayerI;
        mp3Close(s);
        return nullptr;
    }
    if (HId(h) != 1) {
        mp3Close(s);
        FatalError("MPEG2.0 unsupported");
    }
    s->nFirstHeader = h;
    s->nFirstFrameByte = pos;
    src->SeekBit(static_cast<int64_t>(pos) * 8);
    ParseHeader(s);
    if (s->layer == 1) {
        ParseSideInfo(s);
    } else {
        s->nChannels = s->mode == 3 ? 1 : 2;
        s->nBitrate = kBitrates[1][s->layer][s->bitrate_index];
        s->nSampleRate = kSampleRates[1][s->sampling_frequency];
        s->nFrameBytes = FrameLength(h);
    }
    s->nOutChannels = s->nChannels;
    s->nFrameIndex = 0;
    src->SeekBit(static_cast<int64_t>(pos) * 8);
    src->bOverrun = false;
    src->SavePosition();
    return s;
}

}  // namespace

void mp3SetOutput(mp3OutputFn output) { g_mp3Output = output; }
void mp3SetGranuleHook(mp3GranuleHookFn hook) { g_mp3GranuleHook = hook; }

void mp3InitTables() {
    InitLayer3Tables();
    InitSynthTables();
}

SMP3Stream* mp3Open(const char* fileName) {
    if (!fileName) return nullptr;
    return OpenSource(SBitSource::OpenAndLoad(fileName), fileName, nullptr);
}

SMP3Stream* mp3OpenMemory(const void* data, size_t size) {
    return OpenSource(SBitSource::OpenMemory(data, size), kMemoryName, nullptr);
}

SMP3Stream* mp3OpenChecked(const char* fileName, EMp3Refusal* why) {
    EMp3Refusal dummy;
    if (!why) why = &dummy;
    if (!fileName) {
        *why = kMp3CannotRead;
        return nullptr;
    }
    return OpenSource(SBitSource::OpenAndLoad(fileName), fileName, why);
}

void mp3Close(SMP3Stream* s) {
    if (!s) return;
    SBitSource::Free(s->pSource);
    delete s;
}

int mp3DecodeFrame(SMP3Stream* s) {
    if (!s || !s->pSource) return -1;
    SBitSource* src = s->pSource;
    if (src->BytePos() >= src->nDataBytes) return -1;
    src->Activate();
    const qvn_cFatalFile fatalFile(s->name.empty() ? nullptr : s->name.c_str());
    bool ok = false;
    SMainDataReader reader;
    if (!ReadFrame(s, &ok, &reader)) return -1;
    if (!ok) ++s->nBadFrames;
    for (int gr = 0; gr < 2; ++gr) {
        if (ok)
            DecodeGranule(s, reader, gr);
        else
            DecodeSilentGranule(s);
        EmitGranule(s);
    }
    return 1152;
}

int mp3SkipFrames(SMP3Stream* s, int n) {
    if (!s || !s->pSource || n < 1) return 0;
    SBitSource* src = s->pSource;
    src->Activate();
    const qvn_cFatalFile fatalFile(s->name.empty() ? nullptr : s->name.c_str());
    int skipped = 0;
    while (skipped < n && src->BytePos() < src->nDataBytes) {
        bool ok = false;
        SMainDataReader reader;
        if (!ReadFrame(s, &ok, &reader)) break;
        ++skipped;
    }
    return skipped;
}

int mp3GetFrameIndex(const SMP3Stream* s) { return s ? s->nFrameIndex : -1; }
int mp3GetSampleRate(const SMP3Stream* s) { return s ? s->nSampleRate : 0; }
int mp3GetChannels(const SMP3Stream* s) { return s ? s->nOutChannels : 0; }
int mp3GetBitrate(const SMP3Stream* s) { return s ? s->nBitrate : 0; }
int mp3GetBadFrames(const SMP3Stream* s) { return s ? s->nBadFrames : 0; }

namespace qvn_mp3 {

void EmitGranule(SMP3Stream* s) {
    if (!g_mp3Output) return;
    // A mono frame inside a stereo stream plays on both channels.
    if (s->nOutChannels == 2 && s->nChannels == 1)
        std::memcpy(s->aPcm[1], s->aPcm[0], sizeof(s->aPcm[1]));
    g_mp3Output(kGranuleLines, s->aPcm[0], s->nOutChannels == 2 ? s->aPcm[1] : nullptr);
}

// Exposed to the spectral stage through this accessor rather than a global.
mp3GranuleHookFn GranuleHook() { return g_mp3GranuleHook; }

}  // namespace qvn_mp3
