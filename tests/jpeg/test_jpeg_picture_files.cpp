// The bitmap's file loaders (JPEG, BMP, PCX entry point) and the TGA texture
// reader: pixel layouts, row order, palettes, refusals and their messages.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <iterator>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../peak_memory.h"
#include "jpeg_oracle.h"
#include "qvn_Bitmap.h"
#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"
#include "qvn_PictureReaders.h"

namespace {

using namespace qvntest;

class cCollectingLog : public qvn_cMessageLog {
public:
    void Write(const char* text) override { m_Lines.push_back(text); }
    std::vector<std::string> m_Lines;
};

// Installs a message log for the bitmaps a test creates.
class PictureFiles : public testing::Test {
protected:
    void SetUp() override { g_pMessageLog = &m_Log; }
    void TearDown() override {
        g_pMessageLog = nullptr;
        for (const std::string& f : m_Files) std::remove(f.c_str());
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = std::string(QVN_BINARY_DIR "/tests/jpeg/") + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        m_Files.push_back(path);
        return path;
    }
    std::string LastLine() const { return m_Log.m_Lines.empty() ? "" : m_Log.m_Lines.back(); }
    cCollectingLog m_Log;
    std::vector<std::string> m_Files;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 255;
    b[at + 1] = (v >> 8) & 255;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

struct SBmpSpec {
    int width = 3, height = 2;  // negative height: top-down rows
    int bitCount = 24;
    int headerBytes = 40;
    uint32_t compression = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB
    // Stored rows in file order, unpadded; padded here.
    std::vector<std::vector<uint8_t>> rows;
};

std::vector<uint8_t> MakeBmp(const SBmpSpec& s) {
    const size_t entryBytes = s.headerBytes == 12 ? 3 : 4;
    const size_t paletteBytes = s.palette.size() * entryBytes;
    const size_t rowBytes = ((size_t(s.width) * s.bitCount + 31) / 32) * 4;
    const size_t offset = 14 + s.headerBytes + paletteBytes;
    std::vector<uint8_t> b(offset + rowBytes * s.rows.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, static_cast<uint32_t>(offset));
    Put32(b, 14, s.headerBytes);
    if (s.headerBytes == 12) {
        Put16(b, 18, s.width);
        Put16(b, 20, s.height);
        Put16(b, 22, 1);
        Put16(b, 24, s.bitCount);
    } else {
        Put32(b, 18, s.width);
        Put32(b, 22, static_cast<uint32_t>(s.height));
        Put16(b, 26, 1);
        Put16(b, 28, s.bitCount);
        Put32(b, 30, s.compression);
    }
    for (size_t i = 0; i < s.palette.size(); ++i) {
        uint8_t* e = &b[14 + s.headerBytes + i * entryBytes];
        e[0] = s.palette[i] & 255;
        e[1] = (s.palette[i] >> 8) & 255;
        e[2] = (s.palette[i] >> 16) & 255;
    }
    for (size_t r = 0; r < s.rows.size(); ++r)
        std::copy(s.rows[r].begin(), s.rows[r].end(), b.begin() + offset + r * rowBytes);
    return b;
}

// A 3 x 2 24-bit picture: stored bottom row first.
SBmpSpec Rgb3x2() {
    SBmpSpec s;
    s.rows = {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09},   // bottom row
              {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}};  // top row
    return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// BMP

TEST_F(PictureFiles, Bmp24RowsArePaddedAndStoredBottomUp) {
    qvn_cBitmap bmp;
    ASSERT_TRUE(bmp.loadBMP(Write("rgb3x2.bmp", MakeBmp(Rgb3x2())).c_str()));
    ASSERT_EQ(bmp.m_nSizeX, 3);
    ASSERT_EQ(bmp.m_nSizeY, 2);
    EXPECT_EQ(bmp.m_eBpp, 24);
    // The first stored row is the picture's last; bytes are blue, green, red.
    const uint32_t want[6] = {0x131211, 0x161514, 0x191817, 0x030201, 0x060504, 0x090807};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(bmp.m_p32bitsPixels[i], want[i]) << i;
        EXPECT_EQ(bmp.pixels32()[i], want[i]) << i;
    }
    // Negative height: the same bytes read top-down.
    SBmpSpec top = Rgb3x2();
    top.height = -2;
    ASSERT_TRUE(bmp.loadBMP(Write("top.bmp", MakeBmp(top)).c_str()));
    EXPECT_EQ(bmp.m_nSizeY, 2);
    EXPECT_EQ(bmp.m_p32bitsPixels[0], 0x030201u);
    EXPECT_EQ(bmp.m_p32bitsPixels[3], 0x131211u);
}

TEST_F(PictureFiles, BmpPaletteDepthsAndFiveFiveFive) {
    qvn_cBitmap bmp;
    // 8-bit through a palette.
    SBmpSpec s8;
    s8.width = 2;
    s8.height = 1;
    s8.bitCount = 8;
    s8.palette.assign(256, 0);
    s8.palette[7] = 0x00ABCDEF;
    s8.palette[200] = 0x00102030;
    s8.rows = {{7, 200}};
    ASSERT_TRUE(bmp.loadBMP(Write("p8.bmp", MakeBmp(s8)).c_str()));
    EXPECT_EQ(bmp.m_p32bitsPixels[0], 0x00ABCDEFu);
    EXPECT_EQ(bmp.m_p32bitsPixels[1], 0x00102030u);
    // 4-bit: high nibble first.
    SBmpSpec s4;
    s4.width = 3;
    s4.height = 1;
    s4.bitCount = 4;
    s4.palette = {0x000000, 0x111111, 0x222222, 0x333333, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFF};
    s4.rows = {{0x21, 0xF0}};
    ASSERT_TRUE(bmp.loadBMP(Write("p4.bmp", MakeBmp(s4)).c_str()));
    EXPECT_EQ(bmp.m_p32bitsPixels[0], 0x222222u);
    EXPECT_EQ(bmp.m_p32bitsPixels[1], 0x111111u);
    EXPECT_EQ(bmp.m_p32bitsPixels[2], 0xFFFFFFu);
    // 1-bit: most significant bit first, 9 pixels over two bytes.
    SBmpSpec s1;
    s1.width = 9;
    s1.height = 1;
    s1.bitCount = 1;
    s1.palette = {0x000000, 0x00FF00};
    s1.rows = {{0xA0, 0x80}};
    ASSERT_TRUE(bmp.loadBMP(Write("p1.bmp", MakeBmp(s1)).c_str()));
    const uint32_t want1[9] = {0x00FF00, 0, 0x00FF00, 0, 0, 0, 0, 0, 0x00FF00};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(bmp.m_p32bitsPixels[i], want1[i]) << i;
    // 16-bit 5-5-5, each channel widened by replication.
    SBmpSpec s16;
    s16.width = 2;
    s16.height = 1;
    s16.bitCount = 16;
    s16.rows = {{0xFF, 0x7F, 0x21, 0x04}};  // 0x7FFF, 0x0421
    ASSERT_TRUE(bmp.loadBMP(Write("p16.bmp", MakeBmp(s16)).c_str()));
    EXPECT_EQ(bmp.m_p32bitsPixels[0], 0x00FFFFFFu);
    EXPECT_EQ(bmp.m_p32bitsPixels[1], 0x00080808u);
    // The 12-byte header's palette holds three-byte entries.
    SBmpSpec old = s8;
    old.headerBytes = 12;
    ASSERT_TRUE(bmp.loadBMP(Write("os2.bmp", MakeBmp(old)).c_str()));
    EXPECT_EQ(bmp.m_p32bitsPixels[0], 0x00ABCDEFu);
    EXPECT_EQ(bmp.m_p32bitsPixels[1], 0x00102030u);
}

TEST_F(PictureFiles, BmpRefusalsNameTheirReason) {
    qvn_cBitmap bmp;
    SBmpSpec s = Rgb3x2();
    s.compression = 1;
    const std::string rle8 = Write("rle8.bmp", MakeBmp(s));
    EXPECT_FALSE(bmp.loadBMP(rle8.c_str()));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadBMP() : <" + rle8 + "> uses BMP_COMPRESSION_RLE8....Can't read it.\n");
    EXPECT_EQ(bmp.m_p32bitsPixels, nullptr);
    EXPECT_EQ(bmp.m_nSizeX, 0);
    s.compression = 2;
    const std::string rle4 = Write("rle4.bmp", MakeBmp(s));
    EXPECT_FALSE(bmp.loadBMP(rle4.c_str()));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadBMP() : <" + rle4 + "> uses BMP_COMPRESSION_RLE4....Can't read it.\n");
    s.compression = 3;
    const std::string other = Write("bitfields.bmp", MakeBmp(s));
    EXPECT_FALSE(bmp.loadBMP(other.c_str()));
    EXPECT_EQ(LastLine(),
              "qvn_cBitmap::loadBMP() : <" + other + "> uses unknown comrpession format....Can't read it.\n");
    s = Rgb3x2();
    s.bitCount = 32;
    EXPECT_FALSE(bmp.loadBMP(Write("deep.bmp", MakeBmp(s)).c_str()));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadBMP() : Undefined nbpp !\n");
    // Pixel data said to lie past the end of the file.
    std::vector<uint8_t> far = MakeBmp(Rgb3x2());
    Put32(far, 10, 5000);
    const std::string farPath = Write("far.bmp", far);
    EXPECT_FALSE(bmp.loadBMP(farPath.c_str()));
    EXPECT_NE(LastLine().find("is damaged"), std::string::npos) << LastLine();
    // Not a BMP at all: false without a word.
    const size_t lines = m_Log.m_Lines.size();
    EXPECT_FALSE(bmp.loadBMP(Write("text.bmp", {'h', 'e', 'l', 'l', 'o'}).c_str()));
    EXPECT_EQ(m_Log.m_Lines.size(), lines);
    EXPECT_FALSE(bmp.loadBMP(nullptr));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadBMP() : szFileName is NULL.\n");
    EXPECT_FALSE(bmp.loadBMP("/nonexistent/x.bmp"));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadBMP() : File </nonexistent/x.bmp> doesn't exist.\n");
}

TEST_F(PictureFiles, EveryBmpTruncationIsRefused) {
    SBmpSpec s;
    s.width = 5;
    s.height = 3;
    s.bitCount = 8;
    s.palette.assign(256, 0x123456);
    s.rows = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10}, {11, 12, 13, 14, 15}};
    const std::vector<uint8_t> full = MakeBmp(s);
    for (size_t length = 0; length < full.size(); ++length) {
        const std::vector<uint8_t> cut(full.begin(), full.begin() + length);
        SBmpImage image;
        const qvn_eBmpStatus status = qvn_ReadBmp(cut.data(), cut.size(), &image);
        EXPECT_TRUE(status == qvn_eBmpStatus::NotBmp || status == qvn_eBmpStatus::Damaged) << length;
        EXPECT_EQ(image.pPixels, nullptr);
    }
    SBmpImage image;
    ASSERT_EQ(qvn_ReadBmp(full.data(), full.size(), &image), qvn_eBmpStatus::Ok);
    delete[] image.pPixels;
    // A width so large that rows x height would overflow is refused, not allocated.
    std::vector<uint8_t> huge = full;
    Put32(huge, 18, 0x7FFFFFFF);
    Put32(huge, 22, 0x7FFFFFFF);
    EXPECT_EQ(qvn_ReadBmp(huge.data(), huge.size(), &image), qvn_eBmpStatus::TooLarge);
}

// ---------------------------------------------------------------------------
// loadFromFile / loadJPG / loadPCX

TEST_F(PictureFiles, LoadJpgNeedsTheLowerCaseExtensionAndFillsAnEbpp24Bitmap) {
    SEncodeSettings s;
    std::vector<uint8_t> jpeg = OracleEncode(MakeTestPicture(21, 13), s);
    const std::string path = Write("photo.jpg", jpeg);
    qvn_cBitmap bmp;
    ASSERT_TRUE(bmp.loadJPG(path.c_str()));
    EXPECT_EQ(bmp.m_eBpp, 24);
    EXPECT_EQ(bmp.m_nSizeX, 21);
    SJpegImage* image = qvn_JpegDecode(path.c_str(), QVN_JPEG_RGB32);
    ASSERT_TRUE(image);
    EXPECT_EQ(0, std::memcmp(bmp.m_p32bitsPixels, image->pPixels, 21 * 13 * 4));
    EXPECT_EQ(0, std::memcmp(bmp.pixels32(), image->pPixels, 21 * 13 * 4));
    qvn_JpegFree(image);

    // Grey pictures become 0x00GGGGGG.
    s.components = 1;
    const std::string greyPath = Write("grey.jpg", OracleEncode(MakeTestPicture(9, 9), s));
    ASSERT_TRUE(bmp.loadJPG(greyPath.c_str()));
    for (int i = 0; i < 81; ++i) {
        const uint32_t p = bmp.m_p32bitsPixels[i];
        ASSERT_EQ(p, (p & 0xFF) * 0x010101u) << i;
    }

    // Capitals are not taken by loadJPG, silently; loadFromFile goes by the
    // content and loads the picture.
    const std::string upper = Write("PHOTO.JPG", jpeg);
    const size_t lines = m_Log.m_Lines.size();
    EXPECT_FALSE(bmp.loadJPG(upper.c_str()));
    EXPECT_EQ(m_Log.m_Lines.size(), lines);
    qvn_cBitmap byContent;
    ASSERT_TRUE(byContent.loadFromFile(upper.c_str()));
    EXPECT_EQ(byContent.m_nSizeX, 21);
    EXPECT_EQ(byContent.m_eBpp, 24);
    qvn_cBitmap byName;
    ASSERT_TRUE(byName.loadJPG(path.c_str()));
    EXPECT_EQ(0, std::memcmp(byContent.m_p32bitsPixels, byName.m_p32bitsPixels, 21 * 13 * 4));

    // A damaged JPEG: "Can't load file."
    std::vector<uint8_t> broken(jpeg.begin(), jpeg.begin() + 100);
    EXPECT_FALSE(bmp.loadJPG(Write("broken.jpg", broken).c_str()));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadJPG() : Can't load file.\n");
    EXPECT_FALSE(bmp.loadJPG(nullptr));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadJPG() : szFileName is NULL.\n");
}

TEST_F(PictureFiles, LoadFromFileTriesJpegThenBmpThenPcx) {
    qvn_cBitmap bmp;
    EXPECT_FALSE(bmp.loadFromFile("/nonexistent/pic.jpg"));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadFromFile() : file </nonexistent/pic.jpg> doesn't exist.\n");
    EXPECT_FALSE(bmp.loadFromFile(nullptr));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadFromFile() : szFileName is NULL.\n");
    ASSERT_TRUE(bmp.loadFromFile(Write("pic.bmp", MakeBmp(Rgb3x2())).c_str()));
    EXPECT_EQ(bmp.m_nSizeX, 3);
    // A BMP named like a JPEG is still a BMP.
    ASSERT_TRUE(bmp.loadFromFile(Write("misnamed.jpg", MakeBmp(Rgb3x2())).c_str()));
    EXPECT_EQ(bmp.m_nSizeY, 2);
    // Neither JPEG, BMP nor PCX: refused, naming the file, bitmap left empty
    // (this once reported success with an empty picture).
    const std::string notes = Write("notes.txt", {'n', 'o', 't', 'e'});
    EXPECT_FALSE(bmp.loadFromFile(notes.c_str()));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadFromFile() : <" + notes + "> is neither a JPEG, a BMP nor a PCX picture.\n");
    EXPECT_EQ(bmp.m_p32bitsPixels, nullptr);
    EXPECT_EQ(bmp.m_nSizeX, 0);
    EXPECT_FALSE(bmp.loadFromFile(Write("empty.bmp", {}).c_str()));
    EXPECT_FALSE(bmp.loadPCX(nullptr));
    EXPECT_EQ(LastLine(), "qvn_cBitmap::loadPCX() : szFileName is NULL.\n");
}

// ---------------------------------------------------------------------------
// PCX

namespace {

struct SPcxSpec {
    int width = 5, height = 3;
    int planes = 1;  // 1: paletted, 3: 24-bit
    int bytesPerLine = 6;
    int version = 5, encoding = 1, bitsPerPlane = 8;
    bool palette = true;
};

// Line bytes of a picture: plane p of pixel x in line y, padding zero.
uint8_t PcxSample(int x, int y, int p) { return static_cast<uint8_t>((x * 37 + y * 11 + p * 85) & 255); }

// Run-length codes the whole picture as one stream (runs may cross lines, as
// some writers let them); values of 0xC0 and above always go as runs.
std::vector<uint8_t> MakePcx(const SPcxSpec& s) {
    std::vector<uint8_t> b(128, 0);
    b[0] = 0x0A;
    b[1] = static_cast<uint8_t>(s.version);
    b[2] = static_cast<uint8_t>(s.encoding);
    b[3] = static_cast<uint8_t>(s.bitsPerPlane);
    Put16(b, 4, 10);  // xmin, ymin: the size is max - min + 1
    Put16(b, 6, 20);
    Put16(b, 8, 10 + s.width - 1);
    Put16(b, 10, 20 + s.height - 1);
    b[65] = static_cast<uint8_t>(s.planes);
    Put16(b, 66, s.bytesPerLine);
    std::vector<uint8_t> raw;
    for (int y = 0; y < s.height; ++y)
        for (int p = 0; p < s.planes; ++p)
            for (int x = 0; x < s.bytesPerLine; ++x) raw.push_back(x < s.width ? PcxSample(x, y, p) : 0);
    // Make some runs: the first line repeated one sample throughout.
    for (size_t i = 0; i < raw.size() && i < 9; ++i) raw[i] = 0xC7;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63) ++n;
        if (n > 1 || raw[i] >= 0xC0) {
            b.push_back(static_cast<uint8_t>(0xC0 | n));
            b.push_back(raw[i]);
        } else {
            b.push_back(raw[i]);
        }
        i += n;
    }
    if (s.palette && s.planes == 1) {
        b.push_back(0x0C);
        for (int i = 0; i < 256; ++i) {
            b.push_back(static_cast<uint8_t>(i));
            b.push_back(static_cast<uint8_t>(255 - i));
            b.push_back(static_cast<uint8_t>(i / 2));
        }
    }
    return b;
}

uint32_t ExpectedPcxPixel(const SPcxSpec& s, int x, int y) {
    auto sample = [&](int p) {
        const size_t at = (static_cast<size_t>(y) * s.planes + p) * s.bytesPerLine + x;
        return at < 9 ? uint8_t(0xC7) : PcxSample(x, y, p);
    };
    if (s.planes == 3) return (uint32_t(sample(0)) << 16) | (uint32_t(sample(1)) << 8) | sample(2);
    const uint32_t i = sample(0);
    return (i << 16) | ((255 - i) << 8) | (i / 2);
}

}  // namespace

TEST_F(PictureFiles, PcxPalettedAndTwentyFourBitDecode) {
    for (int planes : {1, 3}) {
        SCOPED_TRACE(planes);
        SPcxSpec s;
        s.planes = planes;
        qvn_cBitmap bmp;
        ASSERT_TRUE(bmp.loadFromFile(Write("pic.pcx", MakePcx(s)).c_str())) << LastLine();
        EXPECT_EQ(bmp.m_nSizeX, 5);
        EXPECT_EQ(bmp.m_nSizeY, 3);
        EXPECT_EQ(bmp.m_eBpp, 24);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                ASSERT_EQ(bmp.m_p32bitsPixels[y * 5 + x], ExpectedPcxPixel(s, x, y)) << x << "," << y;
                ASSERT_EQ(bmp.pixels32()[y * 5 + x], ExpectedPcxPixel(s, x, y));
            }
    }
}

TEST_F(PictureFiles, PcxRefusalsNameTheFileAndTheReason) {
    struct SCase {
        const char* what;
        void (*edit)(SPcxSpec&);
        const char* reason;
    };
    const SCase cases[] = {
        {"version 3", [](SPcxSpec& s) { s.version = 3; }, "not version 5"},
        {"not coded", [](SPcxSpec& s) { s.encoding = 0; }, "not run-length coded"},
        {"4-bit", [](SPcxSpec& s) { s.bitsPerPlane = 4; }, "neither 8-bit paletted nor 24-bit"},
        {"two planes", [](SPcxSpec& s) { s.planes = 2; }, "neither 8-bit paletted nor 24-bit"},
        {"no palette", [](SPcxSpec& s) { s.palette = false; }, "no 256-colour palette"},
        {"short lines", [](SPcxSpec& s) { s.bytesPerLine = 4; }, "lines shorter than the picture"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        SPcxSpec s;
        c.edit(s);
        const std::string path = Write("bad.pcx", MakePcx(s));
        qvn_cBitmap bmp;
        EXPECT_FALSE(bmp.loadFromFile(path.c_str()));
        EXPECT_NE(LastLine().find("<" + path + ">"), std::string::npos) << LastLine();
        EXPECT_NE(LastLine().find(c.reason), std::string::npos) << LastLine();
        EXPECT_EQ(bmp.m_p32bitsPixels, nullptr);
    }
    // Every truncation of a 24-bit file is refused, and so is a header that
    // declares far more than the coded data can give.
    SPcxSpec s;
    s.planes = 3;
    const std::vector<uint8_t> good = MakePcx(s);
    for (size_t n = 0; n < good.size(); ++n) {
        qvn_cBitmap bmp;
        EXPECT_FALSE(bmp.loadPCX(Write("cut.pcx", std::vector<uint8_t>(good.begin(), good.begin() + n)).c_str()))
            << n;
    }
    std::vector<uint8_t> huge = good;
    Put16(huge, 8, 10 + 8191);
    Put16(huge, 10, 20 + 8191);
    Put16(huge, 66, 8192);
    qvn_cBitmap bmp;
    EXPECT_FALSE(bmp.loadPCX(Write("huge.pcx", huge).c_str()));
    EXPECT_NE(LastLine().find("coded data too short"), std::string::npos) << LastLine();
}

// ---------------------------------------------------------------------------
// Memory on hostile files

TEST_F(PictureFiles, OneBitBmpIsDecodedStraightIntoTheBitmap) {
    // 4096 x 4096 at one bit: a 2 MiB file for a 64 MiB picture. The bitmap
    // holds it twice (master and display copy); nothing else may: the reader
    // once built it twice more on the way.
    SBmpSpec s;
    s.width = s.height = 4096;
    s.bitCount = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.rows.assign(4096, std::vector<uint8_t>(512, 0x5A));
    const std::string path = Write("big1.bmp", MakeBmp(s));
    const SPeak peak = PeakOf([&] {
        qvn_cBitmap bmp;
        return bmp.loadFromFile(path.c_str()) && bmp.m_p32bitsPixels[1] == 0xFFFFFF ? 1 : 0;
    });
    ASSERT_TRUE(peak.bRan);
    EXPECT_EQ(peak.nResult, 1);
    const int64_t pictureKb = 2 * 4096 * 4096 * 4 / 1024;
    EXPECT_LT(peak.nGrowthKb, (pictureKb + 2048 + 8 * 1024) * kSanitizerSlack);
}

// ---------------------------------------------------------------------------
// picdec against ImageMagick's PCX writer

TEST_F(PictureFiles, PicdecReadsImageMagickPcxPixelForPixel) {
    if (std::system("convert -version > /dev/null 2>&1") != 0 ||
        std::system("convert -size 2x2 xc:red pcx:/dev/null > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed (apt-get install imagemagick)";
    const std::string dir = QVN_BINARY_DIR "/tests/jpeg/";
    const std::string picdec = QVN_BINARY_DIR "/tools/picdec/picdec";
    // A 45 x 29 picture (odd width: PCX lines are padded to an even length).
    const int w = 45, h = 29;
    std::string ppm = "P6\n45 29\n255\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ppm += static_cast<char>(x * 5);
            ppm += static_cast<char>(y * 8);
            ppm += static_cast<char>((x * y) & 255);
        }
    Write("source.ppm", std::vector<uint8_t>(ppm.begin(), ppm.end()));
    const struct {
        const char* name;
        const char* options;
    } kinds[] = {{"im24.pcx", ""}, {"im8.pcx", "-colors 200 -type palette"}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string pcx = dir + kind.name, png = pcx + ".png";
        m_Files.push_back(pcx);
        m_Files.push_back(png);
        m_Files.push_back(pcx + ".rgb");
        m_Files.push_back(png + ".rgb");
        ASSERT_EQ(0, std::system(("convert " + dir + "source.ppm " + kind.options + " " + pcx).c_str()));
        ASSERT_EQ(0, std::system((picdec + " " + pcx + " " + png + " > /dev/null").c_str()));
        ASSERT_EQ(0, std::system(("convert " + pcx + " -depth 8 rgb:" + pcx + ".rgb").c_str()));
        ASSERT_EQ(0, std::system(("convert " + png + " -depth 8 rgb:" + png + ".rgb").c_str()));
        std::ifstream a(pcx + ".rgb", std::ios::binary), b(png + ".rgb", std::ios::binary);
        const std::vector<char> want((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
        const std::vector<char> got((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
        ASSERT_EQ(want.size(), size_t(w) * h * 3);
        EXPECT_TRUE(want == got);
        // What the reader made of the file is also what loadFromFile gives.
        qvn_cBitmap bmp;
        ASSERT_TRUE(bmp.loadFromFile(pcx.c_str()));
        EXPECT_EQ(bmp.m_nSizeX, w);
        EXPECT_EQ(static_cast<uint8_t>(want[3 * 50 + 1]), (bmp.m_p32bitsPixels[50] >> 8) & 255);
    }
}

TEST_F(PictureFiles, PicdecRefusesWhatTheEngineRefusesAndAnswersItsOptions) {
    const std::string picdec = QVN_BINARY_DIR "/tools/picdec/picdec";
    const std::string notes = Write("notes.txt", {'n', 'o', 't', 'e'});
    const std::string out = QVN_BINARY_DIR "/tests/jpeg/out.png";
    auto exitCode = [](const std::string& command) {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(exitCode(picdec + " " + notes + " " + out + " 2> /dev/null"), 1);
    EXPECT_EQ(exitCode(picdec + " " + notes + " 2> /dev/null"), 2);
    EXPECT_EQ(exitCode(picdec + " --help > /dev/null"), 0);
    EXPECT_EQ(exitCode(picdec + " --version | grep -q 0.1"), 0);
    const std::string bmp = Write("ok.bmp", MakeBmp(Rgb3x2()));
    m_Files.push_back(out);
    EXPECT_EQ(exitCode(picdec + " " + bmp + " " + out + " > /dev/null"), 0);
}

// ---------------------------------------------------------------------------
// TGA texture

TEST_F(PictureFiles, MapTgaIsFlippedAndConvertedForTheScreen) {
    std::vector<uint8_t> file(kQvnMapTgaBytes, 0);
    // File row 255 (stored last) is the texture's top row.
    auto put = [&](int fileRow, int x, uint16_t p) {
        const size_t at = kQvnMapTgaHeaderBytes + (size_t(fileRow) * 256 + x) * 2;
        file[at] = p & 255;
        file[at + 1] = p >> 8;
    };
    put(255, 0, 0x7FFF);
    put(255, 1, 0x801F);  // attribute bit set
    put(0, 3, 0x03E0);
    const std::string path = Write("map.tga", file);
    uint16_t* map565 = loadMapTGA(path.c_str(), 16);
    uint16_t* map555 = loadMapTGA(path.c_str(), 15);
    ASSERT_TRUE(map565 && map555);
    EXPECT_EQ(map565[0], 0xFFDF);  // green gains a zero low bit
    EXPECT_EQ(map565[1], 0x001F);
    EXPECT_EQ(map565[255 * 256 + 3], 0x07C0);
    EXPECT_EQ(map555[0], 0x7FFF);
    EXPECT_EQ(map555[1], 0x001F);
    EXPECT_EQ(map555[255 * 256 + 3], 0x03E0);
    delete[] map565;
    delete[] map555;

    // Short and missing files: null and a line in the error log.
    const std::string logPath = std::string(QVN_BINARY_DIR "/tests/jpeg/tga_errors.log");
    {
        qvn_cErrorLog log(logPath.c_str());
        file.pop_back();
        EXPECT_EQ(loadMapTGA(Write("short.tga", file).c_str(), 16), nullptr);
        EXPECT_EQ(loadMapTGA("/nonexistent/Mapbl.tga", 16), nullptr);
        EXPECT_EQ(loadMapTGA(nullptr), nullptr);
    }
    std::ifstream in(logPath);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("holds 131089 bytes instead of 131090"), std::string::npos) << text;
    EXPECT_NE(text.find("</nonexistent/Mapbl.tga> doesn't exist"), std::string::npos) << text;
    std::remove(logPath.c_str());
}
