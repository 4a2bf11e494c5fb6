// Fuzz entry point: open a stream from memory and decode it to the end.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Decoder.h"

namespace {

// Unsupported streams end the program through FatalError; here that must
// not stop the fuzzer, so the hook turns it into an exception.
void ThrowOnFatal(const char* message) { throw std::runtime_error(message); }

float g_fSink = 0.0f;
// Touches every sample so uninitialised output would show under MSan/UBSan.
void Output(int count, const float* left, const float* right) {
    float sum = 0.0f;
    for (int i = 0; i < count; ++i) sum += left[i] + (right ? right[i] : 0.0f);
    g_fSink += sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = false;
    if (!ready) {
        qvn_SetFatalHook(ThrowOnFatal);
        mp3InitTables();
        mp3SetOutput(Output);
        ready = true;
    }
    SMP3Stream* s = nullptr;
    try {
        s = mp3OpenMemory(data, size);
        if (s) {
            // A bounded number of frames keeps each input fast.
            for (int i = 0; i < 4000 && mp3DecodeFrame(s) > 0; ++i) {
                if (i == 3) mp3SkipFrames(s, 2);
            }
        }
    } catch (const std::exception&) {
    }
    mp3Close(s);
    return 0;
}
