// Parsing cores of the BMP and TGA readers: they work on a file already in
// memory and never read outside it, so the bitmap loaders, tools and fuzz
// targets share them.
#pragma once

#include <cstddef>
#include <cstdint>

enum class qvn_eBmpStatus {
    Ok,
    NotBmp,              // no "BM" signature
    Damaged,             // header, palette or pixels outside the file, or impossible values
    UndefinedDepth,      // bit count other than 1, 4, 8, 16 or 24
    Rle8,                // compression 1
    Rle4,                // compression 2
    UnknownCompression,  // any other non-zero compression
    TooLarge,            // more pixels than the reader accepts
    NoMemory,
};

struct SBmpImage {
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nBitCount = 0;
    bool bTopDown = false;
    uint32_t* pPixels = nullptr;  // nWidth * nHeight pixels 0x00RRGGBB, top row first; new[]
    const char* pszProblem = nullptr;  // what was wrong, for Damaged
    // Where the pixels are, as qvn_ParseBmp found them.
    size_t nPixelOffset = 0;
    size_t nRowBytes = 0;
    uint32_t nPalette[256] = {};
};

// Frames of more pixels are refused by the readers.
constexpr int64_t kQvnMaxPicturePixels = int64_t(1) << 26;

// Reads a BMP file: 12-byte and 40-byte (or longer, of which the first 40 are
// used) information headers, 1/4/8-bit palette images, 16-bit 5-5-5 and 24-bit
// images, bottom-up or top-down (negative height). On Ok the caller owns
// image->pPixels. The width and height are known (and set) from the
// UndefinedDepth check on, so the loader can report them.
qvn_eBmpStatus qvn_ReadBmp(const uint8_t* data, size_t size, SBmpImage* image,
                           int64_t maxPixels = kQvnMaxPicturePixels);

// The same in two steps, for a caller that owns the destination: the parse
// checks everything (the pixels are in the file) and allocates nothing; the
// decode then writes nWidth * nHeight pixels to dst. A 1-bit file decodes to
// 32 times its size, so the picture is not built twice.
qvn_eBmpStatus qvn_ParseBmp(const uint8_t* data, size_t size, SBmpImage* image,
                            int64_t maxPixels = kQvnMaxPicturePixels);
void qvn_DecodeBmp(const uint8_t* data, const SBmpImage& image, uint32_t* dst);

enum class qvn_ePcxStatus {
    Ok,
    NotPcx,       // first byte not 0x0A
    Unsupported,  // not version 5, run-length coded, 8-bit paletted or 24-bit
    Damaged,      // impossible sizes, data or palette missing
    TooLarge,     // more pixels than the reader accepts
    NoMemory,
};

struct SPcxImage {
    int32_t nWidth = 0;
    int32_t nHeight = 0;
    int32_t nPlanes = 0;        // 1: paletted, 3: red, green and blue planes
    int32_t nBytesPerLine = 0;  // per plane, at least nWidth
    const char* pszProblem = nullptr;  // what was wrong, for Unsupported and Damaged
    uint32_t nPalette[256] = {};       // 0x00RRGGBB, paletted pictures
};

// ZSoft PCX version 5 as common tools write it: run-length coded, 8 bits per
// plane, one plane with the 256-colour palette at the end of the file, or
// three planes of red, green and blue. The parse checks the header and that
// the file holds enough coded data for the picture (a run byte pair gives at
// most 63 bytes), allocating nothing; the decode writes nWidth * nHeight
// pixels 0x00RRGGBB, top row first, and is false when the coded data runs out.
qvn_ePcxStatus qvn_ParsePcx(const uint8_t* data, size_t size, SPcxImage* image,
                            int64_t maxPixels = kQvnMaxPicturePixels);
bool qvn_DecodePcx(const uint8_t* data, size_t size, const SPcxImage& image, uint32_t* dst);

// The 256 x 256 16-bit TGA texture: 18 header bytes (not interpreted), then
// 65,536 pixels of 1-5-5-5 stored bottom-up.
constexpr int kQvnMapTgaSize = 256;
constexpr size_t kQvnMapTgaHeaderBytes = 18;
constexpr size_t kQvnMapTgaBytes = kQvnMapTgaHeaderBytes + 256 * 256 * 2;

// Turns such a file into a new[] array of 65,536 pixels, top row first, in the
// screen's flavour (screenFormatCode 16: 5-6-5, else 5-5-5). Null when the file
// is shorter than kQvnMapTgaBytes.
uint16_t* qvn_ReadMapTga(const uint8_t* data, size_t size, int screenFormatCode);

// loadMapTGA for a known screen format (the one-argument form takes the format
// from g_PixelFormat, 5-6-5 while that is unset).
uint16_t* loadMapTGA(const char* szFileName, int screenFormatCode);

// Reads a whole file into a new[] buffer; null when it cannot be opened or
// read (or is too large to hold).
uint8_t* qvn_ReadWholeFile(const char* fileName, size_t* size);
