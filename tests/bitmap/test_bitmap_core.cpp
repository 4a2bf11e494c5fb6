// The image object: life cycle, format conversions and the operations that
// replace its buffers.
#include <gtest/gtest.h>

#include <cstring>

#include "bitmap_test_util.h"
#include "qvn_Bitmap.h"

namespace {

uint32_t Pattern(int x, int y) { return Rgb((x * 37 + y * 11) & 0xFF, (x * 5 + y * 71) & 0xFF, (x ^ y) * 13 & 0xFF); }

TEST(BitmapInit, ZeroSizeLeavesTheBitmapEmptyAndKeepsItsLog) {
    CapturedLog log;
    qvn_cBitmap b(8, 8, 16);
    ASSERT_EQ(b.m_pErrorLog, &log);
    EXPECT_FALSE(b.initBitmap(0, 240, 16));
    EXPECT_EQ(b.m_pErrorLog, &log);
    EXPECT_EQ(b.m_p32bitsPixels, nullptr);
    EXPECT_EQ(b.m_pBitmapPixels, nullptr);
    EXPECT_EQ(b.m_nSizeX, 0);
    EXPECT_EQ(b.m_nSizeY, 0);
    EXPECT_EQ(b.m_eBpp, 0);
    EXPECT_EQ(b.m_nBytesPerLine, 0);
    EXPECT_TRUE(log.Has("qvn_cBitmap::initBitmap() : Bad size wanted (0x240)\n"));
    // Negative sizes are as bad as zero ones.
    EXPECT_FALSE(b.initBitmap(-4, 4, 16));
}

TEST(BitmapInit, InvalidFormatKeepsSizeWithoutBuffers) {
    CapturedLog log;
    qvn_cBitmap b(1, 1, 32);
    EXPECT_FALSE(b.initBitmap(4, 4, 17));
    EXPECT_EQ(b.m_nSizeX, 4);
    EXPECT_EQ(b.m_nSizeY, 4);
    EXPECT_EQ(b.m_eBpp, 17);
    EXPECT_EQ(b.m_p32bitsPixels, nullptr);
    EXPECT_EQ(b.m_pBitmapPixels, nullptr);
    EXPECT_TRUE(log.Has("qvn_cBitmap::initBitmap() : Wanted eBpp(17) is invalid.\n"));
}

TEST(BitmapInit, BuffersAreClearedAndSizedByFormat) {
    for (int bpp : {15, 16, 24, 32}) {
        qvn_cBitmap b(7, 3, bpp);
        ASSERT_NE(b.m_p32bitsPixels, nullptr);
        ASSERT_NE(b.m_pBitmapPixels, nullptr);
        EXPECT_EQ(b.m_nBytesPerLine, bpp <= 16 ? 14 : 28);
        for (int i = 0; i < 21; ++i) EXPECT_EQ(b.m_p32bitsPixels[i], 0u);
        for (int i = 0; i < b.m_nBytesPerLine * 3; ++i) EXPECT_EQ(b.m_pBitmapPixels[i], 0);
        // Re-initialising a bitmap that holds pictures frees them first
        // (a leak here shows under the sanitizer build).
        EXPECT_TRUE(b.initBitmap(2, 2, bpp));
        EXPECT_EQ(b.m_nSizeX, 2);
    }
    EXPECT_NE(qvn_cBitmap::m_pppArrayFadingValues, nullptr);
    EXPECT_NE(qvn_cBitmap::m_pppArrayAdditiveValues, nullptr);
}

TEST(BitmapInit, ReleaseKeepsTheLogOnly) {
    CapturedLog log;
    qvn_cBitmap b(3, 3, 15);
    b.release();
    EXPECT_EQ(b.m_pErrorLog, &log);
    EXPECT_EQ(b.m_p32bitsPixels, nullptr);
    EXPECT_EQ(b.m_nSizeX, 0);
    EXPECT_EQ(b.m_nBytesPerLine, 0);
    b.release();  // twice is harmless
}

TEST(BitmapFormats, KnownColoursConvertBothWays) {
    qvn_cBitmap b15(2, 1, 15), b16(2, 1, 16);
    for (qvn_cBitmap* b : {&b15, &b16}) {
        b->m_p32bitsPixels[0] = 0x00FFFFFF;
        b->m_p32bitsPixels[1] = 0x00808080;
        ASSERT_TRUE(b->setNbpp(b->m_eBpp));
    }
    EXPECT_EQ(b15.pixels16()[0], 0x7FFF);
    EXPECT_EQ(b15.pixels16()[1], 0x4210);
    EXPECT_EQ(b16.pixels16()[0], 0xFFFF);
    EXPECT_EQ(b16.pixels16()[1], 0x8410);

    const uint16_t white15[2] = {0x7FFF, 0x4210}, white16[2] = {0xFFFF, 0x8410};
    ASSERT_TRUE(b15.retrievePixels32(white15, 15, 2, 1));
    ASSERT_TRUE(b16.retrievePixels32(white16, 16, 2, 1));
    EXPECT_EQ(b15.m_p32bitsPixels[0], 0x00F8F8F8u);
    EXPECT_EQ(b16.m_p32bitsPixels[0], 0x00F8FCF8u);
    EXPECT_EQ(b15.m_p32bitsPixels[1], 0x00808080u);
    EXPECT_EQ(b16.m_p32bitsPixels[1], 0x00808080u);
}

TEST(BitmapFormats, EverySixteenBitPixelSurvivesTheRoundTrip) {
    // Expanding to 32 bits and converting back must give the same pixel, in
    // both 16-bit flavours (bit 15 is unused in 5-5-5).
    std::vector<uint16_t> all(65536);
    for (int i = 0; i < 65536; ++i) all[i] = uint16_t(i);
    for (int bpp : {15, 16}) {
        qvn_cBitmap b(256, 256, bpp);
        ASSERT_TRUE(b.retrievePixels32(all.data(), bpp, 256, 256));
        const uint16_t mask = bpp == 15 ? 0x7FFF : 0xFFFF;
        for (int i = 0; i < 65536; ++i) ASSERT_EQ(b.pixels16()[i], all[i] & mask) << "bpp " << bpp << " pixel " << i;
        for (int i = 0; i < 65536; ++i) ASSERT_EQ(b.m_p32bitsPixels[i] & 0xFF070307u, 0u);
    }
}

TEST(BitmapFormats, SetNbppRefusalsKeepTheOldDisplayCopy) {
    CapturedLog log;
    qvn_cBitmap b(4, 4, 16);
    uint8_t* before = b.m_pBitmapPixels;
    EXPECT_FALSE(b.setNbpp(8));
    EXPECT_TRUE(log.Has("qvn_cBitmap::setNbpp() : Wanted eBpp(8) is not supported.\n"));
    EXPECT_EQ(b.m_pBitmapPixels, before);
    EXPECT_EQ(b.m_eBpp, 16);
    ASSERT_TRUE(b.setNbpp(32));
    EXPECT_EQ(b.m_nBytesPerLine, 16);
    b.release();
    EXPECT_FALSE(b.setNbpp(16));
    EXPECT_TRUE(log.Has("qvn_cBitmap::setNbpp() : m_p32bitsPixels is NULL Ptr\n"));
}

TEST(BitmapFormats, RetrieveChecksItsArguments) {
    CapturedLog log;
    qvn_cBitmap b(4, 2, 32);
    uint32_t pixels[8] = {};
    EXPECT_FALSE(b.retrievePixels32(nullptr, 32, 4, 2));
    EXPECT_TRUE(log.Has("qvn_cBitmap::retrievePixels32() : pPixels is NULL Ptr.\n"));
    EXPECT_FALSE(b.retrievePixels32(pixels, 32, 2, 4));
    EXPECT_TRUE(log.Has("qvn_cBitmap::retrievePixels32() : pPixels is 2x4 instead of 4x2.\n"));
    EXPECT_FALSE(b.retrievePixels32(pixels, 12, 4, 2));
    EXPECT_TRUE(log.Has("qvn_cBitmap::retrievePixels32() : eBpp is invalid <12>\n"));
}

TEST(BitmapSetSize, SameSizeTouchesNothing) {
    qvn_cBitmap b(4, 4, 16);
    uint32_t* master = b.m_p32bitsPixels;
    uint8_t* display = b.m_pBitmapPixels;
    EXPECT_TRUE(b.setSize(4, 4));
    EXPECT_EQ(b.m_p32bitsPixels, master);
    EXPECT_EQ(b.m_pBitmapPixels, display);
}

TEST(BitmapSetSize, HalvingSamplesEveryOtherPixelInBothCopies) {
    qvn_cBitmap b(4, 4, 16);
    FillMaster(b, Pattern);
    ASSERT_TRUE(b.setNbpp(16));
    ASSERT_TRUE(b.setSize(2, 2));
    EXPECT_EQ(b.m_nSizeX, 2);
    EXPECT_EQ(b.m_nBytesPerLine, 4);
    const int src[4][2] = {{0, 0}, {2, 0}, {0, 2}, {2, 2}};  // (x, y) of (0,0), (1,0), (0,1), (1,1)
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b.m_p32bitsPixels[i], Pattern(src[i][0], src[i][1]));
        EXPECT_EQ(b.pixels16()[i], qvn_Rgb32To565(Pattern(src[i][0], src[i][1])));
    }
}

TEST(BitmapSetSize, PositionsAccumulateInSinglePrecision) {
    qvn_cBitmap b(10, 1, 32);
    FillMaster(b, [](int x, int) { return uint32_t(x); });
    ASSERT_TRUE(b.setSize(3, 1));
    EXPECT_EQ(b.m_p32bitsPixels[0], 0u);
    EXPECT_EQ(b.m_p32bitsPixels[1], 3u);
    EXPECT_EQ(b.m_p32bitsPixels[2], 6u);
    // 1/12 in single precision added twelve times stays just below 1, where
    // a multiplication would give exactly 1: column 12 still shows pixel 0.
    qvn_cBitmap c(2, 1, 32);
    FillMaster(c, [](int x, int) { return uint32_t(x); });
    ASSERT_TRUE(c.setSize(24, 1));
    EXPECT_EQ(c.m_p32bitsPixels[11], 0u);
    EXPECT_EQ(c.m_p32bitsPixels[12], 0u);
    EXPECT_EQ(c.m_p32bitsPixels[13], 1u);
}

TEST(BitmapSetSize, LargeEnlargementStaysInsideTheSource) {
    qvn_cBitmap b(3, 1, 15);
    FillMaster(b, [](int x, int) { return Rgb(uint32_t(x) * 100, 0, 0); });
    ASSERT_TRUE(b.setNbpp(15));
    ASSERT_TRUE(b.setSize(20000, 2));
    EXPECT_EQ(b.m_p32bitsPixels[19999], Rgb(200, 0, 0));
    EXPECT_EQ(b.m_p32bitsPixels[20000], Rgb(0, 0, 0));
}

TEST(BitmapSetSize, Refusals) {
    CapturedLog log;
    qvn_cBitmap b(4, 4, 16);
    EXPECT_FALSE(b.setSize(0, 3));
    EXPECT_TRUE(log.Has("qvn_cBitmap::setSize() : Bad size parameter (0x3)\n"));
    b.release();
    EXPECT_FALSE(b.setSize(2, 2));
    EXPECT_TRUE(log.Has("qvn_cBitmap::setSize() : Invalid eBpp.\n"));
}

TEST(BitmapCrop, TooWideCropIsCutToTheEdgeWithAWarning) {
    CapturedLog log;
    qvn_cBitmap b(320, 20, 16);
    FillMaster(b, Pattern);
    ASSERT_TRUE(b.cropTo(300, 5, 100, 10));
    EXPECT_TRUE(log.Has("qvn_cBitmap::cropTo() : WARNING : nSizeX too big to fit in bitmap (nSizeX=100)\n"));
    EXPECT_EQ(b.m_nSizeX, 20);
    EXPECT_EQ(b.m_nSizeY, 10);
    EXPECT_EQ(b.m_eBpp, 16);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(b.m_p32bitsPixels[y * 20 + x], Pattern(300 + x, 5 + y));
            ASSERT_EQ(b.pixels16()[y * 20 + x], qvn_Rgb32To565(Pattern(300 + x, 5 + y)));
        }
}

TEST(BitmapCrop, Refusals) {
    CapturedLog log;
    qvn_cBitmap b(10, 10, 16);
    EXPECT_FALSE(b.cropTo(10, 0, 1, 1));
    EXPECT_TRUE(log.Has("qvn_cBitmap::cropTo() : Starting position outside of bitmap (x=10, y=0)\n"));
    EXPECT_EQ(b.m_nSizeX, 10);
    EXPECT_TRUE(b.cropTo(2, 8, 4, 5));
    EXPECT_TRUE(log.Has("qvn_cBitmap::cropTo() : WARNING : nSizeY too big to fit in bitmap (nSizeY=5)\n"));
    EXPECT_EQ(b.m_nSizeY, 2);
    EXPECT_FALSE(b.cropTo(0, 0, 0, 1));
    EXPECT_TRUE(log.Has("qvn_cBitmap::cropTo() : Can't init bitmap\n"));
}

TEST(BitmapCopy, DeepCopyIsIndependent) {
    qvn_cBitmap a(5, 4, 15);
    FillMaster(a, Pattern);
    ASSERT_TRUE(a.setNbpp(15));
    qvn_cBitmap b(1, 1, 32);
    ASSERT_TRUE(b.copyFrom(&a));
    EXPECT_EQ(b.m_nSizeX, 5);
    EXPECT_EQ(b.m_eBpp, 15);
    EXPECT_EQ(b.m_nBytesPerLine, 10);
    EXPECT_NE(b.m_p32bitsPixels, a.m_p32bitsPixels);
    EXPECT_EQ(std::memcmp(b.m_p32bitsPixels, a.m_p32bitsPixels, 5 * 4 * 4), 0);
    EXPECT_EQ(std::memcmp(b.m_pBitmapPixels, a.m_pBitmapPixels, 10 * 4), 0);
    a.m_p32bitsPixels[0] = 0x123456;
    EXPECT_NE(b.m_p32bitsPixels[0], 0x123456u);
    // Copying onto itself must not free what it is about to read.
    ASSERT_TRUE(b.copyFrom(&b));
    EXPECT_EQ(b.m_p32bitsPixels[1], Pattern(1, 0));
}

TEST(BitmapCopy, EmptySourceGivesEmptyCopyWithItsSize) {
    CapturedLog log;
    qvn_cBitmap empty(4, 4, 99);  // size kept, no buffers
    qvn_cBitmap b(2, 2, 16);
    EXPECT_TRUE(b.copyFrom(&empty));
    EXPECT_EQ(b.m_p32bitsPixels, nullptr);
    EXPECT_EQ(b.m_nSizeX, 4);
    EXPECT_FALSE(b.copyFrom(nullptr));
    EXPECT_TRUE(log.Has("qvn_cBitmap::copyFrom() : Can't copy a NULL Ptr.\n"));
}

TEST(BitmapInvert, DisplayGetsTheNegativeAndTheMasterStays) {
    qvn_cBitmap b(6, 3, 16);
    FillMaster(b, Pattern);
    ASSERT_TRUE(b.setNbpp(16));
    b.invertColors();
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(b.m_p32bitsPixels[i], Pattern(i % 6, i / 6));
        EXPECT_EQ(b.pixels16()[i], qvn_Rgb32To565(0xFFFFFF - Pattern(i % 6, i / 6)));
    }
    std::vector<uint16_t> first(b.pixels16(), b.pixels16() + 18);
    b.invertColors();
    EXPECT_EQ(std::vector<uint16_t>(b.pixels16(), b.pixels16() + 18), first);
    // syncPixels32 makes the effect the new master, at display precision.
    ASSERT_TRUE(b.syncPixels32());
    EXPECT_EQ(b.m_p32bitsPixels[0], qvn_565ToRgb32(first[0]));
}

TEST(BitmapTile, SixCopiesOfTheWholePicture) {
    qvn_cBitmap b(10, 10, 15);
    FillMaster(b, Pattern);
    ASSERT_TRUE(b.setNbpp(15));
    ASSERT_TRUE(b.tile(2, 3));
    EXPECT_EQ(b.m_nSizeX, 20);
    EXPECT_EQ(b.m_nSizeY, 30);
    EXPECT_EQ(b.m_eBpp, 15);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 20; ++x) {
            ASSERT_EQ(b.m_p32bitsPixels[y * 20 + x], Pattern(x % 10, y % 10)) << x << "," << y;
            ASSERT_EQ(b.pixels16()[y * 20 + x], qvn_Rgb32To555(Pattern(x % 10, y % 10)));
        }
}

TEST(BitmapTile, Refusals) {
    CapturedLog log;
    qvn_cBitmap b(4, 4, 16);
    EXPECT_FALSE(b.tile(0, 2));
    EXPECT_EQ(b.m_nSizeX, 4);
    EXPECT_FALSE(b.tile(1 << 20, 1 << 20));  // far beyond any picture: refused, picture kept
    EXPECT_TRUE(log.Has("qvn_cBitmap::tile() : Not enough memory\n"));
    EXPECT_EQ(b.m_nSizeX, 4);
    b.release();
    EXPECT_FALSE(b.tile(2, 2));
    EXPECT_TRUE(log.Has("qvn_cBitmap::tile() : m_p32bitsPixels=NULL !!\n"));
}

}  // namespace
