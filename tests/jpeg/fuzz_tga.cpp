// TGA texture reader on arbitrary bytes, for both screen formats.
#include <cstddef>
#include <cstdint>

#include "qvn_PictureReaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint16_t* map = qvn_ReadMapTga(data, size, (size && (data[0] & 1)) ? 15 : 16);
    delete[] map;
    return 0;
}
