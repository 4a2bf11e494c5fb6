#include "qvn_PictureReaders.h"

#include <cstdio>
#include <cstring>
#include <memory>
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

qvn_eBmpStatus qvn_ParseBmp(const uint8_t* data, size_t size, SBmpImage* image, int64_t maxPixels) {
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
    uint32_t* palette = image->nPalette;
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
    image->nPixelOffset = pixelOffset;
    image->nRowBytes = rowBytes;
    return qvn_eBmpStatus::Ok;
}

void qvn_DecodeBmp(const uint8_t* data, const SBmpImage& image, uint32_t* out) {
    const uint32_t* palette = image.nPalette;
    const size_t pixelOffset = image.nPixelOffset, rowBytes = image.nRowBytes;
    const int32_t w = image.nWidth, h = image.nHeight;
    for (int32_t y = 0; y < h; ++y) {
        // Stored rows run bottom-up unless the height was negative.
        const uint8_t* row = data + pixelOffset + rowBytes * static_cast<size_t>(image.bTopDown ? y : h - 1 - y);
        uint32_t* dst = out + static_cast<size_t>(y) * w;
        switch (image.nBitCount) {
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
}

qvn_eBmpStatus qvn_ReadBmp(const uint8_t* data, size_t size, SBmpImage* image, int64_t maxPixels) {
    const qvn_eBmpStatus status = qvn_ParseBmp(data, size, image, maxPixels);
    if (status != qvn_eBmpStatus::Ok) return status;
    uint32_t* out = new (std::nothrow) uint32_t[static_cast<size_t>(image->nWidth) * image->nHeight];
    if (!out) return qvn_eBmpStatus::NoMemory;
    qvn_DecodeBmp(data, *image, out);
    image->pPixels = out;
    return qvn_eBmpStatus::Ok;
}

namespace {

constexpr size_t kPcxHeaderBytes = 128;
constexpr size_t kPcxPaletteBytes = 1 + 768;  // 0x0C, then 256 red, green, blue triples

qvn_ePcxStatus PcxProblem(SPcxImage* image, qvn_ePcxStatus status, const char* problem) {
    image->pszProblem = problem;
    return status;
}

// The coded bytes: after the header, up to the palette of a paletted picture.
size_t PcxDataEnd(size_t size, int32_t planes) { return planes == 1 ? size - kPcxPaletteBytes : size; }

}  // namespace

qvn_ePcxStatus qvn_ParsePcx(const uint8_t* data, size_t size, SPcxImage* image, int64_t maxPixels) {
    *image = SPcxImage();
    if (size < 1 || data[0] != 0x0A) return qvn_ePcxStatus::NotPcx;
    if (size < kPcxHeaderBytes) return PcxProblem(image, qvn_ePcxStatus::Damaged, "header cut short");
    const uint32_t version = data[1], encoding = data[2], bitsPerPlane = data[3];
    const int64_t width = static_cast<int64_t>(Le16(data + 8)) - Le16(data + 4) + 1;
    const int64_t height = static_cast<int64_t>(Le16(data + 10)) - Le16(data + 6) + 1;
    const int32_t planes = data[65];
    const int32_t bytesPerLine = static_cast<int32_t>(Le16(data + 66));
    image->nWidth = static_cast<int32_t>(width > 0 ? width : 0);
    image->nHeight = static_cast<int32_t>(height > 0 ? height : 0);
    image->nPlanes = planes;
    image->nBytesPerLine = bytesPerLine;
    if (version != 5) return PcxProblem(image, qvn_ePcxStatus::Unsupported, "not version 5");
    if (encoding != 1) return PcxProblem(image, qvn_ePcxStatus::Unsupported, "not run-length coded");
    if (bitsPerPlane != 8 || (planes != 1 && planes != 3))
        return PcxProblem(image, qvn_ePcxStatus::Unsupported, "neither 8-bit paletted nor 24-bit");
    if (width <= 0 || height <= 0) return PcxProblem(image, qvn_ePcxStatus::Damaged, "empty picture");
    if (bytesPerLine < width) return PcxProblem(image, qvn_ePcxStatus::Damaged, "lines shorter than the picture");
    if (width * height > maxPixels) return qvn_ePcxStatus::TooLarge;
    if (planes == 1) {
        if (size < kPcxHeaderBytes + kPcxPaletteBytes || data[size - kPcxPaletteBytes] != 0x0C)
            return PcxProblem(image, qvn_ePcxStatus::Damaged, "no 256-colour palette at the end");
        const uint8_t* p = data + size - 768;
        for (int i = 0; i < 256; ++i)
            image->nPalette[i] = (static_cast<uint32_t>(p[3 * i]) << 16) | (static_cast<uint32_t>(p[3 * i + 1]) << 8) |
                                 p[3 * i + 2];
    }
    // Two coded bytes give at most 63 decoded ones: a file too short for the
    // picture it declares is refused before anything is allocated for it.
    const uint64_t decodedBytes = static_cast<uint64_t>(bytesPerLine) * planes * static_cast<uint64_t>(height);
    const uint64_t codedBytes = PcxDataEnd(size, planes) - kPcxHeaderBytes;
    if (codedBytes * 63 / 2 + 1 < decodedBytes)
        return PcxProblem(image, qvn_ePcxStatus::Damaged, "coded data too short for the picture");
    return qvn_ePcxStatus::Ok;
}

bool qvn_DecodePcx(const uint8_t* data, size_t size, const SPcxImage& image, uint32_t* dst) {
    const uint8_t* in = data + kPcxHeaderBytes;
    const uint8_t* end = data + PcxDataEnd(size, image.nPlanes);
    const size_t lineBytes = static_cast<size_t>(image.nBytesPerLine) * image.nPlanes;
    // One decoded line (all its planes); a run may go on into the next line,
    // as some writers let it.
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[lineBytes]);
    if (!line) return false;
    uint32_t runValue = 0, runLeft = 0;
    const size_t w = static_cast<size_t>(image.nWidth), bpl = static_cast<size_t>(image.nBytesPerLine);
    for (int32_t y = 0; y < image.nHeight; ++y) {
        for (size_t i = 0; i < lineBytes; ++i) {
            // An empty run (0xC0) codes nothing: the loop reads on.
            while (!runLeft) {
                if (in >= end) return false;
                const uint32_t b = *in++;
                if (b >= 0xC0) {
                    if (in >= end) return false;
                    runLeft = b & 0x3F;
                    runValue = *in++;
                } else {
                    runLeft = 1;
                    runValue = b;
                }
            }
            line[i] = static_cast<uint8_t>(runValue);
            --runLeft;
        }
        uint32_t* out = dst + static_cast<size_t>(y) * w;
        const uint8_t* l = line.get();
        if (image.nPlanes == 1) {
            for (size_t x = 0; x < w; ++x) out[x] = image.nPalette[l[x]];
        } else {
            for (size_t x = 0; x < w; ++x)
                out[x] = (static_cast<uint32_t>(l[x]) << 16) | (static_cast<uint32_t>(l[bpl + x]) << 8) | l[2 * bpl + x];
        }
    }
    return true;
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
