// Test-side helpers around libjpeg (the oracle): encoding pictures with chosen
// sampling, restart intervals and tables, decoding them the way the engine's
// decoder is meant to match (float IDCT, replicating upsampling), reading the
// reference PNM files, and comparing pictures.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct SPicture {
    int width = 0, height = 0, channels = 0;  // 1 grey or 3 RGB
    std::vector<uint8_t> bytes;               // rows top-down, channels interleaved
};

struct SEncodeSettings {
    int components = 3;  // 1 or 3
    int h0 = 2, v0 = 2;  // luminance sampling (chroma 1x1)
    int quality = 85;
    int restartInterval = 0;  // MCUs
    bool optimize = false;    // optimised Huffman tables
    bool separateScans = false;  // one non-interleaved scan per component
};

// Encodes rgb (3 bytes per pixel; for one component only the first byte is used).
std::vector<uint8_t> OracleEncode(const SPicture& picture, const SEncodeSettings& settings);
// libjpeg decode with the float IDCT and no fancy upsampling: RGB or grey.
bool OracleDecode(const std::vector<uint8_t>& jpeg, SPicture* out);
// P5 / P6 reader.
bool ReadPnm(const std::string& path, SPicture* out);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
// A deterministic test picture: gradients, edges and some texture.
SPicture MakeTestPicture(int width, int height, uint32_t seed = 1);

struct SDiff {
    int maxDiff = 0;
    double psnr = 0.0;  // 99 for identical pictures
};
// Compares 0x00RRGGBB pixels (or grey bytes, bytesPerPixel 1) with a reference.
SDiff ComparePictures(const uint8_t* ours, int bytesPerPixel, const SPicture& reference);

// Scans a JPEG for the first marker `code`; returns the offset of its 0xFF or -1.
long FindMarker(const std::vector<uint8_t>& jpeg, int code);

inline bool VectorsPresent() {
    FILE* f = std::fopen(QVN_VECTORS_DIR "/jpeg/baseline/testorig.jpg", "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}
