// Reading back what the video export wrote, with the FFmpeg libraries, and
// the capture's own files (PNG frames, frames.txt, audio.wav) to hold it to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SDecodedVideo {
    bool ok = false;
    std::string error;
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    int rateNum = 0, rateDen = 0;  // the stream's frame rate
    // Frames as 0x00RRGGBB words, in presentation order, and their times.
    std::vector<std::vector<uint32_t>> frames;
    std::vector<double> frameSeconds;
    int sampleRate = 0;
    // Interleaved stereo as decoded (lossless codecs give 16-bit exactly).
    std::vector<float> audio;
    // Where the first decoded sample sits, in samples (negative: an encoder
    // delay the file says to skip).
    int64_t audioStartSample = 0;
};

// Decodes every frame and sample of a file.
SDecodedVideo DecodeVideo(const std::string& path);

// A PNG of the capture as 0x00RRGGBB words; empty when it cannot be read.
std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height);
// Each pixel an n x n block.
std::vector<uint32_t> ScaleUp(const std::vector<uint32_t>& pixels, int width, int height, int n);

// audio.wav's samples (16-bit stereo, interleaved) and rate.
std::vector<int16_t> ReadWav(const std::string& path, int* rate);

// frames.txt's lines, without the comment lines.
struct SFrameLine {
    uint32_t frame = 0, virtualMs = 0;
    int half = 0;
    std::string showMs;
    uint32_t crc = 0;
    std::string part;
};
std::vector<SFrameLine> ReadFramesTxt(const std::string& path);
