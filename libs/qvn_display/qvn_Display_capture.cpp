#include "qvn_Display_capture.h"

#include <cstring>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"

// The one device capture mode offers, under the name the show asks for.
static const char kCaptureDeviceName[] = "display";

qvn_cCaptureDisplay::qvn_cCaptureDisplay(uint32_t maskR, uint32_t maskG, uint32_t maskB) : m_aMasks{maskR, maskG, maskB} {}

qvn_cCaptureDisplay::~qvn_cCaptureDisplay() = default;

bool qvn_cCaptureDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    m_eRenderMode = QVN_RENDER_SOFTWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);
    if (m_DDrawDevices.m_nCount == 0) {
        SDDrawDevice* device = m_DDrawDevices.Append(new SDDrawDevice("Capture frame buffer", kCaptureDeviceName, nullptr));
        if (device) {
            static const int kModes[][3] = {{320, 240, 16}, {640, 480, 16}};
            for (const auto& mode : kModes) device->m_Modes.Append(new SDisplayMode(mode[0], mode[1], mode[2]));
        }
    }
    char name[256];
    std::strncpy(name, deviceName ? deviceName : "", sizeof name - 1);
    name[sizeof name - 1] = 0;
    if (std::strcmp(name, "NoSelection") == 0 && m_DDrawDevices.m_nCount > 0)
        std::strcpy(name, m_DDrawDevices.m_ppItems[0]->m_szName);
    bool found = false;
    for (int i = 0; i < m_DDrawDevices.m_nCount; ++i)
        if (std::strcmp(m_DDrawDevices.m_ppItems[i]->m_szName, name) == 0) found = true;
    if (!found) return false;
    if (width <= 0 || height <= 0 || bpp != 16) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        return false;
    }
    m_rcSrc = m_rcDst = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;
    m_Surface.assign(static_cast<size_t>(width) * height, 0);
    m_Presented.assign(m_Surface.size(), 0);
    m_PixelFormat.SetFromMasks(16, m_aMasks[0], m_aMasks[1], m_aMasks[2]);
    g_PixelFormat = m_PixelFormat;  // the screen format, for code that has no display at hand
    return true;
}

void qvn_cCaptureDisplay::Lock() {
    if (m_Surface.empty()) {
        LogMessage("qvn_cEngDisplay::Lock : An error occured : 1\n");
        m_pSurfacePixels = nullptr;
        m_nPitch = m_nPitchPixels = 0;
        return;
    }
    m_pSurfacePixels = m_Surface.data();
    m_nPitch = m_nWidth * 2;
    m_nPitchPixels = m_nPitch / (m_nBpp / 8);
}

int32_t qvn_cCaptureDisplay::Unlock() {
    m_pSurfacePixels = nullptr;
    return 0;
}

void qvn_cCaptureDisplay::Clear() { std::fill(m_Surface.begin(), m_Surface.end(), 0); }

void qvn_cCaptureDisplay::Flip() {
    if (m_Surface.empty()) return;
    m_Presented = m_Surface;
    ++m_nFlips;
    if (g_pCapture) g_pCapture->OnFlip(m_Presented.data(), m_nWidth, m_nHeight, m_nWidth);
}
