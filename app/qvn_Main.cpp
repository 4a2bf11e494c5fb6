#include "qvn_Main.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "qvn_Capture.h"
#include "qvn_DataPath.h"
#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_FrameClock.h"
#include "qvn_Keys.h"
#include "qvn_MP3Player.h"
#include "qvn_NativeSystem.h"
#include "qvn_Overlay.h"
#include "qvn_Png.h"
#include "qvn_Sequencer.h"
#include "qvn_ShowStats.h"
#include "qvn_StartPoint.h"
#include "qvn_StopPoint.h"
#include "qvn_Storyboard.h"
#include "qvn_Viewer.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_SoundPlayer.h"
#include "qvn_System.h"
#include "qvn_VideoExport.h"
#include "qvn_Window.h"

// Created before the entry point runs, so every run starts a fresh log; the
// file itself is made once the options say the show will run.
qvn_cErrorLog g_ErrorLog(nullptr, true);

static void FindDataDir(const qvn_SOptions& options, const std::string& exeDir) {
    std::error_code ec;
    if (!options.datasDir.empty()) {
        qvn_SetDataDir(options.datasDir);
    } else if (!std::filesystem::is_directory("datas", ec) && !exeDir.empty() &&
               std::filesystem::is_directory(std::filesystem::path(exeDir) / "datas", ec)) {
        qvn_SetDataDir((std::filesystem::path(exeDir) / "datas").string());
    }
}

namespace {

// The music was not decoded while the show ran unseen: the player starts
// the track over where a straight run hears showMs.
void PositionMusic(int32_t showMs) {
    qvn_cMP3Player* player = dynamic_cast<qvn_cMP3Player*>(g_pMusic);
    if (player && qvn_CurrentTrack() && !g_bQvnNoSound) player->StartAt(qvn_CurrentTrack(), showMs);
}

// The viewer's hooks into the music. Between halves (no track playing, a
// loading screen) the ring is left alone: the half's own start plays it.
void ViewerStopMusic() {
    if (g_pMusic && qvn_CurrentTrack() && !g_bQvnNoSound) g_pMusic->Release();
}

void ViewerStartMusic(int32_t showMs) {
    if (!g_pMusic || !qvn_CurrentTrack()) return;
    PositionMusic(showMs >= 0 ? showMs : g_pMusic->GetTimePosition());
}

// The show's timeline as it reads in a file name: "02-18.350" (no colon, which
// some file systems refuse), or "loading" before the first half plays.
std::string TimelineName(int32_t ms) {
    if (ms < 0) return "loading";
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

// F9: the frame exactly as the show made it (320 x 240) and, live, the
// window's picture as the viewer sees it. A name already taken gets a
// number: a second screenshot of a paused frame keeps the first.
void ViewerScreenshot(int32_t timelineMs) {
    if (!g_pDisplay) return;
    // Live into the working folder; a capture keeps them with its frames.
    const std::string stem = (g_pCapture ? g_pCapture->Dir() + "/" : std::string()) + "screenshot_" +
                             TimelineName(timelineMs);
    std::string base = stem;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(base + ".png", ec); ++n) base = stem + "_" + std::to_string(n);
    std::vector<uint16_t> frame;
    if (!g_pDisplay->PresentedFrame(&frame) ||
        frame.size() < static_cast<size_t>(g_pDisplay->m_nWidth) * g_pDisplay->m_nHeight) {
        LogMessage("qvn_Main : no frame has been shown yet; no screenshot.\n");
        return;
    }
    const std::string exact = base + ".png";
    if (!qvn_WritePng565(exact.c_str(), frame.data(), g_pDisplay->m_nWidth, g_pDisplay->m_nHeight,
                         g_pDisplay->m_nWidth)) {
        LogMessage("qvn_Main : cannot write the screenshot %s.\n", exact.c_str());
        return;
    }
    std::printf("screenshot: %s\n", exact.c_str());
    std::vector<uint32_t> window;
    int width = 0, height = 0;
    if (g_pDisplay->WindowPicture(&window, &width, &height)) {
        const std::string scaled = base + "_window.png";
        if (qvn_WritePngRGB32(scaled.c_str(), window.data(), width, height, width))
            std::printf("screenshot: %s\n", scaled.c_str());
        else
            LogMessage("qvn_Main : cannot write the screenshot %s.\n", scaled.c_str());
    }
    std::fflush(stdout);
}

// The overlay Tab shows: the show's time, the part, and the frame rate (or
// that the show is paused, or looping a part), in the built-in font.
const qvn_SOverlayPicture* ViewerOverlay() {
    static qvn_SOverlayPicture picture;
    static std::chrono::steady_clock::time_point windowStart = std::chrono::steady_clock::now();
    static int framesInWindow = 0;
    static double fps = 0.0;
    if (!qvn_viewer::OverlayShown()) return nullptr;
    if (!qvn_viewer::Paused()) {
        ++framesInWindow;
        const auto now = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(now - windowStart).count();
        if (seconds >= 0.5) {
            fps = framesInWindow / seconds;
            framesInWindow = 0;
            windowStart = now;
        }
    }
    const int32_t ms = qvn_start::TimelineMs();
    char time[32];
    if (ms >= 0) std::snprintf(time, sizeof time, "%02d:%02d.%02d", ms / 60000, ms / 1000 % 60, ms / 10 % 100);
    else std::snprintf(time, sizeof time, "--:--.--");
    std::string part = "-";
    if (const char* name = qvn_viewer::CurrentPart()) {
        part = name;
        int n = 0;
        const qvn_SStartPart* parts = qvn_StartParts(&n);
        for (int i = 0; i < n; ++i)
            if (!std::strcmp(parts[i].className, name)) part = parts[i].shortName;
        if (part.compare(0, 5, "qvn_c") == 0) part = part.substr(5);
    }
    char status[32];
    if (qvn_viewer::Paused()) std::snprintf(status, sizeof status, "PAUSED");
    else std::snprintf(status, sizeof status, "%.1f FPS", fps);
    const std::string line1 = std::string(time) + "  " + part;
    const std::string line2 = std::string(status) + (qvn_viewer::LoopPart() ? "  LOOP" : "");
    const int columns = static_cast<int>(std::max(line1.size(), line2.size()));
    picture.width = columns * 6 + 5;
    picture.height = 2 * 9 + 5;
    picture.argb.assign(static_cast<size_t>(picture.width) * picture.height, 0xC0000000u);
    qvn_cStoryboard::DrawText(picture.argb.data(), picture.width, picture.height, 3, 3, line1.c_str(), 0xFFFFFFFFu);
    qvn_cStoryboard::DrawText(picture.argb.data(), picture.width, picture.height, 3, 12, line2.c_str(), 0xFFFFFF80u);
    return &picture;
}

// The display is told the overlay after every frame shown, and while
// paused before it shows the last frame again; it draws it at its presents.
void ViewerPushOverlay() {
    if (g_pDisplay) g_pDisplay->SetOverlay(ViewerOverlay());
}

void ViewerIdle() {
    if (g_pCapture) return;  // the capture's pumps move its clock: no wait
    ViewerPushOverlay();
    if (g_pDisplay) g_pDisplay->Represent();
    qvn_NativeSleep(15);
}

}  // namespace

// The video file of a capture run (--video), opened before the show plays so
// a file that cannot be made is reported at once.
static std::unique_ptr<qvn_cVideoExport> OpenVideo(const qvn_SOptions& options) {
    qvn_SVideoSettings settings;
    settings.path = options.videoPath;
    settings.scale = options.videoScale;
    settings.fps = options.fps;
    settings.plannedMs = qvn_VideoPlannedMs(options.start, options.stop, options.quitAtMs);
    settings.progress = true;
    std::string error;
    std::unique_ptr<qvn_cVideoExport> video = qvn_cVideoExport::Open(settings, &error);
    if (!video) std::fprintf(stderr, "%s: %s\n", kQvnProgramName, error.c_str());
    return video;
}

static bool CaptureShowClock(int* ms) {
    if (!g_pMusic || !g_pMusic->m_pDecoder) return false;
    *ms = g_pMusic->GetTimePosition();
    return true;
}

int qvn_ProgramMain(int argc, const char* const* argv, void* hInstance, int nCmdShow, const std::string& exeDir) {
    qvn_SOptions options;
    std::string error;
    if (!qvn_ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "%s: %s\n", kQvnProgramName, error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(qvn_UsageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(qvn_VersionText(), stdout);
        return 0;
    }
    if (!options.logPath.empty()) g_ErrorLog.Redirect(options.logPath.c_str());
    else g_ErrorLog.Start();
    qvn_sys::SetVerbose(options.verbose);
    qvn_SetNoticeName(kQvnProgramName);
    if (!options.capture) {
        // Better a plain refusal at once than a show nobody can see.
        std::string why;
        if (!qvn_NativeDisplayAvailable(&why)) {
            LogNotice("cannot show a window: %s. To watch the show without a display, make files of it: "
                      "--capture DIR (frames and audio.wav), or --capture DIR --video FILE (one video with its "
                      "sound).\n",
                      why.c_str());
            qvn_NativeShutdown();
            return 1;
        }
    }
    g_pszDisplayDevice = options.displayDevice.c_str();
    g_nDisplayScale = options.scale;
    FindDataDir(options, exeDir);

    std::unique_ptr<qvn_cVideoExport> video;
    if (options.capture && !options.videoPath.empty() && !(video = OpenVideo(options))) return 1;
    std::unique_ptr<qvn_cCaptureSession> capture;
    qvn_cStoryboard storyboard;
    if (options.capture) {
        capture.reset(new qvn_cCaptureSession);
        qvn_SCaptureSettings settings;
        settings.dir = options.captureDir;
        settings.fps = options.fps;
        settings.firstPngFrame = options.firstPngFrame;
        settings.lastPngFrame = options.lastPngFrame;
        // The viewer plays the way to a start point on its own clock; the
        // capture's run starts at once.
        settings.waitForStart = options.start.kind != qvn_SStartPoint::eKind::kNone && !options.viewer;
        if (!capture->Start(settings)) return 1;
        capture->SetShowClock(CaptureShowClock);
        capture->SetSink(video.get());
        if (video) qvn_CatchCaptureInterrupts();
        g_pCapture = capture.get();
        g_nCaptureQuitAtMs = options.quitAtMs;
        g_pCaptureKeys = options.keys.empty() ? nullptr : options.keys.data();
        g_nCaptureKeys = static_cast<int>(options.keys.size());
        qvn_sys::Install(capture.get());
        if (!options.storyboardPath.empty())
            capture->SetFrameListener(
                [](const uint16_t* pixels, int width, int height, int pitch, int half, int showMs, const char* part,
                   void* context) {
                    static_cast<qvn_cStoryboard*>(context)->OnFrame(pixels, width, height, pitch, half, showMs, part);
                },
                &storyboard);
        if (!options.viewer)
            qvn_start::Arm(
                options.start,
                [](int32_t showMs, void* c) {
                    static_cast<qvn_cCaptureSession*>(c)->BeginRun();
                    PositionMusic(showMs);
                },
                [](void* c) { static_cast<qvn_cCaptureSession*>(c)->OnSkippedFlip(); }, nullptr, capture.get());
    } else {
        qvn_sys::Install(qvn_NativeSystemServices());
    }
    std::unique_ptr<qvn_cFrameClock> viewerClock;
    if (options.viewer) {
        // Straight play, which every seek lands on, is the capture's frame
        // rate in capture mode and 60 fps live.
        viewerClock.reset(new qvn_cFrameClock(qvn_sys::Installed(), options.capture ? options.fps : 60));
        if (capture)
            viewerClock->SetPeriodSource(
                [](void* c) { return static_cast<qvn_cCaptureSession*>(c)->Periods(); }, capture.get());
        qvn_sys::Install(viewerClock.get());
        qvn_viewer::SHooks hooks;
        hooks.stopMusic = ViewerStopMusic;
        hooks.startMusic = ViewerStartMusic;
        hooks.screenshot = ViewerScreenshot;
        hooks.idle = ViewerIdle;
        hooks.frameShown = ViewerPushOverlay;
        qvn_viewer::Enable(viewerClock.get(), hooks);
    }
    // A live run with a start point: one 60 Hz frame period per frame
    // played unseen, as a straight run at 60 fps sees its clock, then the
    // system's clock carried on from there.
    std::unique_ptr<qvn_cFrameClock> startClock;
    if (!options.capture && !options.viewer && options.start.kind != qvn_SStartPoint::eKind::kNone) {
        startClock.reset(new qvn_cFrameClock(qvn_NativeSystemServices(), 60));
        startClock->StartFastForward();
        qvn_sys::Install(startClock.get());
        qvn_start::Arm(
            options.start,
            [](int32_t showMs, void* c) {
                static_cast<qvn_cFrameClock*>(c)->Run();
                PositionMusic(showMs);
            },
            [](void* c) { static_cast<qvn_cFrameClock*>(c)->OnSkippedFlip(); },
            [](void* c) { static_cast<qvn_cFrameClock*>(c)->OnPump(); }, startClock.get());
    }
    g_bQvnNoSound = options.noSound;
    qvn_stop::Arm(options.stop);

    if (options.stats) qvn_ShowStatsEnable(options.capture, options.capture ? options.fps : 60);
    int exitCode = 0;
    {
        qvn_cWindow window;
        // Without a window the display cannot take the screen, which is
        // where a failure here shows.
        window.Create(hInstance, nullptr, nullptr, nCmdShow);
        qvn_cDemoApp app(qvn_ProgramFactories(options.capture));
        app.m_bWindowed = options.windowed ? 1 : 0;
        if (!app.Init()) {
            exitCode = 1;
        } else {
            // Late frames are counted against the refresh the display paces to.
            if (g_pDisplay && g_pDisplay->RefreshHz() > 0) qvn_ShowStatsSetRefreshHz(g_pDisplay->RefreshHz());
            qvn_sys::SetCursorVisible(false);
            qvn_SStartPoint point = options.start;
            for (;;) {
                qvn_viewer::ArmRun(point);
                RunShow(qvn_ShowProgramme());
                // A viewer's seek or loop: the show plays again from a fresh
                // program's state, unseen up to the point.
                if (!qvn_viewer::TakeRestart(&point, window.QuitSeen())) break;
                if (!app.ResetShow()) {
                    exitCode = 1;
                    break;
                }
            }
            if (!qvn_start::Presenting())
                std::fprintf(stderr, "%s: the show ended before the start point; nothing was shown\n",
                             kQvnProgramName);
            qvn_sys::SetCursorVisible(true);
        }
    }
    if (options.stats)
        qvn_ShowStatsReport(stdout, capture ? capture->RunMs() / 1000.0 : 0.0);
    if (capture && !options.storyboardPath.empty()) {
        if (storyboard.Write(options.storyboardPath.c_str()))
            std::printf("storyboard: %d thumbnails in %s\n", storyboard.Count(), options.storyboardPath.c_str());
        else
            std::fprintf(stderr, "%s: cannot write the storyboard %s\n", kQvnProgramName, options.storyboardPath.c_str());
    }
    qvn_start::Disarm();
    qvn_viewer::Disable();
    qvn_stop::Disarm();
    g_pCaptureKeys = nullptr;
    g_nCaptureKeys = 0;
    g_bQvnNoSound = false;
    if (capture) {
        capture->SetFrameListener(nullptr, nullptr);
        qvn_CloseCaptureAudio();
        capture->SetSink(nullptr);
        std::string error;
        if (video && !video->Finish(&error)) {
            std::fprintf(stderr, "%s: %s\n", kQvnProgramName, error.c_str());
            exitCode = 1;
        }
        capture->SetClockListener(nullptr, nullptr);
        capture->Finish();
        g_pCapture = nullptr;
    }
    qvn_sys::Install(nullptr);
    if (!options.capture) qvn_NativeShutdown();
    return exitCode;
}
