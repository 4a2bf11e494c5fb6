#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstring>
#include <memory>

#include "qvn_Bitmap.h"
#include "qvn_D3DTexels.h"
#include "qvn_DisplayD3D.h"
#include "qvn_ErrorLog.h"
#include "qvn_TextureD3D.h"

qvn_cTextureD3D::qvn_cTextureD3D(qvn_cEngDisplay3D* display)
    : m_pDisplay(display ? display : qvn_CurrentDisplay3D()) {}

void (*qvn_cTextureD3D::s_pfnForget)(const qvn_cTextureD3D*) = nullptr;

qvn_cTextureD3D::~qvn_cTextureD3D() {
    if (s_pfnForget) s_pfnForget(this);
    Release();
}

void qvn_cTextureD3D::Release() {
    if (m_pTexture) m_pTexture->Release();
    m_pTexture = nullptr;
    if (m_pSurface) m_pSurface->Release();
    m_pSurface = nullptr;
}

bool qvn_cTextureD3D::CreateSurface(int width, int height) {
    Release();
    if (!m_pDisplay || !m_pDisplay->m_pDD4 || width <= 0 || height <= 0) return false;
    const uint8_t* record = m_pDisplay->findTextureFormat(16);
    if (!record) return false;
    DDPIXELFORMAT format;
    std::memcpy(&format, record, sizeof format);
    std::memcpy(m_PixelFormat.m_ddpf, record, sizeof m_PixelFormat.m_ddpf);
    m_PixelFormat.SetFromMasks(static_cast<int>(format.dwRGBBitCount), format.dwRBitMask, format.dwGBitMask,
                               format.dwBBitMask);
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    desc.dwTextureStage = m_nStage;
    desc.ddpfPixelFormat = format;
    if (FAILED(m_pDisplay->m_pDD4->CreateSurface(&desc, &m_pSurface, nullptr))) return false;
    // Without the texture interface the device could not bind it.
    if (FAILED(m_pSurface->QueryInterface(IID_IDirect3DTexture2, reinterpret_cast<void**>(&m_pTexture)))) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cTextureD3D : QueryInterface for the texture failed\n");
        Release();
        return false;
    }
    m_pTexture->Load(m_pTexture);
    DDCOLORKEY key = {0, 0};
    m_pSurface->SetColorKey(DDCKEY_SRCBLT, &key);
    m_nWidth = width;
    m_nHeight = height;
    return true;
}

void* qvn_cTextureD3D::lock() {
    if (!m_pSurface) return nullptr;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (FAILED(m_pSurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr)) || !desc.lpSurface) {
        QVN_LOG_LOCATION();
        LogMessage("TextureSurface lock failed\n");
        m_nPitchPixels = 0;
        return nullptr;
    }
    m_nPitchPixels = static_cast<int32_t>(desc.lPitch / 2);
    return desc.lpSurface;
}

void qvn_cTextureD3D::unlock() {
    if (m_pSurface) m_pSurface->Unlock(nullptr);
}

bool qvn_cTextureD3D::load(const char* szFileName) {
    std::unique_ptr<qvn_cBitmap> picture(new qvn_cBitmap);
    if (!picture->loadFromFile(szFileName) || !picture->m_p32bitsPixels) return false;
    if (!CreateSurface(picture->m_nSizeX, picture->m_nSizeY)) return false;
    uint16_t* texels = static_cast<uint16_t*>(lock());
    // A texture whose texels were never written must not pass for loaded.
    if (!texels) return false;
    const bool ok = qvn_ConvertPictureTexels(picture->m_p32bitsPixels, picture->m_nSizeX, picture->m_nSizeY,
                                             picture->m_nSizeX, texels, m_nPitchPixels, m_PixelFormat);
    unlock();
    return ok;
}

bool qvn_cTextureD3D::loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) {
    if (!indices || !palette || width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return false;
    if (!CreateSurface(width, height)) return false;
    uint16_t* texels = static_cast<uint16_t*>(lock());
    if (!texels) return false;
    const bool ok = qvn_ConvertIndexedTexels(indices, palette, width, height, texels, m_nPitchPixels, m_PixelFormat);
    unlock();
    // The paletted image is not kept: the texels live on the device now.
    delete m_pImage;
    m_pImage = nullptr;
    return ok;
}

void qvn_cTextureD3D::applyMask(const uint16_t* mask, int pitchPixels) {
    applyMask(mask, pitchPixels, m_nWidth, m_nHeight);
}

bool qvn_cTextureD3D::applyMask(const uint16_t* mask, int pitchPixels, int maskWidth, int maskHeight) {
    if (!mask) return false;
    uint16_t* texels = static_cast<uint16_t*>(lock());
    if (!texels) return false;
    const bool ok =
        qvn_ApplyMaskTexels(texels, m_nPitchPixels, m_nWidth, m_nHeight, mask, pitchPixels, maskWidth, maskHeight);
    unlock();
    return ok;
}

void qvn_cTextureD3D::setTexture(int) {
    if (m_pDisplay && m_pDisplay->m_pDevice && m_pTexture) m_pDisplay->m_pDevice->SetTexture(m_nStage, m_pTexture);
}
