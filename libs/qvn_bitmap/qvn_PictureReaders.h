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
