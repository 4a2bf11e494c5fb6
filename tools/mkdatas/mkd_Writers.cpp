#include "mkd_Writers.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace mkd {

std::vector<uint8_t> EncodeJpeg(const cImage& im, int quality) {
    std::vector<uint8_t> rgb = im.ToRGB8();
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = (JDIMENSION)im.W();
    cinfo.image_height = (JDIMENSION)im.H();
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo); // sequential Huffman: a baseline file
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = FALSE;
    cinfo.write_JFIF_header = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &rgb[(size_t)cinfo.next_scanline * im.W() * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

static void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back((uint8_t)x);
    v.push_back((uint8_t)(x >> 8));
}
static void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

std::vector<uint8_t> EncodeBmp24(const cImage& im) {
    std::vector<uint8_t> rgb = im.ToRGB8();
    uint32_t rowBytes = ((uint32_t)im.W() * 3 + 3) & ~3u;
    uint32_t imageBytes = rowBytes * (uint32_t)im.H();
    std::vector<uint8_t> v;
    v.reserve(54 + imageBytes);
    v.push_back('B');
    v.push_back('M');
    Put32(v, 54 + imageBytes);
    Put32(v, 0);
    Put32(v, 54);
    Put32(v, 40);
    Put32(v, (uint32_t)im.W());
    Put32(v, (uint32_t)im.H()); // positive: rows stored bottom-up
    Put16(v, 1);
    Put16(v, 24);
    Put32(v, 0); // no compression
    Put32(v, imageBytes);
    Put32(v, 2835); // 72 dpi
    Put32(v, 2835);
    Put32(v, 0);
    Put32(v, 0);
    for (int y = im.H() - 1; y >= 0; --y) {
        const uint8_t* row = &rgb[(size_t)y * im.W() * 3];
        for (int x = 0; x < im.W(); ++x) {
            v.push_back(row[x * 3 + 2]);
            v.push_back(row[x * 3 + 1]);
            v.push_back(row[x * 3 + 0]);
        }
        for (uint32_t p = (uint32_t)im.W() * 3; p < rowBytes; ++p) v.push_back(0);
    }
    return v;
}

std::vector<uint8_t> EncodeTga555(const cImage& im) {
    std::vector<uint8_t> rgb = im.ToRGB8();
    std::vector<uint8_t> v;
    v.reserve(18 + (size_t)im.W() * im.H() * 2);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                (uint8_t)im.W(), (uint8_t)(im.W() >> 8), (uint8_t)im.H(), (uint8_t)(im.H() >> 8),
                                16, 0}; // uncompressed true colour, origin bottom-left, no alpha bits
    v.insert(v.end(), header, header + 18);
    for (int y = im.H() - 1; y >= 0; --y)
        for (int x = 0; x < im.W(); ++x) {
            const uint8_t* p = &rgb[((size_t)y * im.W() + x) * 3];
            // Round to 5 bits per channel rather than truncate, so mid greys stay neutral.
            auto q5 = [](uint8_t c) { return (uint32_t)((c * 31 + 127) / 255); };
            Put16(v, (q5(p[0]) << 10) | (q5(p[1]) << 5) | q5(p[2]));
        }
    return v;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace mkd
