// What demo_hw's Direct3D textures do with their texels, apart from the
// device: choose the texture format among those the device lists, convert
// pictures and palettes into it, punch the mask's holes. No device here, so
// every build can check these rules.
#pragma once

#include <cstdint>

#include "qvn_EngDisplay.h"
#include "qvn_PixelFormat.h"

// The fields of a DDPIXELFORMAT record (32 bytes, as the device reports it).
struct SD3DFormatFields {
    uint32_t size, flags, fourCC, bitCount, maskR, maskG, maskB, maskA;
};
constexpr uint32_t QVN_DDPF_ALPHAPIXELS = 0x1, QVN_DDPF_RGB = 0x40, QVN_DDPF_ZBUFFER = 0x400;
SD3DFormatFields qvn_ReadFormatRecord(const uint8_t* record);

// The first listed format that is RGB with bitCount bits; -1 when none. Bump
// and luminance formats also have a bit count, but their texels are not
// colours.
int qvn_FindRgbTextureFormat(const qvn_SPtrArray<STextureFormatBlock>& list, int bitCount);

// A picture's pixels (0x00RRGGBB, srcPitch pixels a row) into texels of
// format f (dstPitch pixels a row). A black pixel is taken as 0x000001
// first, which still converts to texel 0 (keyed): near-black in a picture
// is transparent once it is a texture. False when there is nowhere to write.
bool qvn_ConvertPictureTexels(const uint32_t* src, int width, int height, int srcPitch, uint16_t* dst, int dstPitch,
                              const qvn_cPixelFormat& f);
// 8-bit indices through a 768-byte palette into texels; a texel that would
// be 0 (the colour key) is written as 1, so indexed textures stay opaque.
bool qvn_ConvertIndexedTexels(const uint8_t* indices, const uint8_t* palette, int width, int height, uint16_t* dst,
                              int dstPitch, const qvn_cPixelFormat& f);
// Texel := 0 (a hole under the colour key) where the mask is 1, else the
// texel stays, 0 becoming 1. Only where both the texture and the mask have
// texels: the two sizes come from the scene file and need not agree. False
// when either has no texels.
bool qvn_ApplyMaskTexels(uint16_t* texels, int texPitch, int width, int height, const uint16_t* mask, int maskPitch,
                         int maskWidth, int maskHeight);
