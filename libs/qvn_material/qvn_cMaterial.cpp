#include "qvn_cMaterial.h"

#include <cstring>
#include <new>

#include "qvn_cRenderer.h"
#include "qvn_cTextureCache.h"

void SIndexedImage::Release() {
    delete[] m_pPalette;
    delete[] m_pIndices;
    m_pPalette = nullptr;
    m_pIndices = nullptr;
}

bool qvn_cTexture::load(const char*) { return false; }
void qvn_cTexture::applyMask(const uint16_t*, int) {}
void* qvn_cTexture::lock() { return nullptr; }
void qvn_cTexture::unlock() {}
int qvn_cTexture::getPitchPixels() { return 0; }
void qvn_cTexture::setTexture(int) {}
bool qvn_cTexture::loadIndexed(const uint8_t*, const uint8_t*, int, int) { return false; }

qvn_cTexture::~qvn_cTexture() {
    if (m_pCache) m_pCache->Forget(this);
    delete m_pImage;
}

bool qvn_cTextureSoft::loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) {
    // The image keeps its size in 16 bits; anything larger would not match
    // the pixels copied below.
    if (!indices || !palette || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    SIndexedImage* image = new (std::nothrow) SIndexedImage();
    if (!image) return false;
    image->m_pPalette = new (std::nothrow) uint8_t[768];
    image->m_pIndices = new (std::nothrow) uint8_t[count];
    if (!image->m_pPalette || !image->m_pIndices) {
        delete image;
        return false;
    }
    std::memcpy(image->m_pPalette, palette, 768);
    std::memcpy(image->m_pIndices, indices, count);
    image->m_nWidth = static_cast<uint16_t>(width);
    image->m_nHeight = static_cast<uint16_t>(height);
    delete m_pImage;
    m_pImage = image;
    m_nWidth = width;
    m_nHeight = height;
    return true;
}

qvn_cMaterial::qvn_cMaterial() {
    for (float& f : m_fColors) f = 1.0f;
    m_fUnset = 0.0f;
}

qvn_cMaterial::~qvn_cMaterial() {
    for (qvn_cTexture*& t : m_pTexture) {
        delete t;
        t = nullptr;
    }
}

bool qvn_cMaterial::AllocTexture(int slot, qvn_cRenderer* renderer) {
    if (slot < 0 || slot >= kTextureSlots || !renderer) return false;
    qvn_cTexture* texture = renderer->NewTexture();
    if (!texture) return false;
    delete m_pTexture[slot];
    m_pTexture[slot] = texture;
    return true;
}

int32_t qvn_cMaterial::Selection(qvn_cTexture** unit0, qvn_cTexture** unit1) const {
    qvn_cTexture* t0 = m_pTexture[0];
    qvn_cTexture* t1 = m_pTexture[1];
    qvn_cTexture* t2 = m_pTexture[2];
    *unit0 = *unit1 = nullptr;
    if (m_nType == 0) {
        if (!t0) return QVN_MODE_COPY;
        *unit0 = t0;
        return QVN_MODE_ADD;
    }
    if (m_nType != 2) return QVN_MODE_COPY;
    if (!t0) {
        if (!t1) return QVN_MODE_COPY;
        *unit1 = t1;
        return QVN_MODE_ENV;
    }
    *unit0 = t0;
    if (t2) {
        *unit1 = t2;
        return QVN_MODE_MASK;
    }
    if (t1) {
        *unit1 = t1;
        return QVN_MODE_TEX_ENV;
    }
    return t0->m_bFogged ? QVN_MODE_FOG : QVN_MODE_COPY;
}
