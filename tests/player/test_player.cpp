// The music player: the show clock, PCM conversion, refills, and what a
// capture run hears.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if QVN_HAVE_LAME
#include <lame/lame.h>
#endif

#include "qvn_Capture.h"
#include "qvn_Display_capture.h"
#include "qvn_MP3Decoder.h"
#include "qvn_MP3Player.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_Sequencer.h"
#include "qvn_System.h"
#include "qvn_Window.h"

namespace {

namespace fs = std::filesystem;

class cManualClock : public qvn_cSystemServices {
public:
    uint32_t TickCount() override { return now; }
    void DebugOutput(const char*) override {}
    void ShowMessageBox(const char*, const char*, unsigned) override {}
    void SetCursorVisible(bool) override {}
    uint32_t now = 5000;
};

// Collects what OutputPCM hands over.
class cRecorder : public qvn_cSoundPlayer {
public:
    void WritePCM(const void* bytes, int count) override {
        const int16_t* s = static_cast<const int16_t*>(bytes);
        samples.insert(samples.end(), s, s + count / 2);
    }
    std::vector<int16_t> samples;
};

TEST(PlayerPcm, ClampsToFullScaleTruncatesAndDoublesMono) {
    cRecorder recorder;  // the newest player receives the output
    const float left[] = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -7.0f, 0.99999f, 0.00003f, -0.00003f};
    const float right[] = {0.25f, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    OutputPCM(10, left, nullptr);
    const int16_t mono[] = {0, 16000, -16000, 32000, -32000, 32000, -32000, 31999, 0, 0};
    ASSERT_EQ(recorder.samples.size(), 20u);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(recorder.samples[2 * k], mono[k]) << k;
        EXPECT_EQ(recorder.samples[2 * k + 1], mono[k]) << k;
    }
    recorder.samples.clear();
    OutputPCM(1, left, right);
    EXPECT_EQ(recorder.samples, (std::vector<int16_t>{0, 8000}));
}

TEST(PlayerClock, PlayStartsAtZeroSeekMovesBackFourHundredFifty) {
    cManualClock clock;
    qvn_sys::Install(&clock);
    {
        qvn_cMP3Player player;
        EXPECT_EQ(player.GetMP3Position(), -1);
        EXPECT_EQ(player.m_nSampleRate, 32000);
        player.Seek(0);  // before Play: nothing moves
        EXPECT_FALSE(player.IsPlaying());
        EXPECT_FALSE(player.Open("no/such/file.mp3", 0));
        EXPECT_FALSE(player.Open("whatever.mp3", 1));  // only mode 0
        player.Play();
        EXPECT_EQ(player.GetTimePosition(), 0);
        clock.now += 1234;
        EXPECT_EQ(player.GetTimePosition(), 1234);
        player.Seek(0);
        EXPECT_EQ(player.GetTimePosition(), -450);
        clock.now += 450;
        EXPECT_EQ(player.GetTimePosition(), 0);
        // No ring: the pump's update must be harmless.
        player.Update();
        player.Release();
        player.Update();
    }
    qvn_sys::Install(nullptr);
}

#if QVN_HAVE_LAME

// A 6-second 44.1 kHz stereo MP3 of a tone that changes every second.
std::vector<uint8_t> EncodeTestTrack(int seconds) {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, 44100);
    lame_set_out_samplerate(lame, 44100);
    lame_set_num_channels(lame, 2);
    lame_set_brate(lame, 128);
    lame_set_quality(lame, 7);
    lame_set_bWriteVbrTag(lame, 0);
    lame_init_params(lame);
    std::vector<short> l(44100 * seconds), r(l.size());
    for (size_t i = 0; i < l.size(); ++i) {
        double t = i / 44100.0;
        double f = 220.0 * (1 + static_cast<int>(t));
        l[i] = static_cast<short>(12000 * std::sin(2 * M_PI * f * t));
        r[i] = static_cast<short>(9000 * std::sin(2 * M_PI * f * 1.5 * t));
    }
    std::vector<uint8_t> out(l.size() * 2 + 16384);
    int n = lame_encode_buffer(lame, l.data(), r.data(), static_cast<int>(l.size()), out.data(), static_cast<int>(out.size()));
    n += lame_encode_flush(lame, out.data() + n, static_cast<int>(out.size()) - n);
    lame_close(lame);
    out.resize(n);
    return out;
}

std::vector<int16_t> g_Decoded;
void Collect(int count, const float* left, const float* right) {
    auto convert = [](float v) -> int16_t {
        if (v > 1.0f) return 32000;
        if (v < -1.0f) return -32000;
        return static_cast<int16_t>(v * 32000.0f);
    };
    for (int k = 0; k < count; ++k) {
        g_Decoded.push_back(convert(left[k]));
        g_Decoded.push_back(convert(right ? right[k] : left[k]));
    }
}

// The test show: one part that plays frames until the clock passes 3 s.
class cListeningPart : public qvn_cPart {
public:
    bool load() override { return true; }
    void run() override {
        g_pMusic->Seek(0);
        while (g_pWindow->PumpMessages() && g_pMusic->GetTimePosition() < 3000) {
            g_pDisplay->Clear();
            g_pDisplay->Flip();
        }
    }
    void finish() override {}
};

TEST(PlayerCapture, AudioFileIsTheDecodedTrackAfterTheRingsLatency) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_player_capture";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::vector<uint8_t> mp3 = EncodeTestTrack(6);
    std::string track = (dir / "track.mp3").string();
    std::ofstream(track, std::ios::binary).write(reinterpret_cast<const char*>(mp3.data()), mp3.size());

    // What the decoder makes of it, at the player's scale.
    g_Decoded.clear();
    mp3InitTables();
    SMP3Stream* stream = mp3Open(track.c_str());
    ASSERT_NE(stream, nullptr);
    mp3SetOutput(Collect);
    while (mp3DecodeFrame(stream) > 0) {
    }
    mp3Close(stream);

    qvn_cCaptureSession session;
    qvn_SCaptureSettings settings;
    settings.dir = (dir / "cap").string();
    settings.firstPngFrame = -1;
    ASSERT_TRUE(session.Start(settings));
    g_pCapture = &session;
    qvn_sys::Install(&session);
    {
        qvn_cWindow window;
        qvn_cCaptureDisplay display;
        ASSERT_TRUE(display.Init("display", 320, 240, 16, 0));
        g_pDisplay = &display;
        qvn_cMP3Player player;
        g_pMusic = &player;
        static std::string s_Track;
        s_Track = track;
        qvn_SProgramme programme = {};
        programme.half[0].track = s_Track.c_str();
        programme.half[0].count = 1;
        programme.half[0].parts[0] = {"listening", [] { return static_cast<qvn_cPart*>(new cListeningPart); }};
        programme.half[1].track = "no/second/track.mp3";
        RunShow(programme);
        g_pMusic = nullptr;
        g_pDisplay = nullptr;
        qvn_CloseCaptureAudio();
    }
    session.Finish();
    qvn_sys::Install(nullptr);
    g_pCapture = nullptr;

    std::ifstream in(dir / "cap" / "audio.wav", std::ios::binary);
    std::vector<uint8_t> wav((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    uint32_t dataBytes;
    std::memcpy(&dataBytes, wav.data() + 40, 4);
    ASSERT_EQ(dataBytes, wav.size() - 44);
    std::vector<int16_t> heard((wav.size() - 44) / 2);
    std::memcpy(heard.data(), wav.data() + 44, heard.size() * 2);

    // The clock ran from -450 ms to 3 s: 3.45 s were heard, the first two
    // quarters (18432 samples) of them the fresh ring's silence.
    const size_t latency = 2 * (kQvnStreamBufferBytes / 4) / 4;
    ASSERT_GT(heard.size() / 2, latency + 44100 * 2);
    for (size_t i = 0; i < latency * 2; ++i) ASSERT_EQ(heard[i], 0) << i;
    size_t compared = heard.size() - latency * 2;
    ASSERT_LE(compared, g_Decoded.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < compared; ++i) mismatches += heard[latency * 2 + i] != g_Decoded[i];
    EXPECT_EQ(mismatches, 0u);
}

#endif

}  // namespace
