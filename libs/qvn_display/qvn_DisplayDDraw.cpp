// The screen on Windows through DirectDraw: pick the device by driver name,
// take the display mode (or attach to the window), build a front and a back
// surface in system memory, and hand out the locked back surface once per frame.
// Where the show's own 320 x 240 x 16 mode is not offered or cannot be set,
// and with --desktop, the desktop keeps its mode: a borderless window covers
// the screen and each frame is stretched onto it by a whole number, centred
// on black (a blit to the clipped primary surface, or GDI where DirectDraw
// cannot blit the 16-bit frame onto the desktop's format).
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_PictureFilter.h"
#include "qvn_System.h"

namespace {

HWND MainWindow() { return static_cast<HWND>(qvn_sys::NativeWindow()); }

// The window property the window's Alt+Enter calls through (a void (*)()):
// the display alone knows how its screen was taken and how to give it back.
const char kToggleProperty[] = "qvn.ToggleFullScreen";

// How the screen was taken, beside the surfaces (m_pBackend). m_bWindowed is
// 1 for both kinds of window: a back buffer of its own blitted onto the
// clipped primary surface; 0 is the show's own mode with its flip chain.
struct SDDrawScreen {
    bool desktop = false;      // the window covers the screen in the desktop's mode
    bool modeRefused = false;  // the exclusive level or the mode change was refused
    bool gdi = false;          // the frame goes through GDI, not a DirectDraw blit
    // The whole client area in system memory, the frame grown by a whole
    // number in it and black around, blitted unscaled in one go: a driver's
    // own stretch may filter or round its steps, and then the frame's pixels
    // are no longer equal blocks; and one blit is one present.
    IDirectDrawSurface4* scaled = nullptr;
    int scale = 0;
    RECT scaledFrame = {0, 0, 0, 0};  // where the frame is in it
};

SDDrawScreen* State(qvn_cEngDisplay* display) { return static_cast<SDDrawScreen*>(display->m_pBackend); }

// The monitor the window is on, in screen coordinates.
RECT MonitorRect(HWND hWnd, bool workArea) {
    RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(MonitorFromWindow(hWnd, MONITOR_DEFAULTTOPRIMARY), &info))
        r = workArea ? info.rcWork : info.rcMonitor;
    return r;
}

// Full screen without a mode change: no frame, no caption, the whole monitor.
void CoverMonitor(HWND hWnd) {
    const RECT m = MonitorRect(hWnd, false);
    SetWindowLongA(hWnd, GWL_STYLE, WS_POPUP | WS_VISIBLE);
    SetWindowPos(hWnd, HWND_TOP, m.left, m.top, m.right - m.left, m.bottom - m.top, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

// A framed window whose client area is exactly width x height (640 x 480, or
// --scale times the frame), centred on the monitor's work area.
void PlaceWindow(HWND hWnd, int width, int height) {
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    const RECT work = MonitorRect(hWnd, true);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    int x = work.left + (work.right - work.left - w) / 2, y = work.top + (work.bottom - work.top - h) / 2;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowLongA(hWnd, GWL_STYLE, style);
    SetWindowPos(hWnd, HWND_NOTOPMOST, x, y, w, h, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

void WindowClientSize(int scale, int frameW, int frameH, int* w, int* h) {
    *w = scale > 0 ? frameW * scale : 640;
    *h = scale > 0 ? frameH * scale : 480;
}

// The client area in screen coordinates.
RECT ClientOnScreen(HWND hWnd) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(hWnd, &client);
    POINT corners[2] = {{client.left, client.top}, {client.right, client.bottom}};
    ClientToScreen(hWnd, &corners[0]);
    ClientToScreen(hWnd, &corners[1]);
    return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

// Where the frame goes, in screen coordinates: the largest whole-number
// scale that fits the client area, centred (the look of the SDL2 screens), so
// every frame pixel is an equal block. A window of 640 x 480 is filled.
RECT FrameDestination(HWND hWnd, int frameW, int frameH) {
    const RECT c = ClientOnScreen(hWnd);
    const qvn_SFilterRect f = qvn_FilterRect(qvn_eFilter::kNearest, c.right - c.left, c.bottom - c.top, frameW, frameH);
    return {c.left + f.x, c.top + f.y, c.left + f.x + f.w, c.top + f.y + f.h};
}

// The client area around the frame, in client coordinates (up to four bands).
int Borders(HWND hWnd, const RECT& frameOnScreen, RECT bands[4]) {
    const RECT c = ClientOnScreen(hWnd);
    const RECT f = {frameOnScreen.left - c.left, frameOnScreen.top - c.top, frameOnScreen.right - c.left,
                    frameOnScreen.bottom - c.top};
    const int w = c.right - c.left, h = c.bottom - c.top;
    int n = 0;
    if (f.top > 0) bands[n++] = {0, 0, w, f.top};
    if (f.bottom < h) bands[n++] = {0, f.bottom, w, h};
    if (f.left > 0) bands[n++] = {0, f.top, f.left, f.bottom};
    if (f.right < w) bands[n++] = {f.right, f.top, w, f.bottom};
    return n;
}

// The back buffer of a window is 16 bits whatever the desktop's depth: the
// parts write 16-bit pixels. It keeps the screen's layout once one is known
// (a show leaving its own 5-5-5 mode keeps its pictures' colours), else 5-6-5.
void BackBufferFormat(const qvn_cPixelFormat& known, DDPIXELFORMAT* format) {
    std::memset(format, 0, sizeof *format);
    std::memcpy(format, known.m_ddpf, sizeof *format);
    if (format->dwSize == sizeof *format && format->dwRGBBitCount == 16 && (format->dwFlags & DDPF_RGB)) return;
    std::memset(format, 0, sizeof *format);
    format->dwSize = sizeof *format;
    format->dwFlags = DDPF_RGB;
    format->dwRGBBitCount = 16;
    format->dwRBitMask = 0xF800;
    format->dwGBitMask = 0x07E0;
    format->dwBBitMask = 0x001F;
}

// The primary surface with a clipper on the window, and a back buffer of the
// frame's size. Without a primary surface the frame still shows through GDI.
bool CreateWindowedSurfaces(qvn_cEngDisplay* d) {
    HWND hWnd = MainWindow();
    if (FAILED(d->m_pDD4->SetCooperativeLevel(hWnd, DDSCL_NORMAL))) {
        QVN_LOG_LOCATION();
        LogMessage("SetCoorperativeLevel failed !\n");
        return false;
    }
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_3DDEVICE;
    if (FAILED(d->m_pDD4->CreateSurface(&desc, &d->m_pPrimary, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateSurface failed !\n");
        d->m_pPrimary = nullptr;
    } else if (FAILED(d->m_pDD4->CreateClipper(0, &d->m_pClipper, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateClipper failed !\n");
        // Unclipped, a blit would paint over other windows.
        d->m_pPrimary->Release();
        d->m_pPrimary = nullptr;
        d->m_pClipper = nullptr;
    } else {
        d->m_pClipper->SetHWnd(0, hWnd);
        d->m_pPrimary->SetClipper(d->m_pClipper);
        d->m_pClipper->Release();
        d->m_pClipper = nullptr;
    }
    if (!d->m_pPrimary) {
        LogMessage("qvn_cEngDisplay::Init : no primary surface; the frame is shown through GDI\n");
        if (SDDrawScreen* s = State(d)) s->gdi = true;
    }

    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = d->m_nWidth;
    desc.dwHeight = d->m_nHeight;
    BackBufferFormat(d->m_PixelFormat, &desc.ddpfPixelFormat);
    if (d->m_eRenderMode == QVN_RENDER_SOFTWARE) desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    else if (d->m_eRenderMode == QVN_RENDER_HARDWARE)
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY;
    if (FAILED(d->m_pDD4->CreateSurface(&desc, &d->m_pBackBuffer, nullptr))) {
        QVN_LOG_LOCATION();
        LogMessage("CreateSurface failed !\n");
        d->m_pBackBuffer = nullptr;
        return false;
    }
    UpdateWindow(hWnd);
    return true;
}

void ReleaseScaled(SDDrawScreen* s) {
    if (s->scaled) s->scaled->Release();
    s->scaled = nullptr;
    s->scale = 0;
}

// Copies the back buffer into the client-sized surface, each pixel a
// scale x scale block at frame (client coordinates); false when there is no
// such surface to be had (the blit then stretches the back buffer itself).
bool GrowFrame(qvn_cEngDisplay* d, SDDrawScreen* s, int scale, int clientW, int clientH, const RECT& frame) {
    if (!d->m_pBackBuffer || scale < 1) return false;
    // Never written outside the surface, whatever the rectangle says.
    if (frame.left < 0 || frame.top < 0 || frame.right > clientW || frame.bottom > clientH ||
        frame.right - frame.left != d->m_nWidth * scale || frame.bottom - frame.top != d->m_nHeight * scale)
        return false;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    const bool same = s->scaled && s->scale == scale && std::memcmp(&s->scaledFrame, &frame, sizeof frame) == 0 &&
                      SUCCEEDED(s->scaled->GetSurfaceDesc(&desc)) && static_cast<int>(desc.dwWidth) == clientW &&
                      static_cast<int>(desc.dwHeight) == clientH;
    if (!same) {
        ReleaseScaled(s);
        std::memset(&desc, 0, sizeof desc);
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        desc.dwWidth = static_cast<DWORD>(clientW);
        desc.dwHeight = static_cast<DWORD>(clientH);
        desc.ddpfPixelFormat.dwSize = sizeof desc.ddpfPixelFormat;
        d->m_pBackBuffer->GetPixelFormat(&desc.ddpfPixelFormat);
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        if (FAILED(d->m_pDD4->CreateSurface(&desc, &s->scaled, nullptr))) {
            s->scaled = nullptr;
            return false;
        }
        // The bands are black once and for all: only the frame is written.
        DDBLTFX fx;
        std::memset(&fx, 0, sizeof fx);
        fx.dwSize = sizeof fx;
        fx.dwFillColor = 0;
        s->scaled->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
        s->scale = scale;
        s->scaledFrame = frame;
    }
    DDSURFACEDESC2 from, to;
    std::memset(&from, 0, sizeof from);
    std::memset(&to, 0, sizeof to);
    from.dwSize = to.dwSize = sizeof from;
    if (FAILED(d->m_pBackBuffer->Lock(nullptr, &from, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return false;
    if (FAILED(s->scaled->Lock(nullptr, &to, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) {
        d->m_pBackBuffer->Unlock(nullptr);
        return false;
    }
    const int w = d->m_nWidth * scale;
    const uint8_t* src = static_cast<const uint8_t*>(from.lpSurface);
    uint8_t* dst = static_cast<uint8_t*>(to.lpSurface) + static_cast<size_t>(frame.top) * to.lPitch +
                   static_cast<size_t>(frame.left) * 2;
    for (int y = 0; y < d->m_nHeight; ++y) {
        const uint16_t* in = reinterpret_cast<const uint16_t*>(src + static_cast<size_t>(y) * from.lPitch);
        uint8_t* first = dst + static_cast<size_t>(y) * scale * to.lPitch;
        uint16_t* out = reinterpret_cast<uint16_t*>(first);
        for (int x = 0; x < d->m_nWidth; ++x)
            for (int k = 0; k < scale; ++k) *out++ = in[x];
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + static_cast<size_t>(k) * to.lPitch, first, static_cast<size_t>(w) * 2);
    }
    s->scaled->Unlock(nullptr);
    d->m_pBackBuffer->Unlock(nullptr);
    return true;
}

// The frame through GDI: the back buffer read as a 16-bit DIB and stretched
// onto the window (nearest pixel), the bands around it black.
void PresentThroughGdi(qvn_cEngDisplay* d, HWND hWnd, const RECT& frameOnScreen) {
    if (!d->m_pBackBuffer) return;
    DDSURFACEDESC2 desc;
    std::memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    if (FAILED(d->m_pBackBuffer->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) return;
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info;
    std::memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    info.header.biWidth = static_cast<LONG>(desc.lPitch / 2);
    info.header.biHeight = -d->m_nHeight;  // rows top first, as the surface
    info.header.biPlanes = 1;
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = desc.ddpfPixelFormat.dwRBitMask;
    info.masks[1] = desc.ddpfPixelFormat.dwGBitMask;
    info.masks[2] = desc.ddpfPixelFormat.dwBBitMask;
    const POINT origin = {0, 0};
    POINT client = origin;
    ClientToScreen(hWnd, &client);
    HDC dc = GetDC(hWnd);
    if (dc) {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, frameOnScreen.left - client.x, frameOnScreen.top - client.y,
                      frameOnScreen.right - frameOnScreen.left, frameOnScreen.bottom - frameOnScreen.top, 0, 0,
                      d->m_nWidth, d->m_nHeight, desc.lpSurface, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                      SRCCOPY);
        RECT bands[4];
        const int n = Borders(hWnd, frameOnScreen, bands);
        for (int i = 0; i < n; ++i)
            PatBlt(dc, bands[i].left, bands[i].top, bands[i].right - bands[i].left, bands[i].bottom - bands[i].top,
                   BLACKNESS);
        ReleaseDC(hWnd, dc);
    }
    d->m_pBackBuffer->Unlock(nullptr);
}

// The one line that says which way the screen went; who: the log's prefix.
void LogDesktopScale(const char* who, const char* why, HWND hWnd, int frameW, int frameH) {
    const RECT m = MonitorRect(hWnd, false);
    const RECT f = FrameDestination(hWnd, frameW, frameH);
    const int w = f.right - f.left, h = f.bottom - f.top;
    if (w % frameW == 0 && w / frameW >= 1)
        LogMessage("%s : %s: the desktop's %ld x %ld mode is kept, the frame scaled %d times (%d x %d)\n", who, why,
                   m.right - m.left, m.bottom - m.top, w / frameW, w, h);
    else
        LogMessage("%s : %s: the desktop's %ld x %ld mode is kept, the frame shrunk to %d x %d\n", who, why,
                   m.right - m.left, m.bottom - m.top, w, h);
}

// Alt+Enter: full screen on the desktop and a window swap places with no new
// surfaces. The show's own mode gives way to a window (demo_sw); the Direct3D
// device is made on that mode's flip chain and stays with it.
void ToggleFullScreen() {
    qvn_cEngDisplay* d = g_pDisplay;
    SDDrawScreen* s = d ? State(d) : nullptr;
    HWND hWnd = MainWindow();
    if (!s || !hWnd || !d->m_pDD4) return;
    int w = 0, h = 0;
    WindowClientSize(g_nDisplayScale, d->m_nWidth, d->m_nHeight, &w, &h);
    if (!d->m_bWindowed) {
        if (d->m_eRenderMode != QVN_RENDER_SOFTWARE) {
            LogMessage("qvn_cEngDisplay : Alt+Enter: the 3D device keeps the screen's own mode\n");
            return;
        }
        // The back buffer goes with its flip chain.
        d->m_pBackBuffer = nullptr;
        if (d->m_pPrimary) d->m_pPrimary->Release();
        d->m_pPrimary = nullptr;
        d->m_pDD4->RestoreDisplayMode();
        d->m_bWindowed = 1;
        s->desktop = false;
        PlaceWindow(hWnd, w, h);
        if (!CreateWindowedSurfaces(d)) {
            LogMessage("qvn_cEngDisplay : Alt+Enter: no window surfaces; the show ends\n");
            if (d->m_pPrimary) d->m_pPrimary->Release();
            d->m_pPrimary = nullptr;
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
            return;
        }
        LogMessage("qvn_cEngDisplay : Alt+Enter: the desktop's mode is back, the show in a window of %d x %d\n", w, h);
        return;
    }
    s->desktop = !s->desktop;
    if (s->desktop) {
        CoverMonitor(hWnd);
        LogDesktopScale("qvn_cEngDisplay", "Alt+Enter", hWnd, d->m_nWidth, d->m_nHeight);
    } else {
        PlaceWindow(hWnd, w, h);
        LogMessage("qvn_cEngDisplay : Alt+Enter: the show in a window of %d x %d\n", w, h);
    }
}

// Whether the device lists the mode (a device that lists none is tried).
bool ModeOffered(const SDDrawDevice* device, int width, int height, int bpp) {
    if (device->m_Modes.m_nCount == 0) return true;
    for (int i = 0; i < device->m_Modes.m_nCount; ++i) {
        const SDisplayMode* m = device->m_Modes.m_ppItems[i];
        if (m->m_nWidth == width && m->m_nHeight == height && m->m_nBpp == bpp) return true;
    }
    return false;
}

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
    if (SDDrawScreen* s = State(this)) {
        if (HWND hWnd = MainWindow()) RemovePropA(hWnd, kToggleProperty);
        ReleaseScaled(s);
        delete s;
        m_pBackend = nullptr;
    }
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
    SDDrawScreen* s = new SDDrawScreen;
    m_pBackend = s;
    HWND hWnd = MainWindow();
    if (m_bWindowed) {
        int w = 0, h = 0;
        WindowClientSize(g_nDisplayScale, width, height, &w, &h);
        PlaceWindow(hWnd, w, h);
        if (!InitSurfaces_Windowed()) return false;
        LogMessage("qvn_cEngDisplay::Init : the show in a window of %d x %d\n", w, h);
    } else {
        // The show's own mode where the device has it and takes it; else
        // the desktop's mode, which every screen can show the frame on.
        const char* why = nullptr;
        char reason[128];
        if (g_bDisplayDesktop) {
            why = "--desktop";
        } else if (!ModeOffered(device, width, height, bpp)) {
            std::snprintf(reason, sizeof reason, "the display offers no %d x %d x %d mode", width, height, bpp);
            why = reason;
        } else if (InitSurfaces_FullScreen()) {
            LogMessage("qvn_cEngDisplay::Init : the screen is switched to %d x %d x %d\n", width, height, bpp);
        } else if (s->modeRefused) {
            std::snprintf(reason, sizeof reason, "the %d x %d x %d mode cannot be set", width, height, bpp);
            why = reason;
        } else {
            return false;
        }
        if (why) {
            m_bWindowed = 1;
            s->desktop = true;
            CoverMonitor(hWnd);
            if (!InitSurfaces_Windowed()) return false;
            LogDesktopScale("qvn_cEngDisplay::Init", why, hWnd, width, height);
        }
    }
    if (hWnd) SetPropA(hWnd, kToggleProperty, reinterpret_cast<HANDLE>(&ToggleFullScreen));
    return true;
}

bool qvn_cEngDisplay::InitSurfaces_FullScreen() {
    SDDrawScreen* s = State(this);
    if (FAILED(m_pDD4->SetCooperativeLevel(MainWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT))) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetCooperativeLevel failed\n");
        if (s) s->modeRefused = true;
        return false;
    }
    HRESULT r = m_pDD4->SetDisplayMode(m_nWidth, m_nHeight, m_nBpp, 0, 0);
    if (FAILED(r)) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : (0x%08lX)\n", static_cast<unsigned long>(r));
        // The desktop's mode is still on: the windowed surfaces take over.
        m_pDD4->SetCooperativeLevel(MainWindow(), DDSCL_NORMAL);
        if (s) s->modeRefused = true;
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
    if (!CreateWindowedSurfaces(this)) return false;
    m_rcDst = {0, 0, m_nWidth, m_nHeight};
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
    if (!m_bWindowed) {
        if (m_pPrimary) m_pPrimary->Flip(nullptr, DDFLIP_WAIT);
        return;
    }
    SDDrawScreen* s = State(this);
    HWND hWnd = MainWindow();
    // Worked out at every frame: the window may have moved, or been resized.
    const RECT to = FrameDestination(hWnd, m_nWidth, m_nHeight);
    m_rcDst = {to.left, to.top, to.right, to.bottom};
    if (to.right <= to.left || to.bottom <= to.top) return;  // minimised
    if (s && s->gdi) {
        PresentThroughGdi(this, hWnd, to);
        return;
    }
    if (!m_pPrimary) return;
    const RECT c = ClientOnScreen(hWnd);
    const int scale = (to.right - to.left) / m_nWidth;
    const bool whole = scale * m_nWidth == to.right - to.left && scale * m_nHeight == to.bottom - to.top;
    const RECT inClient = {to.left - c.left, to.top - c.top, to.right - c.left, to.bottom - c.top};
    IDirectDrawSurface4* from = m_pBackBuffer;
    RECT src = {m_rcSrc.left, m_rcSrc.top, m_rcSrc.right, m_rcSrc.bottom};
    RECT dst = to;
    bool bandsDone = false;
    if (s && whole && GrowFrame(this, s, scale, c.right - c.left, c.bottom - c.top, inClient)) {
        from = s->scaled;
        src = {0, 0, c.right - c.left, c.bottom - c.top};
        dst = c;
        bandsDone = true;
    }
    HRESULT r = m_pPrimary->Blt(&dst, from, &src, DDBLT_WAIT, nullptr);
    if (r == DDERR_UNSUPPORTED || r == DDERR_INVALIDPIXELFORMAT || r == DDERR_NOSTRETCHHW || r == DDERR_NOBLTHW) {
        // A 16-bit frame onto a desktop of another depth is not every
        // driver's blit; GDI converts anywhere.
        LogMessage("Error while trying to flip : %d; the frame is shown through GDI from now on\n", FlipErrorCode(r));
        if (s) {
            s->gdi = true;
            ReleaseScaled(s);
        }
        PresentThroughGdi(this, hWnd, to);
        return;
    }
    if (FAILED(r)) {
        LogMessage("Error while trying to flip : ");
        if (int code = FlipErrorCode(r)) LogMessage("%d\n", code);
        else LogMessage("(0x%08lX)\n", static_cast<unsigned long>(r));
        return;
    }
    if (bandsDone) return;
    // The bands around the frame: nothing else paints them.
    RECT bands[4];
    const int n = Borders(hWnd, to, bands);
    DDBLTFX fx;
    std::memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0;
    for (int k = 0; k < n; ++k) {
        RECT band = {bands[k].left + c.left, bands[k].top + c.top, bands[k].right + c.left, bands[k].bottom + c.top};
        m_pPrimary->Blt(&band, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    }
}
