// PCX reader on arbitrary bytes: parse, then decode into a buffer of exactly
// the picture's size.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "qvn_PictureReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SPcxImage image;
    // A smaller pixel limit than the engine's keeps the fuzzer's memory small.
    if (qvn_ParsePcx(data, size, &image, int64_t(1) << 22) != qvn_ePcxStatus::Ok) return 0;
    std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[size_t(image.nWidth) * image.nHeight]);
    if (pixels && qvn_DecodePcx(data, size, image, pixels.get())) {
        volatile uint32_t sink = pixels[size_t(image.nWidth) * image.nHeight - 1];
        (void)sink;
    }
    return 0;
}
