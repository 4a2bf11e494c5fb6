#include "qvn_Main.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "qvn_Capture.h"
#include "qvn_DataPath.h"
#include "qvn_EngDisplay.h"
#include "qvn_ErrorLog.h"
#include "qvn_NativeSystem.h"
#include "qvn_Sequencer.h"
#include "qvn_ShowStats.h"
#include "qvn_Storyboard.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_SoundPlayer.h"
#include "qvn_System.h"
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
    g_pszDisplayDevice = options.displayDevice.c_str();
    g_nDisplayScale = options.scale;
    FindDataDir(options, exeDir);

    std::unique_ptr<qvn_cCaptureSession> capture;
    qvn_cStoryboard storyboard;
    if (options.capture) {
        capture.reset(new qvn_cCaptureSession);
        qvn_SCaptureSettings settings;
        settings.dir = options.captureDir;
        settings.fps = options.fps;
        settings.firstPngFrame = options.firstPngFrame;
        settings.lastPngFrame = options.lastPngFrame;
        if (!capture->Start(settings)) return 1;
        capture->SetShowClock(CaptureShowClock);
        g_pCapture = capture.get();
        g_nCaptureQuitAtMs = options.quitAtMs;
        qvn_sys::Install(capture.get());
        if (!options.storyboardPath.empty())
            capture->SetFrameListener(
                [](const uint16_t* pixels, int width, int height, int pitch, int half, int showMs, const char* part,
                   void* context) {
                    static_cast<qvn_cStoryboard*>(context)->OnFrame(pixels, width, height, pitch, half, showMs, part);
                },
                &storyboard);
    } else {
        qvn_sys::Install(qvn_NativeSystemServices());
    }

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
            qvn_sys::SetCursorVisible(false);
            RunShow(qvn_ShowProgramme());
            qvn_sys::SetCursorVisible(true);
        }
    }
    if (options.stats)
        qvn_ShowStatsReport(stdout, capture ? capture->VirtualMs() / 1000.0 : 0.0);
    if (capture && !options.storyboardPath.empty()) {
        if (storyboard.Write(options.storyboardPath.c_str()))
            std::printf("storyboard: %d thumbnails in %s\n", storyboard.Count(), options.storyboardPath.c_str());
        else
            std::fprintf(stderr, "%s: cannot write the storyboard %s\n", kQvnProgramName, options.storyboardPath.c_str());
    }
    if (capture) {
        capture->SetFrameListener(nullptr, nullptr);
        qvn_CloseCaptureAudio();
        capture->SetClockListener(nullptr, nullptr);
        capture->Finish();
        g_pCapture = nullptr;
    }
    qvn_sys::Install(nullptr);
    if (!options.capture) qvn_NativeShutdown();
    return exitCode;
}
