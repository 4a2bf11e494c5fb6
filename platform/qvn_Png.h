// PNG output for captures and tools (zlib, no other library).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Writes a 16-bit 5-6-5 frame as 8-bit RGB, expanding each channel by bit
// replication (so 0x1F becomes 0xFF exactly). False when the file cannot be written.
bool qvn_WritePng565(const char* path, const uint16_t* pixels, int width, int height, int pitchPixels);
// Writes 0x00RRGGBB pixels as 8-bit RGB.
bool qvn_WritePngRGB32(const char* path, const uint32_t* pixels, int width, int height, int pitchPixels);
// 5-6-5 to 0x00RRGGBB by bit replication.
inline uint32_t qvn_565ToRGB32(uint16_t p) {
    uint32_t r = (p >> 11) & 0x1F, g = (p >> 5) & 0x3F, b = p & 0x1F;
    r = (r << 3) | (r >> 2);
    g = (g << 2) | (g >> 4);
    b = (b << 3) | (b >> 2);
    return (r << 16) | (g << 8) | b;
}
// CRC-32 (IEEE, the one PNG and zlib use).
uint32_t qvn_Crc32(const void* data, size_t bytes, uint32_t crc = 0);
