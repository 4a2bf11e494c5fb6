// demo_hw's renderer on OpenGL: the same clipper and render modes as the
// software rasteriser, drawn as pre-transformed triangles into the GL
// display's target with a depth test where nearer or equal wins. A frame's
// faces are gathered between Begin and End and drawn in a few draw calls:
// one per run of faces that share their textures and blending.
#pragma once

#include <cstdint>
#include <vector>

#include "qvn_GLDevice.h"
#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"

class qvn_cGLDisplay;
class qvn_cRendererGL;

// A texture of the GL build: the paletted image waits until the first face
// needs it, then becomes a 256 x 256 texture laid out as the software
// texture cache lays it out (index v * 256 + u of the converted texels), so
// both renderers read the same texel for the same coordinates.
class qvn_cTextureGL : public qvn_cTexture {
public:
    ~qvn_cTextureGL() override;
    bool loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) override;
    // Where the mask texture's texel is black (5-6-5 value 0, the texel the
    // software renderer's masked fill skips), this texture gets a hole.
    void SetHolesFrom(qvn_cTextureGL* mask);
    // The texels in the screen's 5-6-5 format, 256 x 256, built on demand
    // from the image (which stays until the upload); null without image.
    void* lock() override;
    int getPitchPixels() override { return m_Texels.empty() ? 0 : 256; }

    // The GL name, uploading on first use; 0 when there is nothing to upload.
    uint32_t Name(qvn_cGLDevice* device);
    bool HasHoles() const { return m_bHoles; }

private:
    bool BuildTexels();

    std::vector<uint16_t> m_Texels;  // 256 x 256, 5-6-5
    std::vector<uint8_t> m_Holes;    // 256 x 256, 1 = transparent
    bool m_bHoles = false;
    uint32_t m_nName = 0;
    qvn_cGLDevice* m_pDevice = nullptr;
};

class qvn_cMaterialGL : public qvn_cMaterial {
public:
    explicit qvn_cMaterialGL(qvn_cRendererGL* renderer) : m_pRenderer(renderer) {}
    // Texture 2 is the mask of texture 0: where it is black, texture 0 gets
    // holes (drawn through the colour key).
    void Finish() override;
    // The software material's rules: same tests, same modes, same early
    // return when already current; binding stores the texture objects.
    void Select() override;

    qvn_cRendererGL* m_pRenderer;
};

class qvn_cRendererGL : public qvn_cRenderer {
public:
    // display: the target Begin draws into, given by whoever made it; null
    // draws nothing.
    explicit qvn_cRendererGL(qvn_cGLDisplay* display = nullptr);
    ~qvn_cRendererGL() override;

    void DrawFace(qvn_cFace* face) override;
    void Fill(qvn_cFace* polygon) override;
    void Begin() override;
    void End() override;
    qvn_cMaterial* NewMaterial() override;
    qvn_cTexture* NewTexture() override;

    void BindTexture(qvn_cTexture* texture, int unit) { m_pUnit[unit & 1] = static_cast<qvn_cTextureGL*>(texture); }

    // What the last frame cost: faces drawn (after clipping) and draw calls.
    int LastFaces() const { return m_nLastFaces; }
    int LastDrawCalls() const { return m_nLastDrawCalls; }

    qvn_cTextureGL* m_pUnit[2] = {nullptr, nullptr};

    // A texture being destroyed leaves every unit that holds it: a unit that
    // a later material does not bind keeps its texture, and that must not
    // be one whose scene is gone.
    static void ForgetTexture(const qvn_cTextureGL* texture);

private:
    struct SPass {
        uint32_t texture;
        bool additive, keyed;
        bool operator==(const SPass& o) const {
            return texture == o.texture && additive == o.additive && keyed == o.keyed;
        }
    };
    struct SBatchRun {
        SPass pass;
        std::vector<qvn_cGLDevice::SVertex> vertices;
    };
    enum class eCoords { kTexture, kEnvironment };

    // The run a pass of a face goes to. Copied passes are grouped by state
    // for the whole frame (the depth test keeps them in their places);
    // added passes keep the painter's order, after every copied one, and
    // join the last such run when it has their state.
    SBatchRun* Run(const SPass& pass);
    void AddFan(const qvn_cFace* poly, SBatchRun* run, eCoords coords, bool fog);
    void Flush();

    qvn_cGLDisplay* m_pDisplay;
    qvn_cGLDisplay* m_pActive = nullptr;  // the display between Begin and End
    qvn_cGLDevice* m_pDevice = nullptr;
    // Kept across frames for their capacity; the first m_nCopied and
    // m_nAdded are this frame's.
    std::vector<SBatchRun> m_Copied, m_Added;
    int m_nCopied = 0, m_nAdded = 0;
    std::vector<qvn_cGLDevice::SVertex> m_AllVertices;
    std::vector<qvn_cGLDevice::SRun> m_DeviceRuns;
    int m_nFaces = 0, m_nLastFaces = 0, m_nLastDrawCalls = 0;
    float m_fWidth = 320.0f, m_fHeight = 240.0f;
};
