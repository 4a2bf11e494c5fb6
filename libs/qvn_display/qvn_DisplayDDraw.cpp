// The screen on Windows through DirectDraw: pick the device by driver name,
// take the display mode (or attach to the window), build a front and a back
// surface in system memory, and hand out the locked back surface once per frame.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdlib>
#include <cstring>

#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_System.h"

namespace {

HWND MainWindow() { return static_cast<HWND>(qvn_sys::NativeWindow()); }

HRESULT WINAPI ModeCallback(LPDDSURFACEDESC2 desc, LPVOID context) {
    auto* modes = static_cast<qvn_SPtrArray<SDisplayMode>*>(context);
    modes->Append(new SDisplayMode(static_cast<int>(desc->dwWidth), static_cast<int>(desc->dwHeight),
                                   static_cast<int>(desc->ddpfPixelFormat.dwRGBBitCount)));
    return DDENUMRET_OK;
}

HRESULT WINAPI D3DDeviceCallback(GUID* guid, LPSTR description, LPSTR name, LPD3DDEVICEDESC hardware, LPD3DDEVICEDESC,
                                 LPVOID context) {
    auto* list = static_cast<qvn_SPtrArray<SD3DDevice>*>(context);
    // Only devices that render in hardware are of use.
    if (hardware && hardware->dwDeviceRenderBitDepth != 0)
        list->Append(new SD3DDevice(description, name, reinterpret_cast<const uint8_t*>(guid), hardware->dwDeviceRenderBitDepth));
    return D3DENUMRET_OK;
}

HRESULT WINAPI D3DModeCallback(LPDDSURFACEDESC2 desc, LPVOID context) {
    auto* list = static_cast<qvn_SPtrArray<SD3DDevice>*>(context);
    if (list->m_nCount == 0) return DDENUMRET_OK;
    SD3DDevice* device = list->m_ppItems[list->m_nCount - 1];
    DWORD flag = 0;
    switch (desc->ddpfPixelFormat.dwRGBBitCount) {
    case 8: flag = DDBD_8; break;
    case 16: flag = DDBD_16; break;
    case 24: flag = DDBD_24; break;
    case 32: flag = DDBD_32; break;
    }
    if (flag && (device->m_nRenderDepths & flag))
        device->m_Modes.Append(new SDisplayMode(static_cast<int>(desc->dwWidth), static_cast<int>(desc->dwHeight),
                                                static_cast<int>(desc->ddpfPixelFormat.dwRGBBitCount)));
    return DDENUMRET_OK;
}

BOOL WINAPI DDEnumCallback(GUID* guid, LPSTR description, LPSTR name, LPVOID context) {
    auto* display = static_cast<qvn_cDDrawEnum*>(context);
    SDDrawDevice* device = display->m_DDrawDevices.Append(
        new SDDrawDevice(description, name, reinterpret_cast<const uint8_t*>(guid)));
    if (!device) return 0;
    IDirectDraw* dd = nullptr;
    if (FAILED(DirectDrawCreate(guid, &dd, nullptr))) {
        LogMessage("DDEnumCallback : DirectDrawCreate failed\n");
        return 0;
    }
    IDirectDraw4* dd4 = nullptr;
    if (FAILED(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)))) {
        LogMessage("DDEnumCallback : QueryInterface for directdraw4 failed\n");
        dd->Release();
        return 0;
    }
    dd4->EnumDisplayModes(0, nullptr, &device->m_Modes, ModeCallback);
    IDirect3D3* d3d = nullptr;
    if (FAILED(dd4->QueryInterface(IID_IDirect3D3, reinterpret_cast<void**>(&d3d)))) {
        LogMessage("DDEnumCallback : QueryInterface for direct 3d failed\n");
        dd4->Release();
        dd->Release();
        return 0;
    }
    d3d->EnumDevices(D3DDeviceCallback, &display->m_D3DDevices);
    DDSURFACEDESC2 filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dwSize = sizeof filter;
    filter.dwFlags = DDSD_CAPS;
    filter.ddsCaps.dwCaps = DDSCAPS_3DDEVICE | DDSCAPS_ZBUFFER;
    dd4->EnumDisplayModes(0, &filter, &display->m_D3DDevices, D3DModeCallback);
    // The enumeration's objects are only for looking: let them go.
    d3d->Release();
    dd4->Release();
    dd->Release();
    return 1;
}

// The numbers printed after a failed windowed blit.
int FlipErrorCode(HRESULT r) {
    static const struct { HRESULT r; int code; } kCodes[] = {
        {DDERR_GENERIC, 1}, {DDERR_INVALIDCLIPLIST, 2}, {DDERR_INVALIDOBJECT, 3}, {DDERR_INVALIDPARAMS, 4},
        {DDERR_INVALIDRECT, 5}, {DDERR_NOALPHAHW, 6}, {DDERR_NOBLTHW, 7}, {DDERR_NOCLIPLIST, 8},
        {DDERR_NODDROPSHW, 9}, {DDERR_NOMIRRORHW, 10}, {DDERR_NORASTEROPHW, 11}, {DDERR_NOROTATIONHW, 12},
        {DDERR_NOSTRETCHHW, 13}, {DDERR_NOZBUFFERHW, 14}, {DDERR_SURFACEBUSY, 15}, {DDERR_SURFACELOST, 16},
        {DDERR_UNSUPPORTED, 17}, {DDERR_WASSTILLDRAWING, 18}};
    for (const auto& c : kCodes)
        if (c.r == r) return c.code;
    return 0;
}

int LockErrorCode(HRESULT r) {
    static const struct { HRESULT r; int code; } kCodes[] = {
        {DDERR_INVALIDOBJECT, 1}, {DDERR_INVALIDPARAMS, 2}, {DDERR_OUTOFMEMORY, 3},
        {DDERR_SURFACEBUSY, 4}, {DDERR_SURFACELOST, 5}, {DDERR_WASSTILLDRAWING, 6}};
    for (const auto& c : kCodes)
        if (c.r == r) return c.code;
    return 0;
}

}  // namespace

qvn_cEngDisplay::~qvn_cEngDisplay() {
    std::free(g_p16bitsScreenBuffer);
    g_p16bitsScreenBuffer = nullptr;
    // The back buffer of a flip chain goes with its primary surface.
    if (m_pBackBuffer && m_bWindowed) m_pBackBuffer->Release();
    m_pBackBuffer = nullptr;
    if (m_pPrimary) m_pPrimary->Release();
    m_pPrimary = nullptr;
    if (m_pDD4) {
        if (!m_bWindowed) m_pDD4->RestoreDisplayMode();
        m_pDD4->Release();
    }
    m_pDD4 = nullptr;
    if (m_pDD) m_pDD->Release();
    m_pDD = nullptr;
}

bool qvn_cEngDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    // The Direct3D display asks for hardware surfaces before it gets here;
    // taking that back would give it system-memory surfaces no device can
    // draw into.
    if (m_eRenderMode != QVN_RENDER_HARDWARE) m_eRenderMode = QVN_RENDER_SOFTWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);

    DirectDrawEnumerateA(DDEnumCallback, static_cast<qvn_cDDrawEnum*>(this));

    char name[256];
    std::strncpy(name, deviceName ? deviceName : "", sizeof name - 1);
    name[sizeof name - 1] = 0;
    if (std::strcmp(name, "NoSelection") == 0 && m_DDrawDevices.m_nCount > 0)
        std::strcpy(name, m_DDrawDevices.m_ppItems[0]->m_szName);
    SDDrawDevice* device = nullptr;
    for (int i = 0; i < m_DDrawDevices.m_nCount && !device; ++i)
        if (std::strcmp(m_DDrawDevices.m_ppItems[i]->m_szName, name) == 0) device = m_DDrawDevices.m_ppItems[i];
    if (!device) return false;

    if (FAILED(DirectDrawCreate(reinterpret_cast<GUID*>(device->m_Guid), &m_pDD, nullptr))) {
        LogMessage("qvn_cEngDisplay::Init : DirectDrawCreate failed\n");
        return false;
    }
    if (FAILED(m_pDD->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&m_pDD4)))) {
        LogMessage("qvn_cEngDisplay::Init : QueryInterface failed\n");
        return false;
    }
    DDCAPS driverCaps, emulationCaps;
    std::memset(&driverCaps, 0, sizeof driverCaps);
    std::memset(&emulationCaps, 0, sizeof emulationCaps);
    driverCaps.dwSize = emulationCaps.dwSize = sizeof(DDCAPS);
    m_pDD4->GetCaps(&driverCaps, &emulationCaps);
    if (!(driverCaps.dwCaps2 & DDCAPS2_CANRENDERWINDOWED) && m_bWindowed) {
        LogMessage("Windowed mode not available on this display device\n");
        m_bWindowed = 0;
    }
    m_rcSrc = m_rcDst = m_rcClip = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;
    return m_bWindowed ? InitSurfaces_Windowed() : InitSurfaces_FullScreen();
}

bool qvn_cEngDisplay::InitSurfaces_FullScreen() {
    if (FAILED(m_pDD4->SetCooperativeLevel(MainWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT))) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetCooperativeLevel failed\n");
        return false;
    }
    if (FAILED(m_pDD4->SetDisplayMode(m_nWidth, m_nHeight, m_nBpp, 0, 0))) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        return false;
    }
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    if (m_eRenderMode == QVN_RENDER_SOFTWARE) {
        // System memory: the parts' per-pixel writes are plain memory writes.
        desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    } else if (m_eRenderMode == QVN_RENDER_HARDWARE) {
        LogMessage("InitFullScreen : D3DHardware\n");
        desc.ddsCaps.dwCaps = DDSCAPS_3DDEVICE | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    } else {
        return false;
    }
    if (FAILED(m_pDD4->CreateSurface(&desc, &m_pPrimary, nullptr))) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : CreateSurface failed\n");
        return false;
    }
    DDSCAPS2 caps;
    std::memset(&caps, 0, sizeof caps);
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    if (FAILED(m_pPrimary->GetAttachedSurface(&caps, &m_pBackBuffer))) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : GetAttachedSurface failed\n");
        return false;
    }
    ConvertDDFormat();
    return true;
}

bool qvn_cEngDisplay::InitSurfaces_Windowed() {
    HWND hWnd = MainWindow();
    if (FAILED(m_pDD4->SetCooperativeLevel(hWnd, DDSCL_NORMAL))) {
        QVN_LOG_LOCATION();
        LogMessage("SetCoorperativeLevel failed !\n");
        return false;
    }
    RECT client = {0, 0, m_nWidth, m_nHeight};
    GetClientRect(hWnd, &client);
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    ClientToScreen(hWnd, &corners[0]);
    ClientToScreen(hWnd, &corners[1]);
    m_rcDst = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};

    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
    if (FAILED(m_pDD4->CreateSurface(&desc, &m_pPrimary, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateSurface failed !\n");
        return false;
    }
    if (FAILED(m_pDD4->CreateClipper(0, &m_pClipper, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateClipper failed !\n");
        return false;
    }
    m_pClipper->SetHWnd(0, hWnd);
    m_pPrimary->SetClipper(m_pClipper);
    m_pClipper->Release();
    m_pClipper = nullptr;

    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = m_nWidth;
    desc.dwHeight = m_nHeight;
    if (m_eRenderMode == QVN_RENDER_SOFTWARE) desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    else if (m_eRenderMode == QVN_RENDER_HARDWARE) desc.ddsCaps.dwCaps = DDSCAPS_3DDEVICE;
    if (FAILED(m_pDD4->CreateSurface(&desc, &m_pBackBuffer, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateSurface failed !\n");
        return false;
    }
    UpdateWindow(hWnd);
    ConvertDDFormat();
    return true;
}

void qvn_cEngDisplay::ConvertDDFormat() {
    DDPIXELFORMAT format;
    std::memset(&format, 0, sizeof format);
    format.dwSize = sizeof format;
    m_pBackBuffer->GetPixelFormat(&format);
    static_assert(sizeof format == sizeof m_PixelFormat.m_ddpf, "the record is kept byte for byte");
    std::memcpy(m_PixelFormat.m_ddpf, &format, sizeof format);
    m_PixelFormat.SetFromMasks(static_cast<int>(format.dwRGBBitCount), format.dwRBitMask, format.dwGBitMask,
                               format.dwBBitMask);
    g_PixelFormat = m_PixelFormat;  // the screen format, for code that has no display at hand
}

void qvn_cEngDisplay::Lock() {
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    HRESULT r = m_pBackBuffer ? m_pBackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) : DDERR_INVALIDOBJECT;
    if (FAILED(r)) {
        LogMessage("qvn_cEngDisplay::Lock : An error occured : ");
        // A code outside the documented list still ends the line, with the
        // HRESULT itself.
        if (int code = LockErrorCode(r)) LogMessage("%d\n", code);
        else LogMessage("(0x%08lX)\n", static_cast<unsigned long>(r));
        // Go on with the zeroed description: no pixels this frame.
        std::memset(&desc, 0, sizeof desc);
    }
    m_pSurfacePixels = static_cast<uint16_t*>(desc.lpSurface);
    m_nPitch = static_cast<int32_t>(desc.lPitch);
    m_nPitchPixels = m_nBpp >= 8 ? m_nPitch / (m_nBpp / 8) : 0;
}

int32_t qvn_cEngDisplay::Unlock() {
    HRESULT r = m_pBackBuffer ? m_pBackBuffer->Unlock(nullptr) : DDERR_INVALIDOBJECT;
    m_pSurfacePixels = nullptr;
    return static_cast<int32_t>(r);
}

void qvn_cEngDisplay::Clear() {
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0;
    if (!m_pBackBuffer || FAILED(m_pBackBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fx)))
        LogMessage("ClearSurface_Software failed\n");
}

// The viewer's screenshot and paused picture: the flipping chain keeps no
// copy of the shown frame, so these are not offered here.
void qvn_cEngDisplay::Represent() {}
bool qvn_cEngDisplay::PresentedFrame(std::vector<uint16_t>*) { return false; }
bool qvn_cEngDisplay::WindowPicture(std::vector<uint32_t>*, int*, int*) { return false; }

void qvn_cEngDisplay::Flip() {
    if (!m_pPrimary) return;
    if (!m_bWindowed) {
        m_pPrimary->Flip(nullptr, DDFLIP_WAIT);
        return;
    }
    RECT dst = {m_rcDst.left, m_rcDst.top, m_rcDst.right, m_rcDst.bottom};
    RECT src = {m_rcSrc.left, m_rcSrc.top, m_rcSrc.right, m_rcSrc.bottom};
    HRESULT r = m_pPrimary->Blt(&dst, m_pBackBuffer, &src, DDBLT_WAIT, nullptr);
    if (FAILED(r)) {
        LogMessage("Error while trying to flip : ");
        if (int code = FlipErrorCode(r)) LogMessage("%d\n", code);
        else LogMessage("(0x%08lX)\n", static_cast<unsigned long>(r));
    }
}
