// Materials and textures. The renderer creates them (each build has its own
// kinds), the scene importer fills them, and selecting a material binds its
// textures and sets the render mode the rasteriser fills with.
#pragma once

#include <cstdint>

class qvn_cRenderer;

// Render mode words; the high byte says which per-corner values the clipper
// carries (0x100 texture, 0x200 environment, 0x400 fog).
enum : int32_t {
    QVN_MODE_COPY = 0x100,
    QVN_MODE_ADD = 0x101,
    QVN_MODE_MASK = 0x102,
    QVN_MODE_ENV = 0x205,
    QVN_MODE_TEX_ENV = 0x307,
    QVN_MODE_FOG = 0x503,
};
constexpr int32_t QVN_ATTR_TEXTURE = 0x100, QVN_ATTR_ENV = 0x200, QVN_ATTR_FOG = 0x400, QVN_ATTR_MASK = 0x700;

// An 8-bit paletted picture waiting for its upload.
struct SIndexedImage {
    uint16_t m_nWidth = 0, m_nHeight = 0;
    uint8_t* m_pPalette = nullptr;  // 768 bytes: red, green, blue per entry
    uint8_t* m_pIndices = nullptr;  // width * height, rows top to bottom
    ~SIndexedImage() { Release(); }
    void Release();
};

class qvn_cTextureCache;

class qvn_cTexture {
public:
    qvn_cTexture() = default;
    virtual bool load(const char* path);
    virtual void applyMask(const uint16_t* mask, int pitchPixels);
    virtual void* lock();
    virtual void unlock();
    virtual int getPitchPixels();
    virtual void setTexture(int unit);
    virtual bool loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height);
    // Also tells the cache holding it, so a later texture at the same address
    // is not taken for this one.
    virtual ~qvn_cTexture();

    SIndexedImage* m_pImage = nullptr;
    int32_t m_nWidth = 0, m_nHeight = 0;
    uint8_t m_bFogged = 0;
    qvn_cTextureCache* m_pCache = nullptr;  // the cache holding an upload of it
    int32_t m_nCacheSlot = -1;              // its slot there, when it still holds it
};

class qvn_cTextureSoft : public qvn_cTexture {
public:
    // Copies the palette and the indices; false when out of memory or the
    // size is not positive.
    bool loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) override;
};

class qvn_cMaterial {
public:
    static constexpr int kTextureSlots = 3;

    qvn_cMaterial();
    // Virtual: scenes destroy materials through this base.
    virtual ~qvn_cMaterial();
    virtual void Finish() {}
    virtual void Select() = 0;
    virtual void ApplyColors() {}

    // Slot i := renderer's new texture (any previous one is destroyed); false
    // when the renderer gives none or i is not a slot.
    bool AllocTexture(int slot, qvn_cRenderer* renderer);

    // What selecting this material means for any renderer: the render mode
    // its type and textures give, and the textures for units 0 and 1 (null:
    // leave that unit as it is).
    int32_t Selection(qvn_cTexture** unit0, qvn_cTexture** unit1) const;

    // Select as every renderer's material does it: nothing when this is
    // already the renderer's current material, else the units Selection names
    // bound (a unit it leaves null keeps its texture) and its mode set.
    // Renderer: a qvn_cRenderer with BindTexture(texture, unit).
    template <class Renderer>
    void SelectThrough(Renderer* renderer) {
        if (!renderer || renderer->m_pCurrentMaterial == this) return;
        renderer->m_pCurrentMaterial = this;
        qvn_cTexture *unit0, *unit1;
        const int32_t mode = Selection(&unit0, &unit1);
        if (unit0) renderer->BindTexture(unit0, 0);
        if (unit1) renderer->BindTexture(unit1, 1);
        renderer->SetRenderMode(mode);
    }

    qvn_cTexture* m_pTexture[kTextureSlots] = {nullptr, nullptr, nullptr};
    int32_t m_nType = 0;
    float m_fColors[11];
    float m_fUnset;
    float m_fPower = 50.0f;
};
