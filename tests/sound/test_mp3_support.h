// Helpers shared by the MP3 decoder tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qvn_MP3Decoder.h"

namespace mp3test {

std::string VectorsDir();
bool HaveVectors();
std::vector<uint8_t> ReadFile(const std::string& path);

// Everything a stream sent to the output function, interleaved (mono
// streams: one value per sample).
struct SDecoded {
    std::vector<float> pcm;
    int nChannels = 0;
    int nSampleRate = 0;
    int nFrames = 0;
    int nGranulesWithNullRight = 0;
    bool bOpened = false;
};

// Decodes a whole stream from memory with our decoder.
SDecoded DecodeMemory(const std::vector<uint8_t>& bytes, int maxFrames = 1 << 30);

// Collects the output of mp3DecodeFrame calls made by the test itself.
void StartCapture(std::vector<float>* sink, int channels);
void StopCapture();

// PSNR in dB of a against b over the first n values, both in full scale
// 1.0, after clipping a to the 16-bit range; b is scaled by bScale first.
double Psnr(const float* a, const float* b, size_t n, double* maxAbsLsb = nullptr);

// FatalError turned into an exception (what the reject tests look for).
struct SFatal {
    std::string message;
};
void InstallThrowingFatalHook();

}  // namespace mp3test
