// demo_hw's texture on Windows: a picture or a paletted image turned into a
// managed 16-bit texture surface of the Direct3D device, colour-keyed on
// texel 0.
#pragma once

#include <cstdint>

#include "qvn_PixelFormat.h"
#include "qvn_cMaterial.h"

class qvn_cEngDisplay3D;
struct IDirect3DTexture2;
struct IDirectDrawSurface4;

class qvn_cTextureD3D : public qvn_cTexture {
public:
    // display: the device the texture lives on; null: the current display.
    explicit qvn_cTextureD3D(qvn_cEngDisplay3D* display = nullptr);
    ~qvn_cTextureD3D() override;

    // A picture file (JPEG, BMP, PCX) at its own size.
    bool load(const char* szFileName) override;
    // A mask as large as this texture (pitchPixels values a row).
    void applyMask(const uint16_t* mask, int pitchPixels) override;
    // Mask value 1 punches a hole (texel 0, keyed); only where both the
    // texture and the mask (maskWidth x maskHeight) have texels.
    bool applyMask(const uint16_t* mask, int pitchPixels, int maskWidth, int maskHeight);
    // The texels (16-bit), null when the surface cannot be locked.
    void* lock() override;
    void unlock() override;
    int getPitchPixels() override { return m_nPitchPixels; }
    // Binds the texture on the device's stage m_nStage.
    void setTexture(int unit) override;
    bool loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) override;

    bool Ready() const { return m_pTexture != nullptr; }

    // Told of every texture being destroyed (the renderer drops it from its
    // units, which keep their texture between materials); may be null.
    static void (*s_pfnForget)(const qvn_cTextureD3D* texture);

    qvn_cPixelFormat m_PixelFormat;
    IDirect3DTexture2* m_pTexture = nullptr;
    IDirectDrawSurface4* m_pSurface = nullptr;
    qvn_cEngDisplay3D* m_pDisplay;
    int32_t m_nStage = 0;
    int32_t m_nPitchPixels = 0;

private:
    bool CreateSurface(int width, int height);
    void Release();
};
