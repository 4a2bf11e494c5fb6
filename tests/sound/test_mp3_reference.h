// libmpg123 as the oracle of the MP3 tests: its float output for a stream in
// memory, and our output compared with it.
#pragma once

#include <cstdint>
#include <vector>

namespace mp3test {

// Every sample libmpg123 decodes from the stream (gapless trimming off, so
// it outputs what we do), interleaved; *channels and *rate from its format.
std::vector<float> DecodeWithMpg123(const std::vector<uint8_t>& bytes, int* channels, int* rate = nullptr);

// PSNR of ours against the reference, both as a 16-bit output would hold
// them: full-scale signals overshoot 1.0 in both decoders.
double PsnrAgainstReference(const std::vector<float>& ours, const std::vector<float>& ref, double* maxAbsLsb);

}  // namespace mp3test
