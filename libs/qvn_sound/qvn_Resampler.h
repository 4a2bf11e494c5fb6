// Sample-rate conversion of the show's PCM (interleaved 16-bit stereo), for
// files that hold one rate while the tracks have their own: audio.wav and the
// video's sound take the first track's rate, and a second track at another
// rate goes through here. The filtering is a library's, not ours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class qvn_cResampler {
public:
    // Null, with the reason, when the rates are not positive or the build has
    // no resampling library.
    static std::unique_ptr<qvn_cResampler> Create(int inRate, int outRate, std::string* why);
    virtual ~qvn_cResampler() = default;

    // Converts `frames` stereo frames and appends what comes out to *out
    // (as interleaved samples). The filter keeps a few frames back; Flush
    // gives them at the end of the input.
    virtual void Push(const int16_t* in, int frames, std::vector<int16_t>* out) = 0;
    virtual void Flush(std::vector<int16_t>* out) = 0;
};
