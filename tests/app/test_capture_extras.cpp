// What capture mode gives a person looking at a whole show: the storyboard
// grid and the per-part statistics.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qvn_ShowStats.h"
#include "qvn_Storyboard.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t BigEndian(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

TEST(Storyboard, OneThumbnailEveryTwoSecondsOfEachHalf) {
    qvn_cStoryboard board;
    std::vector<uint16_t> frame(320 * 240, 0xF800);
    // Frames every 50 ms of show time; the first at or after each 2 s mark
    // is kept. A new half starts again at 0.
    for (int ms = 0; ms <= 9000; ms += 50) board.OnFrame(frame.data(), 320, 240, 320, 1, ms, "qvn_cPartTitles");
    EXPECT_EQ(board.Count(), 5);  // 0, 2, 4, 6, 8 s
    for (int ms = 30; ms <= 2100; ms += 70) board.OnFrame(frame.data(), 320, 240, 320, 2, ms, "qvn_cPartGel");
    EXPECT_EQ(board.Count(), 7);  // 0.03 and 2.07 s of the second half
    const std::string path = (std::filesystem::path(testing::TempDir()) / "qvn_storyboard.png").string();
    ASSERT_TRUE(board.Write(path.c_str()));
    const std::vector<uint8_t> png = ReadAll(path);
    ASSERT_GT(png.size(), 24u);
    // Eight columns of 162 pixels; one row of 133 pixels per eight thumbnails.
    EXPECT_EQ(BigEndian(&png[16]), 8u * 162u);
    EXPECT_EQ(BigEndian(&png[20]), 133u);
}

TEST(Storyboard, ThumbnailsAverageTheFrameAndLabelsAreDrawn) {
    std::vector<uint32_t> canvas(40 * 10, 0);
    const int end = qvn_cStoryboard::DrawText(canvas.data(), 40, 10, 1, 1, "H1 0", 0xFFFFFF);
    EXPECT_EQ(end, 1 + 4 * 6);
    int lit = 0;
    for (uint32_t p : canvas) lit += p != 0;
    EXPECT_GT(lit, 20);
    // Text that runs off the canvas is clipped, not written past it.
    qvn_cStoryboard::DrawText(canvas.data(), 40, 10, 30, 8, "WWWW", 0xFFFFFF);
    qvn_cStoryboard empty;
    EXPECT_FALSE(empty.Write("/nonexistent/dir/x.png"));
}

// The frame count on the report line of a part.
int FramesOf(const std::string& report, const std::string& part) {
    const size_t at = report.find(part + " ");
    if (at == std::string::npos) return -1;
    return std::atoi(report.c_str() + at + part.size());
}

TEST(ShowStats, ReportsEachPartRunWithItsFrameCount) {
    qvn_ShowStatsReset();
    qvn_ShowStatsEnable(true, 60);
    qvn_ShowStatsBeginPart("qvn_cPartTitles");
    for (int i = 0; i < 12; ++i) qvn_ShowStatsFrame();
    qvn_ShowStatsBeginPart("qvn_cPartPillars");
    for (int i = 0; i < 3; ++i) qvn_ShowStatsFrame();
    // A part that waits 200 ms before its first frame: the wait is no frame.
    qvn_ShowStatsBeginPart("qvn_cPartGel");
    const auto waitEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < waitEnd) qvn_ShowStatsIdle();
    qvn_ShowStatsFrame();
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    qvn_ShowStatsReport(out, 0.25);
    std::fclose(out);
    const std::string report(text, size);
    std::free(text);
    EXPECT_EQ(FramesOf(report, "qvn_cPartTitles"), 12) << report;
    EXPECT_EQ(FramesOf(report, "qvn_cPartPillars"), 3) << report;
    EXPECT_NE(report.find("total: 16 frames"), std::string::npos) << report;
    EXPECT_EQ(FramesOf(report, "qvn_cPartGel"), 1) << report;
    // Its one frame took far less than the wait (the report's worst time).
    const size_t gel = report.find("qvn_cPartGel");
    double median = 0, p99 = 0, worst = 0;
    int frames = 0;
    ASSERT_EQ(std::sscanf(report.c_str() + gel + 12, "%d %lfms %lfms %lfms", &frames, &median, &p99, &worst), 4);
    EXPECT_LT(worst, 150.0);
    EXPECT_NE(report.find("x real time"), std::string::npos) << report;
    qvn_ShowStatsReset();
    // Disabled: nothing is recorded or printed.
    qvn_ShowStatsBeginPart("qvn_cPartTitles");
    qvn_ShowStatsFrame();
    out = open_memstream(&text, &size);
    qvn_ShowStatsReport(out, 0.0);
    std::fclose(out);
    EXPECT_EQ(size, 0u);
    std::free(text);
}

}  // namespace
