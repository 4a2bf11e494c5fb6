// Capture mode: a frame drawn through the display comes out of the capture
// files pixel for pixel, on a virtual clock.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <random>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_Display_capture.h"
#include "qvn_Png.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> ReadPngRGB(const std::string& path, int* w, int* h) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint32_t> out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return out;
    *w = image.width;
    *h = image.height;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) out.push_back((rgb[i] << 16) | (rgb[i + 1] << 8) | rgb[i + 2]);
    return out;
}

uint16_t Pattern(int x, int y, int frame) { return static_cast<uint16_t>((x * 263 + y * 71 + frame * 4099) ^ (x << 11)); }

// Draws `frames` frames the way a part does: clear, lock, write rows, unlock, flip.
void DrawFrames(qvn_cEngDisplay& display, int frames) {
    for (int f = 0; f < frames; ++f) {
        display.Clear();
        display.Lock();
        ASSERT_NE(display.m_pSurfacePixels, nullptr);
        for (int y = 0; y < display.m_nHeight; ++y)
            for (int x = 0; x < display.m_nWidth; ++x)
                display.m_pSurfacePixels[y * display.m_nPitchPixels + x] = Pattern(x, y, f);
        display.Unlock();
        EXPECT_EQ(display.m_pSurfacePixels, nullptr);
        display.Flip();
    }
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every frame's checksum: the folded fast path must give zlib's value for
// every length, alignment and running value, including the leftovers after
// the 16-byte blocks and runs split across calls.
TEST(Capture, TheFrameChecksumIsZlibsCrc32) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(200000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    for (size_t length = 0; length <= 700; ++length) {
        for (size_t offset : {size_t(0), size_t(1), size_t(7), size_t(13)}) {
            const uint8_t* p = bytes.data() + offset;
            const uint32_t want = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(length)));
            ASSERT_EQ(qvn_Crc32(p, length), want) << length << " bytes at " << offset;
            const uint32_t seed = static_cast<uint32_t>(random());
            ASSERT_EQ(qvn_Crc32(p, length, seed), static_cast<uint32_t>(crc32(seed, p, static_cast<uInt>(length))))
                << length << " bytes at " << offset << " after " << seed;
        }
    }
    // A whole frame at once, and the same frame row by row.
    const size_t frame = 320 * 240 * 2;
    const uint32_t whole = qvn_Crc32(bytes.data(), frame);
    EXPECT_EQ(whole, static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(frame))));
    uint32_t rows = 0;
    for (size_t y = 0; y < 240; ++y) rows = qvn_Crc32(bytes.data() + y * 640, 640, rows);
    EXPECT_EQ(rows, whole);
    // All zeros and all ones, where a wrong fold constant still shows.
    std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    EXPECT_EQ(qvn_Crc32(zeros.data(), zeros.size()), static_cast<uint32_t>(crc32(0, zeros.data(), 4096)));
    EXPECT_EQ(qvn_Crc32(ones.data(), ones.size()), static_cast<uint32_t>(crc32(0, ones.data(), 4096)));
    EXPECT_EQ(qvn_Crc32("123456789", 9), 0xCBF43926u);  // the CRC-32 check value
}

TEST(Capture, FramesComeOutPixelExactOnTheVirtualClock) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_capture_exact";
    fs::remove_all(dir);
    qvn_cCaptureSession session;
    qvn_SCaptureSettings settings;
    settings.dir = dir.string();
    settings.fps = 30;
    settings.firstPngFrame = 1;
    settings.lastPngFrame = 2;
    ASSERT_TRUE(session.Start(settings));
    g_pCapture = &session;
    qvn_cCaptureDisplay display;
    ASSERT_TRUE(display.Init("display", 320, 240, 16, 0));
    EXPECT_EQ(session.VirtualMs(), 0u);
    DrawFrames(display, 4);
    EXPECT_EQ(session.FrameIndex(), 4u);
    EXPECT_EQ(session.VirtualMs(), 133u);  // 4 * 1000 / 30, in integers
    session.Finish();
    g_pCapture = nullptr;

    // PNGs only for the range asked for, each the frame exactly (5-6-5
    // channels widened by bit replication).
    EXPECT_FALSE(fs::exists(dir / "frame_000000.png"));
    EXPECT_FALSE(fs::exists(dir / "frame_000003.png"));
    int w = 0, h = 0;
    std::vector<uint32_t> rgb = ReadPngRGB((dir / "frame_000002.png").string(), &w, &h);
    ASSERT_EQ(w, 320);
    ASSERT_EQ(h, 240);
    int mismatches = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mismatches += rgb[y * w + x] != qvn_565ToRGB32(Pattern(x, y, 2));
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(qvn_565ToRGB32(0xFFFF), 0xFFFFFFu);
    EXPECT_EQ(qvn_565ToRGB32(0x8410), 0x848284u);

    // frames.txt: index, virtual ms, phase, no clock (no track), CRC of the frame.
    std::vector<uint16_t> frame(320 * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) frame[y * 320 + x] = Pattern(x, y, 3);
    char expected[64];
    std::snprintf(expected, sizeof expected, "3 100 0 - %08x -\n", qvn_Crc32(frame.data(), frame.size() * 2));
    std::string text = ReadText(dir / "frames.txt");
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(Capture, TwoRunsWriteIdenticalFrameLists) {
    std::string texts[2];
    for (int run = 0; run < 2; ++run) {
        fs::path dir = fs::path(testing::TempDir()) / ("qvn_capture_repeat" + std::to_string(run));
        fs::remove_all(dir);
        qvn_cCaptureSession session;
        qvn_SCaptureSettings settings;
        settings.dir = dir.string();
        settings.firstPngFrame = -1;
        ASSERT_TRUE(session.Start(settings));
        g_pCapture = &session;
        session.SetPhase(1);
        session.SetShowClock([](int* ms) {
            *ms = static_cast<int>(g_pCapture->VirtualMs()) - 450;
            return true;
        });
        qvn_cCaptureDisplay display;
        ASSERT_TRUE(display.Init("NoSelection", 320, 240, 16, 0));
        DrawFrames(display, 3);
        session.Finish();
        g_pCapture = nullptr;
        texts[run] = ReadText(dir / "frames.txt");
        EXPECT_FALSE(fs::exists(dir / "frame_000000.png"));
    }
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_NE(texts[0].find("\n1 16 1 -434 "), std::string::npos) << texts[0];
}

TEST(CaptureDisplay, UnknownDeviceFailsAndFailedLockLeavesNothing) {
    qvn_cCaptureDisplay display;
    EXPECT_FALSE(display.Init("NoSuchDriver", 320, 240, 16, 0));
    // Never initialised: a lock yields no pointer and no pitch.
    display.Lock();
    EXPECT_EQ(display.m_pSurfacePixels, nullptr);
    EXPECT_EQ(display.m_nPitch, 0);
    EXPECT_EQ(display.m_nPitchPixels, 0);
    qvn_cCaptureDisplay d555(0x7C00, 0x03E0, 0x001F);
    ASSERT_TRUE(d555.Init("display", 320, 240, 16, 0));
    EXPECT_EQ(d555.m_PixelFormat.ScreenFormatCode(), 15);
    d555.Lock();
    EXPECT_EQ(d555.m_nPitch, 640);
    EXPECT_EQ(d555.m_nPitchPixels, 320);
}

TEST(Capture, ARunThatWaitsForItsStartNumbersFromThereAndKeepsTheShowsClock) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_capture_start";
    fs::remove_all(dir);
    qvn_cCaptureSession session;
    qvn_SCaptureSettings settings;
    settings.dir = dir.string();
    settings.fps = 30;
    settings.firstPngFrame = 0;
    settings.lastPngFrame = 0;
    settings.waitForStart = true;
    ASSERT_TRUE(session.Start(settings));
    g_pCapture = &session;
    qvn_cCaptureDisplay display;
    ASSERT_TRUE(display.Init("display", 320, 240, 16, 0));
    // Three frames played unseen and one idle pump: the clock the show reads
    // moves, nothing is written.
    for (int i = 0; i < 3; ++i) {
        session.OnSkippedFlip();
        session.OnPump();
    }
    session.OnPump();
    EXPECT_FALSE(session.RunStarted());
    EXPECT_EQ(session.RunMs(), 0u);
    EXPECT_EQ(session.VirtualMs(), 133u);
    session.BeginRun();
    EXPECT_EQ(session.RunStartMs(), 133u);
    DrawFrames(display, 2);
    EXPECT_EQ(session.VirtualMs(), 200u);
    EXPECT_EQ(session.RunMs(), 66u);
    session.BeginRun();  // a second call does not move the start
    EXPECT_EQ(session.RunStartMs(), 133u);
    session.Finish();
    g_pCapture = nullptr;

    // The run's first frame is frame 0 at 0 ms, and --frames counts from it.
    const std::string frames = ReadText(dir / "frames.txt");
    EXPECT_NE(frames.find("\n0 0 0 - "), std::string::npos) << frames;
    EXPECT_NE(frames.find("\n1 33 0 - "), std::string::npos) << frames;
    EXPECT_EQ(frames.find("\n2 "), std::string::npos) << frames;
    EXPECT_TRUE(fs::exists(dir / "frame_000000.png"));
    EXPECT_FALSE(fs::exists(dir / "frame_000001.png"));
    EXPECT_FALSE(fs::exists(dir / "frame_000003.png"));
    fs::remove_all(dir);
}

}  // namespace
