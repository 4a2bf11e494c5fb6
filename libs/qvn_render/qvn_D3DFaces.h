// What demo_hw's Direct3D renderer sends for a clipped polygon, apart from
// the device: which passes a render mode draws with which unit and blend,
// the render states of each blend, and the pre-transformed vertices of a
// fan. No device here, so every build can check these rules.
#pragma once

#include <cstdint>

#include "qvn_cMesh.h"

// One vertex of the flexible format XYZRHW | DIFFUSE | SPECULAR | TEX1.
struct SD3DVertex {
    float x, y, z, rhw;
    uint32_t diffuse;  // 0xAARRGGBB
    uint32_t specular;
    float tu, tv;
};
static_assert(sizeof(SD3DVertex) == 32, "the device reads 32-byte records");
constexpr uint32_t QVN_D3D_FVF = 0x1C4;

enum class eD3DBlend { kCopy, kAdd };
enum class eD3DCoords { kTexture, kEnvironment };

struct SD3DPass {
    int unit;  // texture unit whose texture is bound
    eD3DBlend blend;
    eD3DCoords coords;
    bool fog;
};

// The passes of a face in render mode `mode`, given which units hold a
// texture; 0 when the face cannot be drawn (its texture is missing).
int qvn_D3DPasses(int32_t mode, bool unit0, bool unit1, SD3DPass out[2]);

struct SD3DRenderState {
    uint32_t state, value;
};
// The render states of a blend in the order they are set; returns 4.
// Added faces modulate the texel by their white vertex colour (the texel
// itself) and the frame buffer blend adds that to the screen.
int qvn_D3DBlendStates(eD3DBlend blend, SD3DRenderState out[4]);

// The fan of a clipped polygon for one pass (texture coordinates on the
// software fillers' 256 / 255 period); returns the vertex count (0 for
// a polygon the device cannot take: fewer than 3 or more than 8 vertices).
int qvn_D3DFan(const qvn_cFace* poly, const SD3DPass& pass, SD3DVertex out[qvn_cFace::kMaxVertices]);
