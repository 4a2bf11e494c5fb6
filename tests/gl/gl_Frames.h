// Comparing 320 x 240 5-6-5 frames by structure: both are averaged over 4 x 4
// blocks to luminance, then compared by SSIM and PSNR; and golden frames kept
// as gzip'd raw pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gltest {

constexpr int W = 320, H = 240;

struct SScore {
    double ssim, psnr;
};

// a against b after the 4 x 4 downscale. rowShift: b's row y is compared with
// a's row y + rowShift (the software rasteriser starts a face whose top lies
// between rows one row early).
SScore Compare(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b, int rowShift = 0);
// PSNR of the full frames, per channel widened to 8 bits.
double FullPsnr(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b);

bool WriteFrame(const std::string& path, const std::vector<uint16_t>& frame);
bool ReadFrame(const std::string& path, std::vector<uint16_t>* frame);

}  // namespace gltest
