// The generated data set: every listed file is made, pictures decode (with a
// reference decoder) to the size their part needs, text sits in the strips the
// parts cut, keyed pictures are black around their subject, scenes follow the
// record layout and cover every render path, and a seed gives the same bytes.
#include "datas_Fixture.h"
#include "mkd_Generate.h"
#include "mkd_Pictures.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>

using namespace datas_test;

namespace {

struct sRgbImage {
    int w = 0, h = 0;
    bool baseline = false;
    std::vector<uint8_t> rgb;
    const uint8_t* Px(int x, int y) const { return &rgb[((size_t)y * w + x) * 3]; }
};

sRgbImage DecodeJpeg(const std::vector<uint8_t>& bytes) {
    sRgbImage im;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), (unsigned long)bytes.size());
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        // Baseline: sequential, 8-bit, Huffman; the decoder of the show reads only that.
        im.baseline = !cinfo.progressive_mode && !cinfo.arith_code && cinfo.data_precision == 8;
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        im.w = (int)cinfo.output_width;
        im.h = (int)cinfo.output_height;
        im.rgb.resize((size_t)im.w * im.h * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = &im.rgb[(size_t)cinfo.output_scanline * im.w * 3];
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return im;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}

// 24-bit bottom-up BMP with a 40-byte header, read here by hand.
sRgbImage DecodeBmp(const std::vector<uint8_t>& b) {
    sRgbImage im;
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M' || Le32(b, 14) != 40) return im;
    int w = (int)Le32(b, 18), h = (int)Le32(b, 22);
    if ((b[28] | (b[29] << 8)) != 24 || Le32(b, 30) != 0 || w <= 0 || h <= 0) return im;
    size_t row = ((size_t)w * 3 + 3) & ~(size_t)3, off = Le32(b, 10);
    if (off + row * h > b.size()) return im;
    im.w = w;
    im.h = h;
    im.rgb.resize((size_t)w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &b[off + (size_t)(h - 1 - y) * row + x * 3];
            uint8_t* q = &im.rgb[((size_t)y * w + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    return im;
}

sRgbImage LoadPicture(const qvn_SDataFile& f) {
    std::vector<uint8_t> bytes = ReadAll(Generated(f.pszName));
    return f.eKind == QVN_DATA_PICTURE_BMP ? DecodeBmp(bytes) : DecodeJpeg(bytes);
}

// A pixel that a 5-6-5 conversion (dropping low bits) turns into exact 0,
// which the chroma-key layers treat as transparent.
bool KeyBlack(const uint8_t* p) { return (p[0] >> 3) == 0 && (p[1] >> 2) == 0 && (p[2] >> 3) == 0; }

} // namespace

TEST(DataSet, EveryListedFileIsGeneratedAndNothingElse) {
    mkd::sOptions opt;
    opt.outDir = ScratchPath("all");
    mkdir(opt.outDir.c_str(), 0755);
    std::string err;
    ASSERT_TRUE(mkd::Generate(opt, err)) << err;
    int n = 0;
    const qvn_SDataFile* f = qvn_GetDataFiles(&n);
    std::set<std::string> expected;
    for (int i = 0; i < n; ++i) {
        std::string p = opt.outDir + "/" + qvn_DataFileBaseName(&f[i]);
        struct stat st;
        EXPECT_EQ(stat(p.c_str(), &st), 0) << f[i].pszName << " not written";
        EXPECT_GT(st.st_size, 0) << f[i].pszName;
        expected.insert(qvn_DataFileBaseName(&f[i]));
    }
    DIR* d = opendir(opt.outDir.c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        EXPECT_TRUE(expected.count(name)) << "unlisted file " << name;
        std::remove((opt.outDir + "/" + name).c_str());
    }
    closedir(d);
    rmdir(opt.outDir.c_str());
}

TEST(DataSet, PicturesDecodeToTheSizeTheirPartNeeds) {
    for (qvn_eDataKind kind : {QVN_DATA_PICTURE_JPG, QVN_DATA_PICTURE_BMP})
        for (const qvn_SDataFile* f : FilesOfKind(kind)) {
            sRgbImage im = LoadPicture(*f);
            EXPECT_EQ(im.w, f->nWidth) << f->pszName;
            EXPECT_EQ(im.h, f->nHeight) << f->pszName;
            if (kind == QVN_DATA_PICTURE_JPG) {
                EXPECT_TRUE(im.baseline) << f->pszName;
            }
        }
}

TEST(DataSet, EnvironmentMapIsA256Square555TgaStoredBottomUp) {
    std::vector<uint8_t> b = ReadAll(Generated("datas/Mapbl.tga"));
    ASSERT_EQ(b.size(), 18u + 256 * 256 * 2);
    EXPECT_EQ(b[2], 2);  // uncompressed true colour
    EXPECT_EQ(b[12] | (b[13] << 8), 256);
    EXPECT_EQ(b[14] | (b[15] << 8), 256);
    EXPECT_EQ(b[16], 16);
    EXPECT_EQ(b[17] & 0x20, 0); // origin at the bottom
    auto px = [&](int x, int fileRow) { return (uint16_t)(b[18 + (fileRow * 256 + x) * 2] | (b[19 + (fileRow * 256 + x) * 2] << 8)); };
    auto bright = [](uint16_t p) { return ((p >> 10) & 31) + ((p >> 5) & 31) + (p & 31); };
    // A shiny ball: the rim is brighter than the middle, and the key light sits
    // up left, which in a bottom-up file is in the upper rows of the file.
    EXPECT_GT(bright(px(2, 128)), bright(px(128, 128)));
    EXPECT_GT(bright(px(100, 160)), bright(px(156, 96)));
    for (int i = 0; i < 256 * 256; ++i) ASSERT_EQ(px(i & 255, i >> 8) & 0x8000, 0) << "top bit set";
}

TEST(DataSet, TextStripsHoldAWholeLineAtTheRowsThePartsCut) {
    int n = 0;
    const mkd::sStrip* strips = mkd::TextStrips(&n);
    for (int i = 0; i < n; ++i) {
        std::string name = std::string("datas/") + strips[i].pszPicture;
        const qvn_SDataFile* f = qvn_FindDataFile(name.c_str());
        ASSERT_NE(f, nullptr) << name;
        sRgbImage im = LoadPicture(*f);
        ASSERT_GE(im.h, strips[i].y + strips[i].h) << name;
        int first = -1, last = -1;
        for (int y = strips[i].y; y < strips[i].y + strips[i].h; ++y)
            for (int x = 0; x < im.w; ++x)
                if (im.Px(x, y)[0] + im.Px(x, y)[1] + im.Px(x, y)[2] > 3 * 160) {
                    if (first < 0) first = y;
                    last = y;
                }
        ASSERT_GE(first, 0) << name << ": no text in rows " << strips[i].y << ".." << strips[i].y + strips[i].h;
        // The cut must not slice the letters: bright ink keeps off the strip's edge rows.
        EXPECT_GT(first, strips[i].y) << name << " strip at " << strips[i].y;
        EXPECT_LT(last, strips[i].y + strips[i].h - 1) << name << " strip at " << strips[i].y;
        EXPECT_GE(last - first, 8) << name << ": line too small to read";
    }
}

TEST(DataSet, ChromaKeyedPicturesAreBlackAroundTheirSubject) {
    for (const char* name : {"datas/justry.jpg", "datas/vodoo.bmp"}) {
        const qvn_SDataFile* f = qvn_FindDataFile(name);
        ASSERT_NE(f, nullptr);
        sRgbImage im = LoadPicture(*f);
        ASSERT_GT(im.w, 0) << name;
        int keyed = 0, border = 0;
        for (int y = 0; y < im.h; ++y)
            for (int x = 0; x < im.w; ++x) {
                bool edge = x < 12 || y < 12 || x >= im.w - 12 || y >= im.h - 12;
                if (!edge) continue;
                ++border;
                keyed += KeyBlack(im.Px(x, y));
            }
        EXPECT_EQ(keyed, border) << name << ": border pixels that would not be keyed out";
        // And there is a subject: some pixels well above the key.
        int lit = 0;
        for (size_t i = 0; i < im.rgb.size(); i += 3) lit += im.rgb[i] + im.rgb[i + 1] + im.rgb[i + 2] > 300;
        EXPECT_GT(lit, im.w * im.h / 20) << name;
    }
}

TEST(DataSet, AdditiveFlashesAreMostlyDark) {
    // Layers added onto the scene must leave most of it visible.
    for (const char* name : {"datas/tetefeui.jpg", "datas/nofate.jpg", "datas/para.jpg", "datas/vellor4.jpg", "datas/live.jpg"}) {
        sRgbImage im = LoadPicture(*qvn_FindDataFile(name));
        size_t dark = 0;
        for (size_t i = 0; i < im.rgb.size(); i += 3) dark += im.rgb[i] + im.rgb[i + 1] + im.rgb[i + 2] < 3 * 64;
        EXPECT_GT(dark * 2, im.rgb.size() / 3) << name;
    }
}

TEST(DataSet, SameSeedGivesTheSameBytesAndAnotherSeedDoesNot) {
    for (const char* name : {"datas/opa.jpg", "datas/greets.jpg", "datas/vodoo.bmp", "datas/Mapbl.tga", "datas/glon.qvn",
                             "datas/train.qvn"}) {
        const qvn_SDataFile* f = qvn_FindDataFile(name);
        ASSERT_NE(f, nullptr);
        std::string a = ScratchPath(std::string("a_") + qvn_DataFileBaseName(f));
        std::string b = ScratchPath(std::string("b_") + qvn_DataFileBaseName(f));
        ASSERT_TRUE(mkd::GenerateFile(*f, 1, a, nullptr)) << name;
        ASSERT_TRUE(mkd::GenerateFile(*f, 1, b, nullptr)) << name;
        std::vector<uint8_t> x = ReadAll(a), y = ReadAll(b);
        EXPECT_FALSE(x.empty()) << name;
        EXPECT_TRUE(x == y) << name << " differs between two runs";
        if (std::strcmp(name, "datas/opa.jpg") == 0 || std::strcmp(name, "datas/glon.qvn") == 0) {
            std::string c = ScratchPath(std::string("c_") + qvn_DataFileBaseName(f));
            ASSERT_TRUE(mkd::GenerateFile(*f, 2, c, nullptr));
            EXPECT_FALSE(ReadAll(c) == x) << name << " ignores the seed";
        }
    }
}

TEST(DataSet, ContactSheetHoldsOneLabelledCellPerPictureAndScene) {
    mkd::sOptions opt;
    opt.outDir = ScratchPath("sheet");
    mkdir(opt.outDir.c_str(), 0755);
    opt.only = {"opa.jpg", "datas/greets.jpg", "glon.qvn"}; // base and full names both select
    opt.contactSheet = ScratchPath("sheet.png");
    opt.verify = false;
    std::string err;
    ASSERT_TRUE(mkd::Generate(opt, err)) << err;
    std::vector<uint8_t> png = ReadAll(opt.contactSheet);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    uint32_t w = (png[16] << 24) | (png[17] << 16) | (png[18] << 8) | png[19];
    uint32_t h = (png[20] << 24) | (png[21] << 16) | (png[22] << 8) | png[23];
    EXPECT_EQ(w, 8u * 160);
    EXPECT_EQ(h, 120u + 14);
    for (const char* leaf : {"opa.jpg", "greets.jpg", "glon.qvn"}) std::remove((opt.outDir + "/" + leaf).c_str());
    rmdir(opt.outDir.c_str());
}
