// demo_hw's screen on Windows: the DirectDraw display with a hardware (HAL)
// Direct3D device on its back buffer, a 16-bit z-buffer, a viewport and the
// fixed render states; the picture parts still lock the back buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "qvn_EngDisplay.h"

struct IDirect3D3;
struct IDirect3DDevice3;
struct IDirect3DViewport3;

class qvn_cEngDisplay3D : public qvn_cEngDisplay {
public:
    qvn_cEngDisplay3D();
    ~qvn_cEngDisplay3D() override;
    // Surfaces lost to a task switch are restored first.
    void Lock() override;
    bool Init(int width, int height, int bpp, int windowed) override;
    // Colour and depth of the viewport (depth 0.0: the farthest).
    void Clear() override;
    // DirectDraw with 3D-capable surfaces, then the device, then the list of
    // its texture formats.
    bool Init(const char* deviceName, int width, int height, int bpp, int windowed) override;

    bool InitDirect3d();
    // The first listed RGB texture format with nBitCount bits (a DDPIXELFORMAT
    // record), or null.
    const uint8_t* findTextureFormat(int nBitCount) const;
    // Restores the surfaces when the back buffer was lost (a task switch took
    // the screen); true when they are usable.
    bool RestoreLostSurfaces();

    IDirectDrawSurface4* m_pZBuffer = nullptr;
    IDirect3D3* m_pD3D = nullptr;
    IDirect3DDevice3* m_pDevice = nullptr;
    IDirect3DViewport3* m_pViewport = nullptr;

protected:
    // InitDirect3d, then the texture formats.
    bool InitDevice();
};

// Capture mode on Windows: the same device rendering into an off-screen
// 5-6-5 surface (no mode change, no window on show); every Flip reads the
// surface and hands the frame to the capture session.
class qvn_cCaptureD3DDisplay : public qvn_cEngDisplay3D {
public:
    qvn_cCaptureD3DDisplay();
    ~qvn_cCaptureD3DDisplay() override;
    bool Init(const char* deviceName, int width, int height, int bpp, int windowed) override;
    void Flip() override;

private:
    std::vector<uint16_t> m_Presented;
    void* m_hWnd = nullptr;  // a hidden window the device is made for
};

// The current Direct3D display (g_pDisplay seen as one), or null.
qvn_cEngDisplay3D* qvn_CurrentDisplay3D();
