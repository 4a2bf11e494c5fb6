#include "qvn_cTextureCache.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "qvn_cMaterial.h"
#include "qvn_cPalette.h"
#include "qvn_cScene.h"

qvn_cTextureStore* g_pTextureStore = nullptr;

qvn_cTextureCache::qvn_cTextureCache() {
    for (SSlot& s : m_Slots) s = SSlot{nullptr, nullptr};
    m_PixelFormat.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
}

qvn_cTextureCache::~qvn_cTextureCache() { Destroy(); }

bool qvn_cTextureCache::Create(const qvn_cPixelFormat* pixelFormat) {
    Destroy();
    if (pixelFormat) m_PixelFormat = *pixelFormat;
    m_pBlock = new (std::nothrow) uint8_t[kBlockBytes];
    if (!m_pBlock) return false;
    std::memset(m_pBlock, 0xFF, kBlockBytes);
    Reset();
    return true;
}

void qvn_cTextureCache::Reset() {
    for (SSlot& s : m_Slots) {
        if (s.key) s.key->m_pCache = nullptr;
        s.key = nullptr;
    }
    if (!m_pBlock) return;
    // Slots start on 128 KiB boundaries: the rasteriser forms a texel address
    // by putting v * 256 + u into the low bits of the slot address.
    const uintptr_t start = reinterpret_cast<uintptr_t>(m_pBlock);
    const uintptr_t base = (start + kSlotBytes) & ~static_cast<uintptr_t>(kSlotBytes - 1);
    for (int i = 0; i < kSlotCount; ++i) m_Slots[i].address = m_pBlock + (base - start) + static_cast<size_t>(i) * kSlotBytes;
}

void qvn_cTextureCache::Destroy() {
    for (SSlot& s : m_Slots) {
        if (s.key) s.key->m_pCache = nullptr;
        s = SSlot{nullptr, nullptr};
    }
    delete[] m_pBlock;
    m_pBlock = nullptr;
}

int qvn_cTextureCache::SlotOf(const uint8_t* address) const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (address && m_Slots[i].address == address) return i;
    }
    return -1;
}

void qvn_cTextureCache::Forget(qvn_cTexture* texture) {
    for (SSlot& s : m_Slots) {
        if (s.key == texture) s.key = nullptr;
    }
}

uint8_t* qvn_cTextureCache::Lookup(qvn_cTexture* texture) {
    if (!texture || !m_pBlock) return nullptr;
    // Faces in depth order switch materials at almost every face: the slot
    // the texture went to last is tried before the whole list.
    const int hint = texture->m_nCacheSlot;
    if (texture->m_pCache == this && hint >= 0 && hint < kSlotCount && m_Slots[hint].key == texture)
        return m_Slots[hint].address;
    for (int pass = 0; pass < 2; ++pass) {
        for (const SSlot& s : m_Slots) {
            if (s.key == texture) return s.address;
        }
        if (pass == 0 && !Upload(texture)) return nullptr;
    }
    return nullptr;
}

bool qvn_cTextureCache::Upload(qvn_cTexture* texture) {
    SIndexedImage* image = texture->m_pImage;
    // Uploaded before a reset: the pixels are gone, so there is nothing to put
    // in a slot.
    if (!image || !image->m_pIndices || !image->m_pPalette) return false;
    int slot = -1;
    for (int i = 0; i < kSlotCount; ++i) {
        if (!m_Slots[i].key) {
            slot = i;
            break;
        }
    }
    if (slot < 0) return false;
    // The shade table goes in the next slot; one that is taken, or a texture in
    // the last slot, leaves no room for it.
    if (texture->m_bFogged && (slot + 1 >= kSlotCount || m_Slots[slot + 1].key)) return false;

    // A slot holds 65536 texels; a larger picture keeps its first 65536 (its
    // top 256 rows when 256 wide) rather than spilling into the next slot.
    const size_t texels = static_cast<size_t>(image->m_nWidth) * image->m_nHeight;
    const size_t count = texels < 65536 ? texels : 65536;
    uint8_t* dst = m_Slots[slot].address;
    if (texture->m_bFogged) {
        static_assert(kSlotBytes >= 65536 * 2, "a slot holds a shade table");
        std::memcpy(dst, image->m_pIndices, count);
        qvn_cPalette palette;
        qvn_cPaletteColor black(0.0f, 0.0f, 0.0f);
        // Built colour by colour, kept level by level (turned over in place):
        // along a row of a face the fog level hardly moves while the colours
        // jump, so the shades one row reads lie together.
        uint16_t* table = reinterpret_cast<uint16_t*>(m_Slots[slot + 1].address);
        if (!palette.buildShadeTable(image->m_pPalette, table, &black, &m_PixelFormat)) return false;
        for (int colour = 0; colour < 256; ++colour)
            for (int level = colour + 1; level < 256; ++level)
                std::swap(table[colour * 256 + level], table[level * 256 + colour]);
        m_Slots[slot + 1].key = texture;
    } else {
        uint16_t colours[256];
        const uint8_t* pal = image->m_pPalette;
        const qvn_cPixelFormat& pf = m_PixelFormat;
        for (int i = 0; i < 256; ++i) {
            colours[i] = static_cast<uint16_t>(((pal[3 * i] >> pf.m_nShiftRDrop) << pf.m_nShiftRLow) |
                                               ((pal[3 * i + 1] >> pf.m_nShiftGDrop) << pf.m_nShiftGLow) |
                                               ((pal[3 * i + 2] >> pf.m_nShiftBDrop) << pf.m_nShiftBLow));
        }
        uint16_t* out = reinterpret_cast<uint16_t*>(dst);
        for (size_t i = 0; i < count; ++i) out[i] = colours[image->m_pIndices[i]];
    }
    m_Slots[slot].key = texture;
    texture->m_pCache = this;
    texture->m_nCacheSlot = slot;
    image->Release();
    return true;
}

void qvn_cTextureCache::PrepareScene(qvn_cScene* scene) {
    if (!scene) return;
    for (int i = 0; i < scene->m_nMaterialCount; ++i) {
        if (scene->m_pMaterials[i]) scene->m_pMaterials[i]->Select();
    }
}

void qvn_cTextureCache::RegisterScene(qvn_cScene* scene, bool reset) {
    if (reset) Reset();
    PrepareScene(scene);
}
