// BMP reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "qvn_PictureReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SBmpImage image;
    // A smaller pixel limit than the engine's keeps the fuzzer's memory small.
    if (qvn_ReadBmp(data, size, &image, int64_t(1) << 22) == qvn_eBmpStatus::Ok) {
        volatile uint32_t sink = image.pPixels[size_t(image.nWidth) * image.nHeight - 1];
        (void)sink;
    }
    delete[] image.pPixels;
    return 0;
}
