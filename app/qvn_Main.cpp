#include "qvn_Main.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "qvn_Capture.h"
#include "qvn_CaptureRun.h"
#include "qvn_DataPath.h"
#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_FrameClock.h"
#include "qvn_Keys.h"
#include "qvn_MP3Player.h"
#include "qvn_NativeSystem.h"
#include "qvn_Run.h"
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

void ViewerIdle() {
    if (g_pCapture) return;  // the capture's pumps move its clock: no wait
    qvn_viewer::PushOverlay();
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
    settings.filter = options.filter;
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
    // The places --start and --stop name are the program's parts.
    const qvn_SShow show = qvn_ProgramShow();
    qvn_SetStartParts(show.parts, show.partCount);
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
    g_eDisplayFilter = options.filter;
    g_bDisplayDesktop = options.desktop;
    g_nDisplayRefreshHz = options.refreshHz;
    g_nQvnAudioBufferMs = options.audioBufferMs;
    FindDataDir(options, exeDir);

    std::unique_ptr<qvn_cVideoExport> video;
    if (options.capture && !options.videoPath.empty() && !(video = OpenVideo(options))) return 1;
    std::unique_ptr<qvn_cCaptureSession> capture;
    std::unique_ptr<qvn_cCaptureRun> captureRun;
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
        captureRun.reset(new qvn_cCaptureRun(capture.get()));
        captureRun->SetQuitAt(options.quitAtMs);
        captureRun->SetKeys(options.keys);
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
        viewerClock.reset(new qvn_cFrameClock(qvn_sys::Clock(), options.capture ? options.fps : 60));
        if (capture)
            viewerClock->SetPeriodSource(
                [](void* c) { return static_cast<qvn_cCaptureSession*>(c)->Periods(); }, capture.get());
        qvn_sys::InstallClock(viewerClock.get());
        qvn_viewer::SHooks hooks;
        hooks.stopMusic = ViewerStopMusic;
        hooks.startMusic = ViewerStartMusic;
        hooks.idle = ViewerIdle;
        qvn_viewer::Enable(viewerClock.get(), hooks);
    }
    // A live run with a start point: one 60 Hz frame period per frame
    // played unseen, as a straight run at 60 fps sees its clock, then the
    // system's clock carried on from there.
    std::unique_ptr<qvn_cFrameClock> startClock;
    if (!options.capture && !options.viewer && options.start.kind != qvn_SStartPoint::eKind::kNone) {
        startClock.reset(new qvn_cFrameClock(qvn_NativeSystemServices(), 60));
        startClock->StartFastForward();
        qvn_sys::InstallClock(startClock.get());
        qvn_start::Arm(
            options.start,
            [](int32_t showMs, void* c) {
                static_cast<qvn_cFrameClock*>(c)->Run();
                PositionMusic(showMs);
            },
            [](void* c) { static_cast<qvn_cFrameClock*>(c)->OnFrame(); },
            [](void* c) { static_cast<qvn_cFrameClock*>(c)->OnPump(); }, startClock.get());
    }
    g_bQvnNoSound = options.noSound;
    qvn_stop::Arm(options.stop);

    if (options.stats) qvn_ShowStatsEnable(options.capture, options.capture ? options.fps : 60);
    // The features that follow the run, in the order they hear of it: the
    // capture names the frames before the start point judges them, and the
    // stop point reads the timeline the start point has just moved.
    if (captureRun) qvn_run::Add(captureRun.get());
    qvn_run::Add(qvn_start::Observer());
    qvn_run::Add(qvn_stop::Observer());
    if (options.stats) qvn_run::Add(qvn_ShowStatsObserver());
    if (options.stats && !options.capture)
        qvn_ShowStatsSetSound([](double* ms) { return g_pMusic && g_pMusic->HeardMs(ms); },
                              [](qvn_SStatsSound* s) {
                                  qvn_SOutputFigures f;
                                  if (!g_pMusic || !g_pMusic->OutputFigures(&f)) return false;
                                  s->bufferFrames = f.bufferFrames;
                                  s->rate = f.rate;
                                  s->bufferMs = f.bufferMs;
                                  s->callbackMs = f.callbackMs;
                                  s->latencyMs = f.latencyMs;
                                  return true;
                              });
    if (options.viewer) qvn_run::Add(qvn_viewer::Observer());
    int exitCode = 0;
    {
        qvn_cWindow window;
        window.SetInput(captureRun.get());
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
                RunShow(*show.programme);
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
    qvn_run::Clear();
    qvn_start::Disarm();
    qvn_viewer::Disable();
    qvn_stop::Disarm();
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
    qvn_sys::InstallClock(nullptr);
    qvn_sys::Install(nullptr);
    if (!options.capture) qvn_NativeShutdown();
    return exitCode;
}
