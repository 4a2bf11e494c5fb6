#include "qvn_DisplayGL.h"

#include <algorithm>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"

qvn_cGLDisplay::qvn_cGLDisplay() = default;

qvn_cGLDisplay::~qvn_cGLDisplay() = default;

bool qvn_cGLDisplay::InitTarget(int width, int height, int bpp, int windowed) {
    m_eRenderMode = QVN_RENDER_HARDWARE;
    qvn_cDisplayBase::Init(width, height, bpp, windowed);
    if (width <= 0 || height <= 0 || bpp != 16) {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        return false;
    }
    if (!m_Device.Init(width, height)) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : %s\n", m_Device.Error().c_str());
        return false;
    }
    m_rcSrc = m_rcDst = {0, 0, width, height};
    if (!AllocScreenBuffer()) return false;
    m_Frame.assign(static_cast<size_t>(width) * height, 0);
    m_PixelFormat.SetFromMasks(16, 0xF800, 0x07E0, 0x001F);
    g_PixelFormat = m_PixelFormat;
    m_Device.ClearTarget();
    m_eNewer = eNewer::kSame;
    return true;
}

void qvn_cGLDisplay::ReleaseTarget() {
    if (m_Device.Ready() && MakeCurrent()) m_Device.Shutdown();
}

void qvn_cGLDisplay::SyncToCpu() {
    if (m_eNewer != eNewer::kGpu || m_Frame.empty()) return;
    if (MakeCurrent()) m_Device.ReadBack(m_Frame.data());
    m_eNewer = eNewer::kSame;
}

void qvn_cGLDisplay::SyncToGpu() {
    if (m_eNewer != eNewer::kCpu || m_Frame.empty()) return;
    if (MakeCurrent()) m_Device.Upload(m_Frame.data());
    m_eNewer = eNewer::kSame;
}

void qvn_cGLDisplay::Lock() {
    if (m_Frame.empty() || !m_Device.Ready()) {
        LogMessage("qvn_cEngDisplay::Lock : An error occured : 1\n");
        m_pSurfacePixels = nullptr;
        m_nPitch = m_nPitchPixels = 0;
        return;
    }
    SyncToCpu();
    m_pSurfacePixels = m_Frame.data();
    m_nPitch = m_nWidth * 2;
    m_nPitchPixels = m_nPitch / (m_nBpp / 8);
}

int32_t qvn_cGLDisplay::Unlock() {
    // Whoever locked may have written: the CPU copy is the frame now.
    if (m_pSurfacePixels) m_eNewer = eNewer::kCpu;
    m_pSurfacePixels = nullptr;
    return 0;
}

void qvn_cGLDisplay::Clear() {
    if (m_Frame.empty() || !m_Device.Ready() || !MakeCurrent()) {
        LogMessage("ClearSurface_Software failed\n");
        return;
    }
    m_Device.ClearTarget();
    std::fill(m_Frame.begin(), m_Frame.end(), 0);
    m_eNewer = eNewer::kSame;
}

qvn_cGLDevice* qvn_cGLDisplay::BeginScene() {
    if (m_Frame.empty() || !m_Device.Ready() || !MakeCurrent()) return nullptr;
    SyncToGpu();
    return &m_Device;
}

void qvn_cGLDisplay::EndScene() {
    if (m_Device.Ready()) m_eNewer = eNewer::kGpu;
}

// ---------------------------------------------------------------- capture

static const char kCaptureDeviceName[] = "display";

qvn_cCaptureGLDisplay::qvn_cCaptureGLDisplay() = default;

qvn_cCaptureGLDisplay::~qvn_cCaptureGLDisplay() {
    ReleaseTarget();
    delete m_pContext;
}

bool qvn_cCaptureGLDisplay::MakeCurrent() { return m_pContext && m_pContext->MakeCurrent(); }

bool qvn_cCaptureGLDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    if (m_DDrawDevices.m_nCount == 0) {
        SDDrawDevice* device =
            m_DDrawDevices.Append(new SDDrawDevice("Headless OpenGL frame buffer", kCaptureDeviceName, nullptr));
        if (device) device->m_Modes.Append(new SDisplayMode(320, 240, 16));
    }
    const char* name = deviceName ? deviceName : "";
    bool found = std::string(name) == "NoSelection";
    for (int i = 0; i < m_DDrawDevices.m_nCount; ++i)
        if (std::string(m_DDrawDevices.m_ppItems[i]->m_szName) == name) found = true;
    if (!found) return false;
    if (!m_pContext) {
        std::string why;
        m_pContext = qvn_cHeadlessGL::Create(&why);
        if (!m_pContext) {
            QVN_LOG_LOCATION();
            LogMessage("qvn_cEngDisplay::InitDirect3d : no OpenGL context without a display (%s)\n", why.c_str());
            return false;
        }
    }
    if (!MakeCurrent()) return false;
    if (!InitTarget(width, height, bpp, windowed)) return false;
    m_Description = m_Device.Description();
    LogMessage("OpenGL: %s\n", m_Description.c_str());
    m_Presented.assign(m_Frame.size(), 0);
    return true;
}

void qvn_cCaptureGLDisplay::Flip() {
    if (m_Frame.empty()) return;
    SyncToCpu();
    m_Presented = m_Frame;
    ++m_nFlips;
    if (g_pCapture) g_pCapture->OnFlip(m_Presented.data(), m_nWidth, m_nHeight, m_nWidth);
}
