// The software rasteriser: clipped polygons are walked edge by edge and filled
// span by span into a 16-bit surface, with perspective correction every 16
// pixels and 16.16 texture steps in between.
#pragma once

#include <cstdint>

#include "qvn_EngDisplay.h"
#include "qvn_PixelFormat.h"
#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"
#include "qvn_cTextureCache.h"

class qvn_cSoftRenderer;

class qvn_cSoftMaterial : public qvn_cMaterial {
public:
    explicit qvn_cSoftMaterial(qvn_cSoftRenderer* renderer) : m_pRenderer(renderer) {}
    // Binds the textures its type needs and sets the render mode; nothing when
    // it is already the renderer's current material.
    void Select() override;

    qvn_cSoftRenderer* m_pRenderer;
};

class qvn_cSoftRenderer : public qvn_cRenderer {
public:
    // The widest span: a row's set-up keeps a coordinate for each 16 pixels.
    static constexpr int kSpanPixels = 1024;

    // display: the screen Begin locks. Null: the target set with SetTarget,
    // else g_pDisplay as it is when Begin runs.
    explicit qvn_cSoftRenderer(qvn_cEngDisplay* display = nullptr);
    ~qvn_cSoftRenderer() override = default;

    void DrawFace(qvn_cFace* face) override;
    void Fill(qvn_cFace* polygon) override;
    void Begin() override;
    void End() override;
    qvn_cMaterial* NewMaterial() override;
    qvn_cTexture* NewTexture() override;

    // A surface of our own (tools, tests, benchmarks): Begin draws into it when
    // there is no display. Sets the clip bounds from the size.
    void SetTarget(uint16_t* pixels, int width, int height, int pitchPixels, const qvn_cPixelFormat& pixelFormat);
    // The cache textures are looked up in, given by whoever made both (the
    // program's factories, a tool, a test). Without one every texture unit
    // stays empty and the faces needing one are skipped.
    void SetTextureCache(qvn_cTextureCache* cache) { m_pCache = cache; }
    qvn_cTextureCache* TextureCache() const { return m_pCache; }
    // Unit 0 or 1 := the texture's slot (uploading it on first use); null when
    // the cache cannot hold it, and faces needing that unit are then skipped.
    void BindTexture(qvn_cTexture* texture, int unit) {
        qvn_cTextureCache* cache = TextureCache();
        m_pUnit[unit & 1] = cache ? cache->Lookup(texture) : nullptr;
    }
    // The locked surface, null outside Begin/End or when the lock failed.
    uint16_t* Pixels() const { return m_pPixels; }

    qvn_cEngDisplay* m_pDisplay;
    uint16_t* m_pPixels = nullptr;
    int32_t m_nPitchPixels = 0;
    int32_t m_nPitchBytes = 0;
    const uint8_t* m_pUnit[2] = {nullptr, nullptr};
    uint32_t m_nRBMask = 0, m_nRBCarry = 0, m_nGMask = 0, m_nGCarry = 0;
    int32_t m_nGShift = 6, m_nRBShift = 5;

private:
    void SetPixelFormat(const qvn_cPixelFormat& pf);
    qvn_cEngDisplay* Display() const;
    bool PolygonDrawable(const qvn_cFace* poly) const;
    // add: the saturating add of the screen's format.
    template <int kind, class Add>
    void FillPerspective(const qvn_cFace* poly, const Add& add);
    // FillPerspective with the add of the screen's format.
    template <int kind>
    void FillAdding(const qvn_cFace* poly);

    // The map alone (mode 0x205).
    void FillEnvironment(const qvn_cFace* poly);
    // The map added over the texture pass of mode 0x307, on its pixels.
    void FillEnvironmentOverTexture(const qvn_cFace* poly);

    qvn_cTextureCache* m_pCache = nullptr;
    qvn_cEngDisplay* m_pLocked = nullptr;  // the display locked by Begin
    uint16_t* m_pTargetPixels = nullptr;
    int32_t m_nTargetPitch = 0;
    int32_t m_nWidth = 320, m_nHeight = 240;
};

// Whether the rows' 8-pixel stretches have a second, AVX2 copy on this
// processor (both give the same pixels); force = true makes the rasteriser use
// the plain loops only, for tests comparing the two.
bool qvn_ForceGenericRasterRows(bool force);
