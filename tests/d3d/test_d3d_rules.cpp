// What demo_hw's Direct3D build sends to the device, checked without one:
// the texture format it picks, the texels it writes, the holes a mask cuts,
// the passes and blend states of each render mode and the vertices of a fan.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "qvn_D3DFaces.h"
#include "qvn_D3DTexels.h"
#include "qvn_EngDisplay.h"
#include "qvn_cMaterial.h"
#include "qvn_cMesh.h"

namespace {

STextureFormatBlock* Format(uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b) {
    const SD3DFormatFields f{32, flags, 0, bits, r, g, b, 0};
    auto* block = new STextureFormatBlock;
    std::memcpy(block->m_Bytes, &f, sizeof f);
    return block;
}

qvn_cPixelFormat Format555() {
    qvn_cPixelFormat f;
    f.SetFromMasks(16, 0x7C00, 0x03E0, 0x001F, false);
    return f;
}

TEST(D3DTexels, TheTextureFormatIsTheFirst16BitRgbOne) {
    qvn_cDDrawEnum formats;
    formats.m_TextureFormats.Append(Format(0x80000, 16, 0xFF, 0xFF00, 0));  // bump du/dv, 16 bits
    formats.m_TextureFormats.Append(Format(0x20000, 16, 0xFF, 0, 0));       // luminance, 16 bits
    formats.m_TextureFormats.Append(Format(QVN_DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF));
    formats.m_TextureFormats.Append(Format(QVN_DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F));
    formats.m_TextureFormats.Append(Format(QVN_DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F));
    EXPECT_EQ(qvn_FindRgbTextureFormat(formats.m_TextureFormats, 16), 3);
    EXPECT_EQ(qvn_FindRgbTextureFormat(formats.m_TextureFormats, 32), 2);
    EXPECT_EQ(qvn_FindRgbTextureFormat(formats.m_TextureFormats, 8), -1);

    qvn_cDDrawEnum none;
    none.m_TextureFormats.Append(Format(0x80000, 16, 0xFF, 0xFF00, 0));
    EXPECT_EQ(qvn_FindRgbTextureFormat(none.m_TextureFormats, 16), -1);
}

TEST(D3DTexels, PicturesConvertWithNearBlackKeyedAndFailWithoutTexels) {
    const qvn_cPixelFormat f = Format555();
    // 2 x 2 picture in a 3-pixel pitch; texels in a 4-texel pitch.
    const uint32_t picture[6] = {0x000000, 0xFFFFFF, 0xDEAD, 0x070707, 0xFF0000, 0xBEEF};
    std::vector<uint16_t> texels(8, 0xAAAA);
    ASSERT_TRUE(qvn_ConvertPictureTexels(picture, 2, 2, 3, texels.data(), 4, f));
    EXPECT_EQ(texels[0], 0);       // black (taken as 0x000001) still converts to the key
    EXPECT_EQ(texels[1], 0x7FFF);  // white
    EXPECT_EQ(texels[4], 0);       // near-black: below one step of every channel
    EXPECT_EQ(texels[5], 0x7C00);  // red
    EXPECT_EQ(texels[2], 0xAAAA);  // past the picture's width: untouched
    EXPECT_EQ(texels[6], 0xAAAA);
    // A surface that could not be locked gives nothing to write to: failure,
    // not a write through null.
    EXPECT_FALSE(qvn_ConvertPictureTexels(picture, 2, 2, 3, nullptr, 4, f));
    EXPECT_FALSE(qvn_ConvertPictureTexels(picture, 2, 2, 3, texels.data(), 1, f));
}

TEST(D3DTexels, IndexedTexelsStayOpaqueAndFailWithoutTexels) {
    const qvn_cPixelFormat f = Format555();
    uint8_t palette[768] = {};
    palette[3] = 255, palette[4] = 255, palette[5] = 255;  // index 1: white
    palette[6] = 0, palette[7] = 0, palette[8] = 200;      // index 2: blue
    const uint8_t indices[4] = {0, 1, 2, 0};
    std::vector<uint16_t> texels(4, 0xAAAA);
    ASSERT_TRUE(qvn_ConvertIndexedTexels(indices, palette, 2, 2, texels.data(), 2, f));
    EXPECT_EQ(texels, (std::vector<uint16_t>{1, 0x7FFF, 200 >> 3, 1}));
    EXPECT_FALSE(qvn_ConvertIndexedTexels(indices, palette, 2, 2, nullptr, 2, f));
}

TEST(D3DTexels, MasksCutHolesOnlyWhereBothHaveTexels) {
    // A 4 x 3 texture (pitch 5) under a 2 x 2 mask (pitch 3): the mask's
    // size comes from its own file, not from the texture's.
    std::vector<uint16_t> texture(5 * 3, 0x1234);
    texture[1] = 0;  // a texel that converted to the key
    const std::vector<uint16_t> mask = {1, 0, 9, 0, 1, 9};
    ASSERT_TRUE(qvn_ApplyMaskTexels(texture.data(), 5, 4, 3, mask.data(), 3, 2, 2));
    EXPECT_EQ(texture[0], 0);       // mask 1: hole
    EXPECT_EQ(texture[1], 1);       // mask 0 over a key texel: made opaque
    EXPECT_EQ(texture[5], 0x1234);  // row 1, column 0: mask 0
    EXPECT_EQ(texture[6], 0);       // row 1, column 1: mask 1
    EXPECT_EQ(texture[2], 0x1234);  // beyond the mask's width
    EXPECT_EQ(texture[10], 0x1234); // beyond the mask's height

    // A mask larger than the texture is read only over the texture.
    std::vector<uint16_t> small(2 * 2, 0x1234);
    const std::vector<uint16_t> big(256 * 256, 1);
    ASSERT_TRUE(qvn_ApplyMaskTexels(small.data(), 2, 2, 2, big.data(), 256, 256, 256));
    EXPECT_EQ(small, (std::vector<uint16_t>(4, 0)));

    // No texels (a lock that failed) or an empty mask: nothing is done.
    EXPECT_FALSE(qvn_ApplyMaskTexels(nullptr, 2, 2, 2, big.data(), 256, 256, 256));
    EXPECT_FALSE(qvn_ApplyMaskTexels(small.data(), 2, 2, 2, nullptr, 256, 256, 256));
    EXPECT_FALSE(qvn_ApplyMaskTexels(small.data(), 2, 2, 2, big.data(), 256, 0, 256));
}

TEST(D3DFaces, EachModeDrawsItsPassesAndSkipsFacesWithoutTheirTexture) {
    SD3DPass p[2];
    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_COPY, true, false, p), 1);
    EXPECT_EQ(p[0].unit, 0);
    EXPECT_EQ(p[0].blend, eD3DBlend::kCopy);
    EXPECT_EQ(p[0].coords, eD3DCoords::kTexture);
    EXPECT_FALSE(p[0].fog);

    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_ADD, true, false, p), 1);
    EXPECT_EQ(p[0].blend, eD3DBlend::kAdd);

    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_MASK, true, true, p), 1);
    EXPECT_EQ(p[0].unit, 0);
    EXPECT_EQ(p[0].blend, eD3DBlend::kCopy);

    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_TEX_ENV, true, true, p), 2);
    EXPECT_EQ(p[0].unit, 0);
    EXPECT_EQ(p[0].blend, eD3DBlend::kCopy);
    EXPECT_EQ(p[1].unit, 1);
    EXPECT_EQ(p[1].blend, eD3DBlend::kAdd);
    EXPECT_EQ(p[1].coords, eD3DCoords::kEnvironment);
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_TEX_ENV, true, false, p), 1);

    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_FOG, true, false, p), 1);
    EXPECT_TRUE(p[0].fog);

    // The environment map alone: unit 1 on the environment coordinates,
    // whatever unit 0 holds.
    ASSERT_EQ(qvn_D3DPasses(QVN_MODE_ENV, false, true, p), 1);
    EXPECT_EQ(p[0].unit, 1);
    EXPECT_EQ(p[0].coords, eD3DCoords::kEnvironment);

    // Nothing bound where the mode reads: the face is skipped.
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_COPY, false, true, p), 0);
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_ADD, false, true, p), 0);
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_TEX_ENV, false, true, p), 0);
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_FOG, false, false, p), 0);
    EXPECT_EQ(qvn_D3DPasses(QVN_MODE_ENV, true, false, p), 0);
}

TEST(D3DFaces, AddedFacesAddTheTexelNotWhite) {
    SD3DRenderState s[4];
    ASSERT_EQ(qvn_D3DBlendStates(eD3DBlend::kAdd, s), 4);
    // ALPHABLENDENABLE on; the texel modulated by the white vertex colour
    // (the texel itself: the ADD texture blend would add white to it); the
    // frame buffer blend adds it to the screen.
    EXPECT_EQ(s[0].state, 27u);
    EXPECT_EQ(s[0].value, 1u);
    EXPECT_EQ(s[1].state, 21u);
    EXPECT_EQ(s[1].value, 2u);
    EXPECT_EQ(s[2].state, 19u);
    EXPECT_EQ(s[2].value, 2u);
    EXPECT_EQ(s[3].state, 20u);
    EXPECT_EQ(s[3].value, 2u);

    ASSERT_EQ(qvn_D3DBlendStates(eD3DBlend::kCopy, s), 4);
    EXPECT_EQ(s[0].value, 0u);
    EXPECT_EQ(s[1].value, 2u);
    EXPECT_EQ(s[2].value, 2u);
    EXPECT_EQ(s[3].value, 1u);
}

class D3DFan : public ::testing::Test {
protected:
    void SetUp() override {
        m_Face.m_nVertexCount = 5;
        for (int i = 0; i < 5; ++i) {
            m_Vertex[i].m_Screen.x = 10.0f + i;
            m_Vertex[i].m_Screen.y = 20.0f + 2 * i;
            m_Face.m_pVertex[i] = &m_Vertex[i];
            qvn_cCorner& c = m_Face.m_Corner[i];
            c.iz = 0.5f;
            c.uz = 0.25f * i;
            c.vz = 0.125f;
            c.euz = 0.05f;
            c.evz = 0.1f * i;
        }
    }
    qvn_cFace m_Face;
    qvn_cVertex m_Vertex[5];
};

TEST_F(D3DFan, OneRecordPerCornerWithDepthAndCoordinatesUndivided) {
    SD3DVertex v[qvn_cFace::kMaxVertices];
    ASSERT_EQ(qvn_D3DFan(&m_Face, {0, eD3DBlend::kCopy, eD3DCoords::kTexture, false}, v), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, 10.0f + i);
        EXPECT_FLOAT_EQ(v[i].y, 20.0f + 2 * i);
        EXPECT_FLOAT_EQ(v[i].z, 0.5f);  // 1 / depth: nearer is larger
        EXPECT_FLOAT_EQ(v[i].rhw, 0.5f);
        EXPECT_EQ(v[i].diffuse, 0x00FFFFFFu);
        EXPECT_EQ(v[i].specular, 0u);
        // u and v, on the 256 / 255 period the software fillers repeat at.
        EXPECT_FLOAT_EQ(v[i].tu, 0.5f * i * 255.0f / 256.0f);
        EXPECT_FLOAT_EQ(v[i].tv, 0.25f * 255.0f / 256.0f);
    }
    ASSERT_EQ(qvn_D3DFan(&m_Face, {1, eD3DBlend::kAdd, eD3DCoords::kEnvironment, false}, v), 5);
    EXPECT_FLOAT_EQ(v[3].tu, 0.1f * 255.0f / 256.0f);
    EXPECT_FLOAT_EQ(v[3].tv, 0.6f * 255.0f / 256.0f);
}

TEST_F(D3DFan, FogDarkensTheVertexColourTowardsBlack) {
    m_Vertex[0].m_Shade.fogOverZ = 0.99f * 0.5f;  // fog 0.99
    m_Vertex[1].m_Shade.fogOverZ = 0.0f;
    m_Vertex[2].m_Shade.fogOverZ = 3.0f;  // beyond full fog: black, not wrapped
    SD3DVertex v[qvn_cFace::kMaxVertices];
    ASSERT_EQ(qvn_D3DFan(&m_Face, {0, eD3DBlend::kCopy, eD3DCoords::kTexture, true}, v), 5);
    EXPECT_EQ(v[0].diffuse, 0x030303u);  // 255 - trunc(252.45)
    EXPECT_EQ(v[1].diffuse, 0xFFFFFFu);
    EXPECT_EQ(v[2].diffuse, 0u);
}

TEST_F(D3DFan, PolygonsTheDeviceCannotTakeGiveNoFan) {
    SD3DVertex v[qvn_cFace::kMaxVertices];
    const SD3DPass pass{0, eD3DBlend::kCopy, eD3DCoords::kTexture, false};
    EXPECT_EQ(qvn_D3DFan(nullptr, pass, v), 0);
    m_Face.m_nVertexCount = 2;
    EXPECT_EQ(qvn_D3DFan(&m_Face, pass, v), 0);
    m_Face.m_nVertexCount = 9;
    EXPECT_EQ(qvn_D3DFan(&m_Face, pass, v), 0);
    m_Face.m_nVertexCount = 3;
    m_Face.m_Corner[1].iz = 0.0f;  // a corner at infinite depth
    EXPECT_EQ(qvn_D3DFan(&m_Face, pass, v), 0);
}

}  // namespace
