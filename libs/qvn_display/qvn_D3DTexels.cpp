#include "qvn_D3DTexels.h"

#include <cstring>

SD3DFormatFields qvn_ReadFormatRecord(const uint8_t* record) {
    SD3DFormatFields f;
    static_assert(sizeof f == 32, "eight 32-bit fields");
    std::memcpy(&f, record, sizeof f);
    return f;
}

int qvn_FindRgbTextureFormat(const qvn_SPtrArray<STextureFormatBlock>& list, int bitCount) {
    for (int i = 0; i < list.m_nCount; ++i) {
        const SD3DFormatFields f = qvn_ReadFormatRecord(list.m_ppItems[i]->m_Bytes);
        if ((f.flags & QVN_DDPF_RGB) && static_cast<int>(f.bitCount) == bitCount) return i;
    }
    return -1;
}

static uint16_t Texel(uint32_t r, uint32_t g, uint32_t b, const qvn_cPixelFormat& f) {
    return static_cast<uint16_t>(((r >> f.m_nShiftRDrop) << f.m_nShiftRLow) + ((g >> f.m_nShiftGDrop) << f.m_nShiftGLow) +
                                 ((b >> f.m_nShiftBDrop) << f.m_nShiftBLow));
}

bool qvn_ConvertPictureTexels(const uint32_t* src, int width, int height, int srcPitch, uint16_t* dst, int dstPitch,
                              const qvn_cPixelFormat& f) {
    if (!src || !dst || width <= 0 || height <= 0 || srcPitch < width || dstPitch < width) return false;
    for (int y = 0; y < height; ++y) {
        const uint32_t* s = src + static_cast<size_t>(y) * srcPitch;
        uint16_t* d = dst + static_cast<size_t>(y) * dstPitch;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = s[x] ? s[x] : 1;
            d[x] = Texel((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, f);
        }
    }
    return true;
}

bool qvn_ConvertIndexedTexels(const uint8_t* indices, const uint8_t* palette, int width, int height, uint16_t* dst,
                              int dstPitch, const qvn_cPixelFormat& f) {
    if (!indices || !palette || !dst || width <= 0 || height <= 0 || dstPitch < width) return false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = indices + static_cast<size_t>(y) * width;
        uint16_t* d = dst + static_cast<size_t>(y) * dstPitch;
        for (int x = 0; x < width; ++x) {
            const uint8_t* rgb = palette + 3 * s[x];
            const uint16_t t = Texel(rgb[0], rgb[1], rgb[2], f);
            d[x] = t ? t : 1;
        }
    }
    return true;
}

bool qvn_ApplyMaskTexels(uint16_t* texels, int texPitch, int width, int height, const uint16_t* mask, int maskPitch,
                         int maskWidth, int maskHeight) {
    if (!texels || !mask || width <= 0 || height <= 0 || maskWidth <= 0 || maskHeight <= 0) return false;
    if (texPitch < width || maskPitch < maskWidth) return false;
    const int w = width < maskWidth ? width : maskWidth;
    const int h = height < maskHeight ? height : maskHeight;
    for (int y = 0; y < h; ++y) {
        uint16_t* t = texels + static_cast<size_t>(y) * texPitch;
        const uint16_t* m = mask + static_cast<size_t>(y) * maskPitch;
        for (int x = 0; x < w; ++x) t[x] = m[x] == 1 ? 0 : (t[x] ? t[x] : 1);
    }
    return true;
}
