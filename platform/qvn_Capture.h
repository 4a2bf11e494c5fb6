// Capture mode: no window and no sound card. A virtual clock advances one frame
// per flip (frame k is at k * 1000 / fps ms, loading takes no time), every
// flipped frame is logged with its CRC and optionally written as a PNG, and the
// sound that would have played goes to a WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "qvn_FrameClock.h"
#include "qvn_System.h"

struct qvn_SCaptureSettings {
    std::string dir;
    int fps = 60;
    // PNG files for frames first..last inclusive; last < 0: to the end;
    // first < 0: no PNG at all.
    int firstPngFrame = 0;
    int lastPngFrame = -1;
    // The run starts later than the capture (the show is played up to a start
    // point first): nothing is written until BeginRun.
    bool waitForStart = false;
};

// Another consumer of what a run shows and plays (the video export): the
// frames as presented and exactly the samples audio.wav gets, both counted
// from the run's start.
class qvn_cCaptureSink {
public:
    virtual ~qvn_cCaptureSink() = default;
    // audio.wav was opened (16-bit stereo at this rate); no sample comes
    // before this.
    virtual void OnAudioOpened(int sampleRate) = 0;
    // A presented frame of the run. runPeriod is its time in frame periods
    // from the run's start (virtual_ms in frames.txt): a period in which no
    // frame was flipped (a part waiting for its time) counts, so the frame
    // stays in step with the sound.
    virtual void OnRunFrame(const uint16_t* pixels, int width, int height, int pitchPixels, uint32_t runPeriod) = 0;
    // Bytes appended to audio.wav's data (16-bit little-endian stereo).
    virtual void OnRunAudio(const uint8_t* bytes, size_t count) = 0;
};

class qvn_cCaptureSession : public qvn_cSystemServices {
public:
    qvn_cCaptureSession() = default;
    ~qvn_cCaptureSession() override;

    // Creates the folder and frames.txt; false (with a message on stderr) when
    // they cannot be made.
    bool Start(const qvn_SCaptureSettings& settings);
    void Finish();

    // The display hands over every presented frame (5-6-5, width x height).
    void OnFlip(const uint16_t* pixels, int width, int height, int pitchPixels);

    // Frame periods elapsed: one per flipped frame, and one per pump that had
    // no flip before it (a part waiting for its start time still sees the
    // clock move, so no capture hangs).
    uint32_t VirtualMs() const {
        return static_cast<uint32_t>(static_cast<uint64_t>(Periods()) * 1000u / m_Settings.fps);
    }
    uint32_t FrameIndex() const { return m_nFrame; }
    // The frame periods VirtualMs is made of.
    uint32_t Periods() const { return m_Clock.Periods(); }

    // The run's own numbering: frame 0 and 0 ms are where the run starts
    // (the capture's start, or the start point). frames.txt, the PNG files,
    // audio.wav and the scripted keys count from there; the clock the show
    // reads (VirtualMs) does not.
    void BeginRun();
    bool RunStarted() const { return m_bRunStarted; }
    uint32_t RunMs() const {
        if (!m_bRunStarted) return 0;
        return static_cast<uint32_t>(static_cast<uint64_t>(Periods() - m_nRunOriginPeriods) * 1000u / m_Settings.fps);
    }
    // The virtual time the run started at.
    uint32_t RunStartMs() const {
        return static_cast<uint32_t>(static_cast<uint64_t>(m_nRunOriginPeriods) * 1000u / m_Settings.fps);
    }
    // A frame played but not presented (before the start point): it takes
    // its frame period, and nothing is written.
    void OnSkippedFlip();
    int Fps() const { return m_Settings.fps; }
    const std::string& Dir() const { return m_Settings.dir; }

    // The message pump calls this once per pump: a pump with no flip since
    // the last one moves the clock by one frame period.
    void OnPump();

    // What the frame belongs to: 1 or 2 while a half plays, 0 while loading.
    void SetPhase(int phase) { m_nPhase = phase; }
    // The class name of the running part (null: none), written on every line.
    void SetPartName(const char* name) {
        m_pszPart = name;
        if (name) ++m_nPartRuns;
    }
    // Called with every frame that is shown while a half plays, with the show
    // clock (the storyboard takes its thumbnails from here).
    using FrameListener = void (*)(const uint16_t* pixels, int width, int height, int pitchPixels, int half,
                                   int showMs, const char* part, void* context);
    void SetFrameListener(FrameListener fn, void* context) {
        m_pFrameListener = fn;
        m_pFrameListenerContext = context;
    }
    // The show clock, read once per frame; returns false when no track is open.
    using ShowClockFn = bool (*)(int* ms);
    void SetShowClock(ShowClockFn fn) { m_pShowClock = fn; }

    // Called whenever the virtual clock moves, with the new time: the capture
    // sound device consumes its ring up to there.
    using ClockListener = void (*)(uint32_t ms, void* context);
    void SetClockListener(ClockListener fn, void* context) {
        m_pListener = fn;
        m_pListenerContext = context;
    }

    // The run's frames and sound also go here (null: nowhere else).
    void SetSink(qvn_cCaptureSink* sink) { m_pSink = sink; }
    qvn_cCaptureSink* Sink() const { return m_pSink; }

    // System services of the capture mode.
    uint32_t TickCount() override { return VirtualMs(); }
    void DebugOutput(const char* text) override;
    void ShowMessageBox(const char* text, const char* caption, unsigned flags) override;
    void SetCursorVisible(bool) override {}

private:
    qvn_SCaptureSettings m_Settings;
    FILE* m_pFrames = nullptr;
    uint32_t m_nFrame = 0;
    // Counts the periods: one per frame played, one per pump with no frame
    // before it.
    qvn_cFrameClock m_Clock{nullptr, 60};
    bool m_bRunStarted = true;
    uint32_t m_nRunOriginPeriods = 0;
    uint32_t m_nRunOriginFrame = 0;
    int m_nPhase = 0;
    const char* m_pszPart = nullptr;
    int m_nPartRuns = 0;  // how many part runs have started
    FrameListener m_pFrameListener = nullptr;
    void* m_pFrameListenerContext = nullptr;
    ShowClockFn m_pShowClock = nullptr;
    ClockListener m_pListener = nullptr;
    void* m_pListenerContext = nullptr;
    qvn_cCaptureSink* m_pSink = nullptr;
};

// Non-null in capture mode.
extern qvn_cCaptureSession* g_pCapture;

// Sees every flipped frame of every capture session (null: nobody): tests run
// the program in their own process and look at its frames as they are shown.
// showMs is -1 while no track is open; partRun counts the part runs so far
// (a part that runs twice, like a loading screen, has two).
using qvn_CaptureObserver = void (*)(const uint16_t* pixels, int width, int height, int pitchPixels, int phase,
                                     int showMs, const char* part, int partRun);
extern qvn_CaptureObserver g_pfnCaptureObserver;
