#include "qvn_Capture.h"

#include <filesystem>
#include <system_error>

#include "qvn_Png.h"

qvn_cCaptureSession* g_pCapture = nullptr;
qvn_CaptureObserver g_pfnCaptureObserver = nullptr;

qvn_cCaptureSession::~qvn_cCaptureSession() { Finish(); }

bool qvn_cCaptureSession::Start(const qvn_SCaptureSettings& settings) {
    m_Settings = settings;
    if (m_Settings.fps < 1) m_Settings.fps = 60;
    std::error_code ec;
    std::filesystem::create_directories(m_Settings.dir, ec);
    std::string path = m_Settings.dir + "/frames.txt";
    m_pFrames = std::fopen(path.c_str(), "w");
    if (!m_pFrames) {
        std::fprintf(stderr, "capture: cannot write %s\n", path.c_str());
        return false;
    }
    std::fprintf(m_pFrames, "# frame virtual_ms half show_ms crc32 part\n");
    m_nFrame = 0;
    m_Clock = qvn_cFrameClock(nullptr, m_Settings.fps);
    m_bRunStarted = !m_Settings.waitForStart;
    m_nRunOriginPeriods = 0;
    m_nRunOriginFrame = 0;
    return true;
}

void qvn_cCaptureSession::BeginRun() {
    if (m_bRunStarted) return;
    m_bRunStarted = true;
    m_nRunOriginPeriods = Periods();
    m_nRunOriginFrame = m_nFrame;
}

void qvn_cCaptureSession::OnSkippedFlip() {
    ++m_nFrame;
    m_Clock.OnFrame();
    if (m_pListener) m_pListener(VirtualMs(), m_pListenerContext);
}

void qvn_cCaptureSession::Finish() {
    if (m_pFrames) {
        std::fclose(m_pFrames);
        m_pFrames = nullptr;
    }
}

void qvn_cCaptureSession::OnFlip(const uint16_t* pixels, int width, int height, int pitchPixels) {
    // CRC over the visible rows only, so the pitch does not change the figure.
    uint32_t crc = 0;
    if (pitchPixels == width) {
        crc = qvn_Crc32(pixels, static_cast<size_t>(width) * height * 2);
    } else {
        for (int y = 0; y < height; ++y)
            crc = qvn_Crc32(pixels + static_cast<size_t>(y) * pitchPixels, static_cast<size_t>(width) * 2, crc);
    }
    const uint32_t runFrame = m_nFrame - m_nRunOriginFrame;
    int showMs = 0;
    const bool haveClock = m_pShowClock && m_pShowClock(&showMs);
    const char* part = m_pszPart ? m_pszPart : "-";
    if (m_pFrames) {
        if (haveClock)
            std::fprintf(m_pFrames, "%u %u %d %d %08x %s\n", runFrame, RunMs(), m_nPhase, showMs, crc, part);
        else
            std::fprintf(m_pFrames, "%u %u %d - %08x %s\n", runFrame, RunMs(), m_nPhase, crc, part);
    }
    if (g_pfnCaptureObserver)
        g_pfnCaptureObserver(pixels, width, height, pitchPixels, m_nPhase, haveClock ? showMs : -1, m_pszPart,
                             m_nPartRuns);
    if (m_pFrameListener && haveClock && m_nPhase > 0)
        m_pFrameListener(pixels, width, height, pitchPixels, m_nPhase, showMs, part, m_pFrameListenerContext);
    if (m_pSink) m_pSink->OnRunFrame(pixels, width, height, pitchPixels, Periods() - m_nRunOriginPeriods);
    int frame = static_cast<int>(runFrame);
    if (m_Settings.firstPngFrame >= 0 && frame >= m_Settings.firstPngFrame &&
        (m_Settings.lastPngFrame < 0 || frame <= m_Settings.lastPngFrame)) {
        char name[64];
        std::snprintf(name, sizeof name, "/frame_%06d.png", frame);
        std::string path = m_Settings.dir + name;
        if (!qvn_WritePng565(path.c_str(), pixels, width, height, pitchPixels))
            std::fprintf(stderr, "capture: cannot write %s\n", path.c_str());
    }
    ++m_nFrame;
    m_Clock.OnFrame();
    if (m_pListener) m_pListener(VirtualMs(), m_pListenerContext);
}

void qvn_cCaptureSession::OnPump() {
    if (m_Clock.OnPump() && m_pListener) m_pListener(VirtualMs(), m_pListenerContext);
}

void qvn_cCaptureSession::DebugOutput(const char* text) {
    if (qvn_sys::Verbose()) std::fputs(text, stderr);
}

void qvn_cCaptureSession::ShowMessageBox(const char* text, const char* caption, unsigned) {
    // Nobody is there to close a box: report it and go on.
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    if (m_pFrames) std::fprintf(m_pFrames, "# message box [%s] %s\n", caption ? caption : "", text ? text : "");
}
