// Texture memory of the software build: one block cut into 103 slots of
// 128 KiB. A slot holds a 256 x 256 texture in the screen's 16-bit format, or
// for a fogged texture the 8-bit indices, with its shade table in the next slot
// (256 fog levels of 256 colours: the shade of colour c at level l is entry
// l * 256 + c).
#pragma once

#include <cstdint>

#include "qvn_PixelFormat.h"

class qvn_cTexture;
class qvn_cScene;

// Where a program keeps its scenes' textures. The bare store is the hardware
// builds': their textures live on the device and upload on first use.
class qvn_cTextureStore {
public:
    virtual ~qvn_cTextureStore() = default;
    // Makes the scene's textures ready before its first frame, emptying the
    // store first when asked.
    virtual void RegisterScene(qvn_cScene* /*scene*/, bool /*reset*/) {}
};

class qvn_cTextureCache : public qvn_cTextureStore {
public:
    // 104 slots' worth, for 103 slots on 128 KiB boundaries, and a tail: the
    // rasteriser's vector rows read each texel as 32 bits, so a read of the
    // last texel of the last slot reaches two bytes past it.
    static constexpr uint32_t kBlockBytes = 0xD00000 + 64;
    static constexpr uint32_t kSlotBytes = 0x20000;
    static constexpr int kSlotCount = 103;

    qvn_cTextureCache();
    ~qvn_cTextureCache() override;

    // Allocates the block (filled with 0xFF) for the given screen format
    // (5-6-5 when null); false when out of memory.
    bool Create(const qvn_cPixelFormat* pixelFormat = nullptr);
    void Reset();
    void Destroy();
    // The slot holding the texture, uploading it first if needed; null when the
    // cache is full, not created, or the texture has nothing left to upload.
    uint8_t* Lookup(qvn_cTexture* texture);
    // Selects every material of the scene once, which uploads their textures.
    void PrepareScene(qvn_cScene* scene);
    // Reset when asked, then PrepareScene.
    void RegisterScene(qvn_cScene* scene, bool reset) override;
    // Called by a texture being destroyed: its slots become free.
    void Forget(qvn_cTexture* texture);

    uint8_t* SlotAddress(int slot) const { return m_Slots[slot].address; }
    int SlotOf(const uint8_t* address) const;
    const qvn_cPixelFormat& PixelFormat() const { return m_PixelFormat; }

private:
    bool Upload(qvn_cTexture* texture);

    struct SSlot {
        qvn_cTexture* key;
        uint8_t* address;
    };
    uint8_t* m_pBlock = nullptr;
    SSlot m_Slots[kSlotCount];
    qvn_cPixelFormat m_PixelFormat;
};

extern qvn_cTextureStore* g_pTextureStore;
