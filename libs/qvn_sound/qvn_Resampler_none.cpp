// Native builds without libswresample: every request is
// refused with the reason, and the caller decides what to do without one.
#include "qvn_Resampler.h"

std::unique_ptr<qvn_cResampler> qvn_cResampler::Create(int, int, std::string* why) {
    if (why) *why = "this build has no resampling library";
    return nullptr;
}
