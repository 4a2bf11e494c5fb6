// The two music tracks: our own synthesiser, encoded with libmp3lame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkd {

constexpr int kSampleRate = 44100;
// Samples between a sample fed to the encoder and the same sample coming out of
// a standard Layer III decoder: the encoder's own delay plus the decoder's
// 528 + 1 samples of filter-bank delay.
constexpr int kDecoderDelaySamples = 529;

struct sTrackPlan {
    const char* pszName;     // base name, "fantom.mp3"
    int nDurationMs;         // length of the music (the encoded file is a little longer)
    const int* pAccentsMs;   // clock times of the hits: where the parts flash or switch
    int nAccents;
};
const sTrackPlan* TrackPlan(const std::string& baseName);

// Interleaved 16-bit stereo PCM of the track as it should come out of the
// decoder: an accent at t ms starts at sample round(t * 44.1).
std::vector<int16_t> SynthesizeTrack(const sTrackPlan& plan, uint64_t seed);
// Encodes the PCM so that the decoded stream has it on time: the first
// (encoder delay + decoder delay) samples are dropped before encoding.
std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm);

} // namespace mkd
