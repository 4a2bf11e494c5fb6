// File writers of the default-data generator. They are written from the file
// formats, independently of the engine's readers, so that each checks the other.
#pragma once

#include "mkd_Image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mkd {

// Baseline JPEG (libjpeg-turbo's encoder, 4:2:0, integer DCT), into memory.
std::vector<uint8_t> EncodeJpeg(const cImage& im, int quality);
// Uncompressed 24-bit BMP, 40-byte information header, rows bottom-up.
std::vector<uint8_t> EncodeBmp24(const cImage& im);
// 18-byte header, 16-bit 1-5-5-5 pixels, rows bottom-up.
std::vector<uint8_t> EncodeTga555(const cImage& im);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace mkd
