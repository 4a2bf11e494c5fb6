// The screen in the browser: a system-memory back surface in the screen's
// 5-6-5 format, handed to the page at each flip. The page scales it to its
// canvas (whole numbers, 4:3, letterboxed, nearest) and lays the viewer's
// overlay over it; a flip returns at the page's next animation frame, which
// is the browser's turn and paces the show to the display's refresh.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_Overlay.h"
#include "qvn_Web.h"

namespace {

struct SWebDisplay {
    std::vector<uint16_t> surface;    // the back surface
    std::vector<uint16_t> presented;  // what the last flip showed
    const qvn_SOverlayPicture* overlayShown = nullptr;
    int overlayWidth = 0, overlayHeight = 0;
};

SWebDisplay* State(qvn_cEngDisplay* display) { return static_cast<SWebDisplay*>(display->m_pBackend); }

// The overlay goes to the page when it changes (the viewer rebuilds its
// picture when what it says changes).
void ShowOverlay(SWebDisplay* s, const qvn_SOverlayPicture* overlay) {
    if (!overlay || overlay->width <= 0 || overlay->height <= 0) {
        if (s->overlayWidth > 0) qvn_WebOverlay(nullptr, 0, 0);
        s->overlayWidth = s->overlayHeight = 0;
        return;
    }
    qvn_WebOverlay(overlay->argb.data(), overlay->width, overlay->height);
    s->overlayWidth = overlay->width;
    s->overlayHeight = overlay->height;
}

}  // namespace

qvn_cEngDisplay::~qvn_cEngDisplay() {
    std::free(g_p16bitsScreenBuffer);
    g_p16bitsScreenBuffer = nullptr;
    delete State(this);
    m_pBackend = nullptr;
}

bool qvn_cEngDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    m_eRenderMode = QVN_RENDER_SOFTWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);
    // The page is the one device.
    SDDrawDevice* device = m_DDrawDevices.Append(new SDDrawDevice("The page's canvas", "display", nullptr));
    if (device) device->m_Modes.Append(new SDisplayMode(width, height, 16));
    if (deviceName && std::strcmp(deviceName, "NoSelection") != 0 && std::strcmp(deviceName, "display") != 0)
        return false;
    if (!qvn_WebHasPage()) {
        LogMessage("qvn_cEngDisplay::Init : DirectDrawCreate failed\n");
        return false;
    }
    m_rcSrc = m_rcDst = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;
    SWebDisplay* s = new SWebDisplay;
    m_pBackend = s;
    s->surface.assign(static_cast<size_t>(width) * height, 0);
    m_nRefreshHz = 60;
    ConvertDDFormat();
    return true;
}

void qvn_cEngDisplay::ConvertDDFormat() {
    std::memset(m_PixelFormat.m_ddpf, 0, sizeof m_PixelFormat.m_ddpf);
    m_PixelFormat.SetFromMasks(16, 0xF800, 0x07E0, 0x001F);
    g_PixelFormat = m_PixelFormat;  // the screen format, for code that has no display at hand
}

void qvn_cEngDisplay::Lock() {
    SWebDisplay* s = State(this);
    if (!s || s->surface.empty()) {
        LogMessage("qvn_cEngDisplay::Lock : An error occured : 1\n");
        m_pSurfacePixels = nullptr;
        m_nPitch = m_nPitchPixels = 0;
        return;
    }
    m_pSurfacePixels = s->surface.data();
    m_nPitch = m_nWidth * 2;
    m_nPitchPixels = m_nWidth;
}

int32_t qvn_cEngDisplay::Unlock() {
    m_pSurfacePixels = nullptr;
    return 0;
}

void qvn_cEngDisplay::Clear() {
    SWebDisplay* s = State(this);
    if (!s) {
        LogMessage("ClearSurface_Software failed\n");
        return;
    }
    std::fill(s->surface.begin(), s->surface.end(), 0);
}

void qvn_cEngDisplay::Represent() {
    SWebDisplay* s = State(this);
    if (!s || s->presented.empty()) return;
    ShowOverlay(s, m_pOverlay);
    qvn_WebPresent(s->presented.data(), m_nWidth, m_nHeight);
}

bool qvn_cEngDisplay::PresentedFrame(std::vector<uint16_t>* frame) {
    SWebDisplay* s = State(this);
    if (!s || s->presented.empty()) return false;
    *frame = s->presented;
    return true;
}

// The page composes the window's picture itself; the program has none.
bool qvn_cEngDisplay::WindowPicture(std::vector<uint32_t>*, int*, int*) { return false; }

void qvn_cEngDisplay::Flip() {
    SWebDisplay* s = State(this);
    if (!s) return;
    s->presented = s->surface;
    ShowOverlay(s, m_pOverlay);
    qvn_WebPresent(s->presented.data(), m_nWidth, m_nHeight);
    qvn_WebWaitFrame();
}

bool qvn_cEngDisplay::InitSurfaces_FullScreen() { return m_pBackend != nullptr; }
bool qvn_cEngDisplay::InitSurfaces_Windowed() { return m_pBackend != nullptr; }
