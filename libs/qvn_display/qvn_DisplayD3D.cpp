// demo_hw's screen on Windows: DirectDraw surfaces made for 3D, the HAL
// device drawing into the back buffer with a 16-bit z-buffer, and the
// capture variant rendering into an off-screen surface.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstring>

#include "qvn_Capture.h"
#include "qvn_D3DTexels.h"
#include "qvn_DisplayD3D.h"
#include "qvn_ErrorLog.h"

namespace {

HRESULT WINAPI ZBufferCallback(LPDDPIXELFORMAT format, LPVOID context) {
    // Only a plain depth format: one with stencil or other bits is not ours.
    if (format->dwFlags != DDPF_ZBUFFER) return D3DENUMRET_OK;
    LogMessage("ZBuffer has been found : %d BitDepth\n", static_cast<int>(format->dwZBufferBitDepth));
    *static_cast<DDPIXELFORMAT*>(context) = *format;
    return D3DENUMRET_CANCEL;
}

HRESULT WINAPI TextureFormatCallback(LPDDPIXELFORMAT format, LPVOID context) {
    auto* list = static_cast<qvn_SPtrArray<STextureFormatBlock>*>(context);
    STextureFormatBlock* block = new STextureFormatBlock;
    static_assert(sizeof block->m_Bytes == sizeof(DDPIXELFORMAT), "the record is kept byte for byte");
    std::memcpy(block->m_Bytes, format, sizeof block->m_Bytes);
    list->Append(block);
    return D3DENUMRET_OK;
}

template <class T>
void ReleaseInto(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

qvn_cEngDisplay3D* qvn_CurrentDisplay3D() { return dynamic_cast<qvn_cEngDisplay3D*>(g_pDisplay); }

qvn_cEngDisplay3D::qvn_cEngDisplay3D() = default;

qvn_cEngDisplay3D::~qvn_cEngDisplay3D() {
    if (m_pDevice && m_pViewport) m_pDevice->DeleteViewport(m_pViewport);
    ReleaseInto(m_pViewport);
    ReleaseInto(m_pDevice);
    if (m_pZBuffer && m_pBackBuffer) m_pBackBuffer->DeleteAttachedSurface(0, m_pZBuffer);
    ReleaseInto(m_pZBuffer);
    ReleaseInto(m_pD3D);
}

bool qvn_cEngDisplay3D::Init(int width, int height, int bpp, int windowed) {
    return Init("NoSelection", width, height, bpp, windowed);
}

bool qvn_cEngDisplay3D::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    // Hardware surfaces for the device; the DirectDraw Init keeps this mode.
    m_eRenderMode = QVN_RENDER_HARDWARE;
    if (!qvn_cEngDisplay::Init(deviceName, width, height, bpp, windowed)) return false;
    return InitDevice();
}

bool qvn_cEngDisplay3D::InitDevice() {
    if (!InitDirect3d()) return false;
    m_pDevice->EnumTextureFormats(TextureFormatCallback, &m_TextureFormats);
    return true;
}

bool qvn_cEngDisplay3D::InitDirect3d() {
    if (!m_pDD4 || !m_pBackBuffer) return false;
    if (FAILED(m_pDD4->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&m_pD3D)))) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : QueryInterface failed !\n");
        return false;
    }
    DDPIXELFORMAT zFormat;
    std::memset(&zFormat, 0, sizeof zFormat);
    m_pD3D->EnumZBufferFormats(IID_IDirect3DHALDevice, ZBufferCallback, &zFormat);
    if (zFormat.dwSize == 0) {
        LogMessage("Aucun ZBuffer disponible en hardware\n");
        return false;
    }
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = m_nWidth;
    desc.dwHeight = m_nHeight;
    desc.ddpfPixelFormat = zFormat;
    desc.ddsCaps.dwCaps = DDSCAPS_ZBUFFER;
    if (FAILED(m_pDD4->CreateSurface(&desc, &m_pZBuffer, nullptr))) {
        LogMessage("La creation de la surface du zbuffer a echouee\n");
        return false;
    }
    // Without the attachment the device would draw without depth.
    if (FAILED(m_pBackBuffer->AddAttachedSurface(m_pZBuffer))) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : the z-buffer cannot be attached !\n");
        return false;
    }
    if (FAILED(m_pD3D->CreateDevice(IID_IDirect3DHALDevice, m_pBackBuffer, &m_pDevice, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : CreateDevice failed !\n");
        return false;
    }
    LogMessage("qvn_cEngDisplay::InitDirect3d : HAL device on the back buffer\n");
    if (FAILED(m_pD3D->CreateViewport(&m_pViewport, nullptr))) return false;
    if (FAILED(m_pDevice->AddViewport(m_pViewport))) return false;
    D3DVIEWPORT2 vp;
    std::memset(&vp, 0, sizeof vp);
    vp.dwSize = sizeof vp;
    vp.dwX = 0;
    vp.dwY = 0;
    vp.dwWidth = m_nWidth;
    vp.dwHeight = m_nHeight;
    vp.dvClipX = 0.0f;
    vp.dvClipY = 0.0f;
    vp.dvClipWidth = static_cast<float>(m_nWidth);
    vp.dvClipHeight = static_cast<float>(m_nHeight);
    vp.dvMinZ = 0.0f;
    vp.dvMaxZ = 1.0f;
    if (FAILED(m_pViewport->SetViewport2(&vp))) return false;
    if (FAILED(m_pDevice->SetCurrentViewport(m_pViewport))) return false;
    static const struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } kStates[] = {
        {D3DRENDERSTATE_SUBPIXEL, 1},       {D3DRENDERSTATE_SUBPIXELX, 1},
        {D3DRENDERSTATE_SHADEMODE, 2},      {D3DRENDERSTATE_SPECULARENABLE, 1},
        {D3DRENDERSTATE_DITHERENABLE, 1},   {D3DRENDERSTATE_TEXTUREMAG, 2},
        {D3DRENDERSTATE_TEXTUREMIN, 2},     {D3DRENDERSTATE_ZENABLE, 1},
        {D3DRENDERSTATE_ZWRITEENABLE, 1},   {D3DRENDERSTATE_ZFUNC, D3DCMP_GREATEREQUAL},
        {D3DRENDERSTATE_ZVISIBLE, 1},       {D3DRENDERSTATE_CULLMODE, D3DCULL_CW},
        {D3DRENDERSTATE_COLORKEYENABLE, 1},
    };
    for (const auto& s : kStates) m_pDevice->SetRenderState(s.state, s.value);
    return true;
}

const uint8_t* qvn_cEngDisplay3D::findTextureFormat(int nBitCount) const {
    const int i = qvn_FindRgbTextureFormat(m_TextureFormats, nBitCount);
    return i < 0 ? nullptr : m_TextureFormats.m_ppItems[i]->m_Bytes;
}

bool qvn_cEngDisplay3D::RestoreLostSurfaces() {
    if (!m_pDD4 || !m_pBackBuffer) return false;
    const bool lost = (m_pPrimary && m_pPrimary->IsLost() == DDERR_SURFACELOST) ||
                      m_pBackBuffer->IsLost() == DDERR_SURFACELOST ||
                      (m_pZBuffer && m_pZBuffer->IsLost() == DDERR_SURFACELOST);
    if (!lost) return true;
    // The z-buffer and the managed textures come back with the rest.
    if (FAILED(m_pDD4->RestoreAllSurfaces())) return false;
    LogMessage("qvn_cEngDisplay3D::RestoreLostSurfaces : surfaces restored\n");
    return true;
}

void qvn_cEngDisplay3D::Lock() {
    RestoreLostSurfaces();
    qvn_cEngDisplay::Lock();
}

void qvn_cEngDisplay3D::Clear() {
    if (!m_pViewport) return;
    RestoreLostSurfaces();
    D3DRECT rect;
    rect.x1 = 0;
    rect.y1 = 0;
    rect.x2 = m_nWidth;
    rect.y2 = m_nHeight;
    m_pViewport->Clear2(1, &rect, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.0f, 0);
}

// ---------------------------------------------------------------- capture

static const char kCaptureDeviceName[] = "display";

qvn_cCaptureD3DDisplay::qvn_cCaptureD3DDisplay() = default;

qvn_cCaptureD3DDisplay::~qvn_cCaptureD3DDisplay() {
    if (m_hWnd) DestroyWindow(static_cast<HWND>(m_hWnd));
}

bool qvn_cCaptureD3DDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    m_eRenderMode = QVN_RENDER_HARDWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);
    m_bWindowed = 1;  // an off-screen surface of its own, released with the display
    if (m_DDrawDevices.m_nCount == 0) {
        SDDrawDevice* device =
            m_DDrawDevices.Append(new SDDrawDevice("Direct3D off-screen surface", kCaptureDeviceName, nullptr));
        if (device) device->m_Modes.Append(new SDisplayMode(320, 240, 16));
    }
    const char* name = deviceName ? deviceName : "";
    bool found = std::strcmp(name, "NoSelection") == 0;
    for (int i = 0; i < m_DDrawDevices.m_nCount; ++i)
        if (std::strcmp(m_DDrawDevices.m_ppItems[i]->m_szName, name) == 0) found = true;
    if (!found) return false;
    if (width <= 0 || height <= 0 || bpp != 16) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        return false;
    }
    // The device wants a window; this one is never shown.
    m_hWnd = CreateWindowExA(0, "STATIC", "capture", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    if (FAILED(DirectDrawCreate(nullptr, &m_pDD, nullptr)) ||
        FAILED(m_pDD->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&m_pDD4)))) {
        LogMessage("qvn_cEngDisplay::Init : DirectDrawCreate failed\n");
        return false;
    }
    if (FAILED(m_pDD4->SetCooperativeLevel(static_cast<HWND>(m_hWnd), DDSCL_NORMAL))) {
        QVN_LOG_LOCATION();
        LogMessage("SetCoorperativeLevel failed !\n");
        return false;
    }
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY;
    desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = 16;
    desc.ddpfPixelFormat.dwRBitMask = 0xF800;
    desc.ddpfPixelFormat.dwGBitMask = 0x07E0;
    desc.ddpfPixelFormat.dwBBitMask = 0x001F;
    if (FAILED(m_pDD4->CreateSurface(&desc, &m_pBackBuffer, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateSurface failed !\n");
        return false;
    }
    m_rcSrc = m_rcDst = m_rcClip = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;
    ConvertDDFormat();
    m_Presented.assign(static_cast<size_t>(width) * height, 0);
    return InitDevice();
}

void qvn_cCaptureD3DDisplay::Flip() {
    if (!m_pBackBuffer || m_Presented.empty()) return;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (SUCCEEDED(m_pBackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
        const uint8_t* src = static_cast<const uint8_t*>(desc.lpSurface);
        for (int y = 0; y < m_nHeight; ++y)
            std::memcpy(&m_Presented[static_cast<size_t>(y) * m_nWidth], src + static_cast<size_t>(y) * desc.lPitch,
                        static_cast<size_t>(m_nWidth) * 2);
        m_pBackBuffer->Unlock(nullptr);
    }
    if (g_pCapture) g_pCapture->OnFlip(m_Presented.data(), m_nWidth, m_nHeight, m_nWidth);
}
