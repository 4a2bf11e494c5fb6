#include "qvn_PictureReaders.h"

#include <cstdio>
#include <cstring>
#include <new>
#include "qvn_DataPath.h"

namespace {

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

qvn_eBmpStatus Damaged(SBmpImage* image, const char* problem) {
    image->pszProblem = problem;
    return qvn_eBmpStatus::Damaged;
}

// 5-bit channel to 8 bits by bit replication, so 31 becomes 255.
inline uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }

}  // namespace

qvn_eBmpStatus qvn_ReadBmp(const uint8_t* data, size_t size, SBmpImage* image, int64_t maxPixels) {
    *image = SBmpImage();
    if (size < 2 || data[0] != 'B' || data[1] != 'M') return qvn_eBmpStatus::NotBmp;
    if (size < 14 + 4) return Damaged(image, "file header cut short");
    const uint32_t pixelOffset = Le32(data + 10);
    const uint32_t headerBytes = Le32(data + 14);
    int64_t width, height;
    uint32_t bitCount, compression = 0;
    size_t paletteEntryBytes;
    if (headerBytes == 12) {
        if (size < 14 + 12) return Damaged(image, "information header cut short");
        width = Le16(data + 18);
        height = Le16(data + 20);
        bitCount = Le16(data + 24);
        paletteEntryBytes = 3;  // this old header's palette holds blue, green, red triples
    } else if (headerBytes >= 40 && headerBytes <= 0x10000) {
        if (size < 14 + static_cast<size_t>(headerBytes)) return Damaged(image, "information header cut short");
        width = static_cast<int32_t>(Le32(data + 18));
        height = static_cast<int32_t>(Le32(data + 22));
        bitCount = Le16(data + 28);
        compression = Le32(data + 30);
        paletteEntryBytes = 4;
    } else {
        return Damaged(image, "unknown information header size");
    }
    if (height < 0) {
        image->bTopDown = true;
        height = -height;
    }
    if (width <= 0 || height <= 0) return Damaged(image, "empty picture");
    image->nWidth = static_cast<int32_t>(width);
    image->nHeight = static_cast<int32_t>(height);
    image->nBitCount = static_cast<int32_t>(bitCount);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24)
        return qvn_eBmpStatus::UndefinedDepth;
    if (width * height > maxPixels) return qvn_eBmpStatus::TooLarge;
    if (compression == 1) return qvn_eBmpStatus::Rle8;
    if (compression == 2) return qvn_eBmpStatus::Rle4;
    if (compression != 0) return qvn_eBmpStatus::UnknownCompression;

    // Palette: 2^bitCount entries right after the information header, as far
    // as the file holds them before the pixels; missing entries stay black.
    uint32_t palette[256] = {};
    if (bitCount <= 8) {
        const size_t start = 14 + static_cast<size_t>(headerBytes);
        size_t limit = size;
        if (pixelOffset >= start && pixelOffset < limit) limit = pixelOffset;
        const size_t entries = size_t(1) << bitCount;
        for (size_t i = 0; i < entries; ++i) {
            const size_t at = start + i * paletteEntryBytes;
            if (at + paletteEntryBytes > limit) break;
            palette[i] = (static_cast<uint32_t>(data[at + 2]) << 16) | (static_cast<uint32_t>(data[at + 1]) << 8) |
                         data[at];
        }
    }

    const size_t rowBytes = ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4;
    const size_t imageBytes = rowBytes * static_cast<size_t>(height);
    if (pixelOffset > size || size - pixelOffset < imageBytes) return Damaged(image, "pixels cut short");

    uint32_t* out = new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)];
    if (!out) return qvn_eBmpStatus::NoMemory;
    const int32_t w = image->nWidth, h = image->nHeight;
    for (int32_t y = 0; y < h; ++y) {
        // Stored rows run bottom-up unless the height was negative.
        const uint8_t* row = data + pixelOffset + rowBytes * static_cast<size_t>(image->bTopDown ? y : h - 1 - y);
        uint32_t* dst = out + static_cast<size_t>(y) * w;
        switch (bitCount) {
        case 1:
            for (int32_t x = 0; x < w; ++x) dst[x] = palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int32_t x = 0; x < w; ++x) dst[x] = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
            break;
        case 8:
            for (int32_t x = 0; x < w; ++x) dst[x] = palette[row[x]];
            break;
        case 16:
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t p = Le16(row + 2 * x);
                dst[x] = (Expand5((p >> 10) & 31) << 16) | (Expand5((p >> 5) & 31) << 8) | Expand5(p & 31);
            }
            break;
        default:  // 24
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = row + 3 * x;
                dst[x] = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
            }
            break;
        }
    }
    image->pPixels = out;
    return qvn_eBmpStatus::Ok;
}

uint16_t* qvn_ReadMapTga(const uint8_t* data, size_t size, int screenFormatCode) {
    if (!data || size < kQvnMapTgaBytes) return nullptr;
    uint16_t* out = new (std::nothrow) uint16_t[kQvnMapTgaSize * kQvnMapTgaSize];
    if (!out) return nullptr;
    const uint8_t* in = data + kQvnMapTgaHeaderBytes;
    for (int y = 0; y < kQvnMapTgaSize; ++y) {
        const uint8_t* row = in + static_cast<size_t>(kQvnMapTgaSize - 1 - y) * kQvnMapTgaSize * 2;
        uint16_t* dst = out + y * kQvnMapTgaSize;
        for (int x = 0; x < kQvnMapTgaSize; ++x) {
            const uint16_t p = static_cast<uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
            // The top bit is the file's attribute bit, not colour: it must not
            // leak into the pixel on either screen.
            dst[x] = screenFormatCode == 16 ? static_cast<uint16_t>(((p & 0x7FE0) << 1) | (p & 0x1F))
                                            : static_cast<uint16_t>(p & 0x7FFF);
        }
    }
    return out;
}

uint8_t* qvn_ReadWholeFile(const char* fileName, size_t* size) {
    *size = 0;
    if (!fileName) return nullptr;
    FILE* f = qvn_fopen(fileName, "rb");
    if (!f) return nullptr;
    long length = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
    if (length < 0 || length > 0x7FFFFFF0L || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    // One spare byte so an empty file still gets a buffer.
    uint8_t* buffer = new (std::nothrow) uint8_t[static_cast<size_t>(length) + 1];
    if (buffer && length > 0 && std::fread(buffer, 1, static_cast<size_t>(length), f) != static_cast<size_t>(length)) {
        delete[] buffer;
        buffer = nullptr;
    }
    std::fclose(f);
    if (buffer) *size = static_cast<size_t>(length);
    return buffer;
}
