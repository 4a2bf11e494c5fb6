#include "qvn_D3DFaces.h"

#include "qvn_cMaterial.h"

// Direct3D 6 render state numbers and values used by the blends.
enum : uint32_t {
    kStateTextureMapBlend = 21,
    kStateSrcBlend = 19,
    kStateDestBlend = 20,
    kStateAlphaBlendEnable = 27,
    kTBlendModulate = 2,
    kBlendZero = 1,
    kBlendOne = 2,
};

int qvn_D3DPasses(int32_t mode, bool unit0, bool unit1, SD3DPass out[2]) {
    const SD3DPass copy{0, eD3DBlend::kCopy, eD3DCoords::kTexture, false};
    switch (mode) {
        case QVN_MODE_ADD:
            if (!unit0) return 0;
            out[0] = {0, eD3DBlend::kAdd, eD3DCoords::kTexture, false};
            return 1;
        case QVN_MODE_TEX_ENV:
            if (!unit0) return 0;
            out[0] = copy;
            if (!unit1) return 1;
            out[1] = {1, eD3DBlend::kAdd, eD3DCoords::kEnvironment, false};
            return 2;
        case QVN_MODE_FOG:
            if (!unit0) return 0;
            out[0] = {0, eD3DBlend::kCopy, eD3DCoords::kTexture, true};
            return 1;
        case QVN_MODE_ENV:
            // The environment map alone, on the coordinates the clipper
            // carries for this mode (its texture coordinates are not kept).
            if (!unit1) return 0;
            out[0] = {1, eD3DBlend::kCopy, eD3DCoords::kEnvironment, false};
            return 1;
        default:  // copy, and masked (the holes are in texture 0's colour key)
            if (!unit0) return 0;
            out[0] = copy;
            return 1;
    }
}

int qvn_D3DBlendStates(eD3DBlend blend, SD3DRenderState out[4]) {
    const bool add = blend == eD3DBlend::kAdd;
    out[0] = {kStateAlphaBlendEnable, add ? 1u : 0u};
    out[1] = {kStateTextureMapBlend, kTBlendModulate};
    out[2] = {kStateSrcBlend, kBlendOne};
    out[3] = {kStateDestBlend, add ? static_cast<uint32_t>(kBlendOne) : static_cast<uint32_t>(kBlendZero)};
    return 4;
}

// Coordinates 0 .. 1 cover texels 0 .. 255 of the scenes' 256-texel
// textures, as the software fillers read them (u * 255, wrapping at 256): the
// texture repeats every 256 / 255. A device spreads 0 .. 1 over all 256, so
// a floor tiled ten times would drift ten texels away from the other builds.
constexpr float kTexelScale = 255.0f / 256.0f;

int qvn_D3DFan(const qvn_cFace* poly, const SD3DPass& pass, SD3DVertex out[qvn_cFace::kMaxVertices]) {
    if (!poly) return 0;
    const int n = poly->m_nVertexCount;
    if (n < 3 || n > qvn_cFace::kMaxVertices) return 0;
    for (int i = 0; i < n; ++i) {
        const qvn_cVertex* vertex = poly->m_pVertex[i];
        const qvn_cCorner& c = poly->m_Corner[i];
        const float iz = c.iz;
        if (!(iz > 0.0f)) return 0;  // behind the near plane: the clipper let something odd through
        SD3DVertex& v = out[i];
        v.x = vertex->m_Screen.x;
        v.y = vertex->m_Screen.y;
        // 1 / depth: larger is nearer, for the greater-or-equal depth test.
        v.z = iz;
        v.rhw = iz;
        v.specular = 0;
        if (pass.coords == eD3DCoords::kTexture) {
            v.tu = c.uz / iz * kTexelScale;
            v.tv = c.vz / iz * kTexelScale;
        } else {
            v.tu = c.euz / iz * kTexelScale;
            v.tv = c.evz / iz * kTexelScale;
        }
        if (pass.fog) {
            // Grey 255 - 255 * fog, multiplied into the texel: the software
            // fog's darkening towards black.
            float f = vertex->m_Shade.fogOverZ / iz;
            f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
            const uint32_t g = static_cast<uint32_t>(255 - static_cast<int>(255.0f * f));
            v.diffuse = g * 0x10101u;
        } else {
            v.diffuse = 0x00FFFFFFu;
        }
    }
    return n;
}
