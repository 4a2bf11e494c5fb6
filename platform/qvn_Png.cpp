#include "qvn_Png.h"

#include <zlib.h>

#include <cstdio>

namespace {

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t bytes) {
    PutBE32(out, static_cast<uint32_t>(bytes));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (bytes) out.insert(out.end(), data, data + bytes);
    PutBE32(out, qvn_Crc32(out.data() + start, bytes + 4));
}

template <class Pixel, class ToRGB>
bool WritePng(const char* path, const Pixel* pixels, int width, int height, int pitchPixels, ToRGB toRgb) {
    if (!path || !pixels || width <= 0 || height <= 0 || pitchPixels < width) return false;
    // Filter byte 0 (none) per row, then RGB.
    std::vector<uint8_t> raw(static_cast<size_t>(height) * (1 + 3 * static_cast<size_t>(width)));
    uint8_t* o = raw.data();
    for (int y = 0; y < height; ++y) {
        *o++ = 0;
        const Pixel* row = pixels + static_cast<size_t>(y) * pitchPixels;
        for (int x = 0; x < width; ++x) {
            uint32_t rgb = toRgb(row[x]);
            *o++ = static_cast<uint8_t>(rgb >> 16);
            *o++ = static_cast<uint8_t>(rgb >> 8);
            *o++ = static_cast<uint8_t>(rgb);
        }
    }
    uLongf packedBytes = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedBytes);
    // Level 1: captures write hundreds of frames; size matters less than time.
    if (compress2(packed.data(), &packedBytes, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK) return false;

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    PutBE32(ihdr, static_cast<uint32_t>(width));
    PutBE32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter set, no interlace
    PutChunk(file, "IHDR", ihdr.data(), ihdr.size());
    PutChunk(file, "IDAT", packed.data(), packedBytes);
    PutChunk(file, "IEND", nullptr, 0);

    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

}  // namespace

bool qvn_WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels) {
    return WritePng(path, pixels, width, height, pitchPixels, qvn_565ToRGB32);
}

bool qvn_WritePngRGB32(const char* path, const uint32_t* pixels, int width, int height, int pitchPixels) {
    return WritePng(path, pixels, width, height, pitchPixels, [](uint32_t p) { return p & 0xFFFFFF; });
}
