// The engine's own baseline JPEG decoder: sequential 8-bit (and 12-bit)
// Huffman-coded DCT frames, a single-precision inverse DCT, replicating chroma
// upsampling and YCbCr to RGB in 14-bit fixed point, written straight into a
// caller-chosen pixel format.
//
// The decoder needs no bitmap: tools, tests and fuzz targets call it directly,
// and qvn_cBitmap::loadJPG is a thin layer over it.
#pragma once

#include <cstddef>
#include <cstdint>

// Output pixel format codes; the high nibble is the number of bytes per pixel.
// Any code below 0x1000 asks for one grey byte (R + G + B) / 3 per pixel.
enum : int32_t {
    QVN_JPEG_RGB332 = 0x1332,  // (R & 0xE0) | ((G >> 5) << 2) | (B >> 6)
    QVN_JPEG_555 = 0x2555,     // 0RRRRRGGGGGBBBBB
    QVN_JPEG_565 = 0x2565,     // RRRRRGGGGGGBBBBB
    QVN_JPEG_BGR24 = 0x3888,   // bytes B, G, R (the default)
    QVN_JPEG_555_32 = 0x4555,  // 5-5-5 in the low half of a 32-bit word
    QVN_JPEG_565_32 = 0x4565,  // 5-6-5 in the low half of a 32-bit word
    QVN_JPEG_777 = 0x4777,     // (R >> 1) << 16 | (G >> 1) << 8 | (B >> 1)
    QVN_JPEG_RGB32 = 0x4888,   // 0x00RRGGBB
};

// A decoded picture. A frame of one component always comes out as one grey byte
// per pixel, whatever format was asked for (nBytesPerPixel says which).
struct SJpegImage {
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nFormat = 0;         // the code asked for
    int32_t nBytesPerPixel = 0;  // of pPixels; rows are nWidth * nBytesPerPixel bytes apart
    int32_t nBytes = 0;          // size of pPixels
    int32_t nComponents = 0;
    uint8_t* pPixels = nullptr;  // new[]; freed by qvn_JpegFree
};

// What the decoder learnt about a file, filled as far as it got (also when it
// refuses the file), so a tool can say what it saw and why it stopped.
struct SJpegInfo {
    int32_t nWidth = 0, nHeight = 0;
    int32_t nPrecision = 0;  // sample bits: 8 or 12
    int32_t nComponents = 0;
    int32_t nH[4] = {}, nV[4] = {};  // sampling factors in frame order
    int32_t nRestartInterval = 0;    // MCUs between restart markers, 0 when none
    int32_t nScans = 0;              // scans decoded
    bool bTruncated = false;         // the data ended (or broke) before the last MCU
    bool bMissingEoi = false;        // the file ended without an end-of-image marker
    char szReason[160] = {};         // why a null result was returned
};

// Huffman table in the canonical form of T.81 (BITS / HUFFVAL, MAXCODE,
// MINCODE, VALPTR) plus a lookup table on the next kLookupBits bits. The lookup
// answers every code of up to kLookupBits bits in one step; longer codes fall
// back to the MAXCODE walk from length kLookupBits + 1 on, which gives the same
// symbol and length as the bit-by-bit walk would (the codes are prefix-free and
// canonical, checked when the table is built).
struct SJpegHuffTable {
    static constexpr int kLookupBits = 10;
    uint8_t nBits[17] = {};     // nBits[l]: number of codes of length l (1..16)
    uint8_t nHuffVal[256] = {};
    int32_t nCount = 0;         // sum of nBits
    int32_t nMaxCode[18] = {};  // largest code of each length, -1 when none
    int32_t nMinCode[17] = {};
    int32_t nValPtr[17] = {};   // HUFFVAL index of the code nMinCode[l]
    uint16_t nLookup[1 << kLookupBits] = {};  // (length << 8) | symbol; 0: longer code
    // AC shortcut: when an AC code and its magnitude bits both fit in the
    // next kLookupBits bits, the run, the coefficient value and the bits they
    // take together (0: not available, use the symbol path).
    struct SFastAc {
        int16_t nValue;
        uint8_t nRun;
        uint8_t nBits;
    };
    SFastAc nFastAc[1 << kLookupBits] = {};
};

// Fills t from the 16 counts (bits[1..16]; bits[0] unused) and the symbols.
// False when the counts exceed 256 codes or overflow the code space of their
// length (such a table could send a decoder outside its arrays).
bool qvn_JpegBuildHuffTable(const uint8_t bits[17], const uint8_t* huffVal, SJpegHuffTable* t);

// Entropy-coded data reader: bits most significant first from a 64-bit
// accumulator. A stuffed 0xFF 0x00 pair gives one 0xFF byte. At a marker (0xFF
// followed by anything else) or at the end of the data the reader stops where
// it is and feeds zero bits, counting them, so a decoder can tell that it ran
// out of real data (Overrun) and the marker is still there to be found.
struct SJpegBitReader {
    const uint8_t* pNext = nullptr;  // next byte to load
    const uint8_t* pEnd = nullptr;   // end of the data
    uint64_t nAcc = 0;               // next bits in the top of the word
    int32_t nBits = 0;               // valid bits in nAcc
    int32_t nZeroBits = 0;           // how many of the last loaded bits are padding
    bool bStopped = false;           // a marker or the end of data was met

    void Init(const uint8_t* p, const uint8_t* end) {
        pNext = p;
        pEnd = end;
        nAcc = 0;
        nBits = 0;
        nZeroBits = 0;
        bStopped = false;
    }
    // Tops the accumulator up to at least 57 bits.
    void Fill() {
        while (nBits <= 56) {
            uint32_t b = 0;
            if (!bStopped) {
                if (pNext < pEnd) {
                    b = *pNext;
                    if (b != 0xFF) {
                        ++pNext;
                    } else if (pNext + 1 < pEnd && pNext[1] == 0) {
                        pNext += 2;
                    } else {
                        bStopped = true;
                        b = 0;
                    }
                } else {
                    bStopped = true;
                }
            }
            if (bStopped) nZeroBits += 8;
            nAcc |= static_cast<uint64_t>(b) << (56 - nBits);
            nBits += 8;
        }
    }
    // n = 1..32; the caller has made sure nBits >= n.
    uint32_t Peek(int n) const { return static_cast<uint32_t>(nAcc >> (64 - n)); }
    void Skip(int n) {
        nAcc <<= n;
        nBits -= n;
    }
    uint32_t ReadBit() {
        if (nBits < 1) Fill();
        uint32_t v = Peek(1);
        Skip(1);
        return v;
    }
    // True once a padding bit has been consumed: the data ran out.
    bool Overrun() const { return nBits < nZeroBits; }
};

// Decodes one Huffman symbol: 0..255, or -1 for a bit string that is no code.
// The reader must hold at least 16 bits. A replacement (tests keep the
// bit-by-bit walk of T.81 as a reference) must consume bits the same way.
using qvn_JpegSymbolDecoder = int (*)(SJpegBitReader& reader, const SJpegHuffTable& table);
int qvn_JpegDecodeSymbol(SJpegBitReader& reader, const SJpegHuffTable& table);

struct SJpegOptions {
    // Frames of more pixels are refused (so width x height x 4 can never
    // overflow, and a hostile header cannot ask for gigabytes).
    int64_t nMaxPixels = int64_t(1) << 26;
    // Null: the lookup-table decoder above.
    qvn_JpegSymbolDecoder pfnDecodeSymbol = nullptr;
};

// Decodes a JPEG file held in memory (or read from a path) into the output
// format. Null on failure, with info->szReason saying why. Progressive,
// arithmetic-coded and hierarchical files and DNL end the program through
// FatalError, as does an inconsistent frame geometry.
SJpegImage* qvn_JpegDecodeMemory(const void* data, size_t size, int32_t format, SJpegInfo* info = nullptr,
                                 const SJpegOptions* options = nullptr);
SJpegImage* qvn_JpegDecode(const char* fileName, int32_t format, SJpegInfo* info = nullptr,
                           const SJpegOptions* options = nullptr);
void qvn_JpegFree(SJpegImage* image);
