// JPEG decoder on arbitrary bytes: every output format, both the accepted and
// the refused paths. FatalError (unsupported frame types) is turned into an
// exception so one input cannot end the run.
#include <cstddef>
#include <cstdint>

#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"

namespace {
struct SFatal {};
void ThrowFatal(const char*) { throw SFatal(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qvn_SetFatalHook(ThrowFatal);
    static const int32_t kFormats[] = {QVN_JPEG_RGB32, QVN_JPEG_565, QVN_JPEG_BGR24, QVN_JPEG_RGB332, 0};
    // The first byte picks the format, so the corpus covers all of them.
    const int32_t format = size ? kFormats[data[0] % 5] : QVN_JPEG_RGB32;
    SJpegOptions options;
    options.nMaxPixels = int64_t(1) << 16;  // keeps each run small and fast
    try {
        SJpegInfo info;
        SJpegImage* image = qvn_JpegDecodeMemory(data, size, format, &info, &options);
        if (image) {
            // Touch the corners so a wrong size shows up as an overflow.
            volatile uint8_t sink = image->pPixels[0];
            sink = image->pPixels[image->nBytes - 1];
            (void)sink;
        }
        qvn_JpegFree(image);
    } catch (const SFatal&) {
    }
    return 0;
}
