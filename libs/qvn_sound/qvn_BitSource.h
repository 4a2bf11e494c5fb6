// In-memory bit reader shared by the MP3 and JPEG decoders (link target
// `qvn_bitsource`).
//
// The whole file is held in one buffer followed by kSpareBytes zero bytes, and
// bits are served most significant first from a 32-bit big-endian window of the
// four bytes at the read pointer. The reader is bounded: reads past the data
// return zero bits and set `bOverrun`, and the position never moves so far that
// the window (or the one look-ahead byte of peekBits) would leave the buffer,
// however many bits a caller asks for. Decoders check `bOverrun` / AtEnd() at
// their stage boundaries instead of testing every read.
//
// Invariants (callers that drive the window directly must keep them):
//   pRead   == pBuffer + (nBitPos >> 3)
//   nWindow == big-endian pRead[0..3]
//   nBitPos <= MaxBitPos()
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SBitSource {
    // Zero bytes after the data: they keep the window inside the buffer and
    // make every read past the data come back as zeros.
    static constexpr int kSpareBytes = 2048;
    // Largest file accepted: bit positions are int32.
    static constexpr int32_t kMaxDataBytes = (INT32_MAX / 8) - kSpareBytes;

    // Load statuses.
    enum { kLoadOk = 0, kLoadNoMemory = 2, kLoadReadFailed = 3 };

    int32_t nBitPos = 0;             // bits consumed since the start of the data
    const uint8_t* pRead = nullptr;  // the byte that holds the next bit
    uint8_t* pBuffer = nullptr;      // data followed by kSpareBytes zero bytes
    uint32_t nWindow = 0;            // the four bytes at pRead, first in the top bits
    int32_t nDataBytes = 0;
    int32_t nDataBits = 0;
    FILE* pFile = nullptr;           // only between Open and Load
    int32_t nFileBytes = 0;
    int32_t nSavedBitPos = 0;        // SavePosition / RestorePosition
    bool bOverrun = false;           // a read went past the data (sticky)

    // Opens a file and learns its size; the data is read by Load. Null when the
    // file cannot be opened or is too large.
    static SBitSource* Open(const char* fileName);
    // Open + Load in one call; null on any failure (nothing is leaked).
    static SBitSource* OpenAndLoad(const char* fileName);
    // Copies size bytes from memory (data may be null when size is 0); null
    // when the size is out of range or memory runs out.
    static SBitSource* OpenMemory(const void* data, size_t size);
    // Frees the buffer, closes a still open file, deletes the source. Null is fine.
    static void Free(SBitSource* source);

    // Reads the whole opened file into memory and closes it; kLoadOk or an error.
    int Load();
    // Makes this the active source (g_pActiveBitSource). The state lives in the
    // source itself, so nothing has to be copied back and forth.
    void Activate();
    void SavePosition() { nSavedBitPos = nBitPos; }
    void RestorePosition() { SeekBit(nSavedBitPos); }
    // Moves to an absolute bit position (clamped to [0, MaxBitPos()]).
    void SeekBit(int64_t bitPos);
    void Rewind() { SeekBit(0); }

    // n = 0..32 bits, most significant first; n = 0 returns 0.
    uint32_t readBits(int n) {
        if (n <= 0) return 0;
        uint32_t v = peekBits(n);
        SkipBits(n);
        return v;
    }
    uint32_t readBit() { return readBits(1); }
    // Rounds up to the next byte boundary, then reads 8 bits.
    uint32_t readByte() {
        AlignToByte();
        return readBits(8);
    }
    // Rounds up to the next byte boundary, then reads a 16-bit big-endian value.
    // (Byte alignment, not 16-bit: a marker or CRC word may start at any byte.)
    uint32_t read16() {
        AlignToByte();
        return readBits(16);
    }
    // n = 0..32 bits without consuming them.
    uint32_t peekBits(int n) const {
        if (n <= 0) return 0;
        if (n > 32) n = 32;
        // 40 bits: the window and the byte after it, so any n <= 32 is exact.
        uint64_t w = (static_cast<uint64_t>(nWindow) << 8) | pRead[4];
        w <<= 24 + (nBitPos & 7);
        return static_cast<uint32_t>(w >> (64 - n));
    }
    // Byte-aligned copy of n bytes; bytes past the data are zeros. Returns the
    // number of bytes that came from the data.
    int readBytes(void* dst, int n);

    // Consumes n >= 0 bits.
    void SkipBits(int64_t n) { SeekBit(static_cast<int64_t>(nBitPos) + n); }
    void AlignToByte() { SkipBits((8 - (nBitPos & 7)) & 7); }

    // True once every bit of the data has been consumed.
    bool AtEnd() const { return nBitPos >= nDataBits; }
    int32_t BitsLeft() const { return nBitPos < nDataBits ? nDataBits - nBitPos : 0; }
    int32_t BytePos() const { return nBitPos >> 3; }
    // The furthest position the reader ever goes: the window and the look-ahead
    // byte still lie inside the spare bytes.
    int32_t MaxBitPos() const { return (nDataBytes + kSpareBytes - 8) * 8; }

private:
    void Prime();  // reloads pRead and nWindow from nBitPos
};

// The source the decoders read from (the one activated last).
extern SBitSource* g_pActiveBitSource;
