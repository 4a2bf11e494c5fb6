// The data file table: names are unique, every kind carries what its users need.
#include "qvn_DataFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(DataFileTable, NamesAreUniqueAndLiveInTheDataFolder) {
    int n = 0;
    const qvn_SDataFile* f = qvn_GetDataFiles(&n);
    ASSERT_GT(n, 0);
    std::set<std::string> seen;
    for (int i = 0; i < n; ++i) {
        std::string name = f[i].pszName;
        EXPECT_EQ(name.compare(0, 6, "datas/"), 0) << name;
        EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
        EXPECT_EQ(qvn_FindDataFile(f[i].pszName), &f[i]);
        EXPECT_EQ(std::string("datas/") + qvn_DataFileBaseName(&f[i]), name);
        EXPECT_NE(f[i].pszUsedBy, nullptr);
    }
    EXPECT_EQ(n, QVN_DF_COUNT);
    // The ids the parts use name the entries they index.
    EXPECT_STREQ(qvn_DataFileName(QVN_DF_OPA_JPG), "datas/opa.jpg");
    EXPECT_STREQ(qvn_DataFileName(QVN_DF_VODOO_BMP), "datas/vodoo.bmp");
    EXPECT_STREQ(qvn_DataFileName(QVN_DF_MAPBL_TGA), "datas/Mapbl.tga");
    EXPECT_STREQ(qvn_DataFileName(QVN_DF_TARNELLE_MP3), "datas/tarnelle.mp3");
    EXPECT_STREQ(qvn_DataFileName(QVN_DF_HALO_JPG), QVN_DATA_GLON_EXTRA);
    EXPECT_EQ(qvn_DataFileName(QVN_DF_COUNT), nullptr);
    EXPECT_EQ(qvn_FindDataFile("datas/none.jpg"), nullptr);
    EXPECT_EQ(qvn_FindDataFile(nullptr), nullptr);
}

TEST(DataFileTable, KindsCarryTheirSizesAndDurations) {
    int n = 0;
    const qvn_SDataFile* f = qvn_GetDataFiles(&n);
    int scenes = 0, tracks = 0, maps = 0, pictures = 0;
    for (int i = 0; i < n; ++i) {
        std::string name = f[i].pszName;
        switch (f[i].eKind) {
        case QVN_DATA_PICTURE_JPG:
            ++pictures;
            EXPECT_EQ(name.substr(name.size() - 4), ".jpg") << name; // the JPEG loader only takes ".jpg"
            EXPECT_GT(f[i].nWidth, 0) << name;
            EXPECT_GT(f[i].nHeight, 0) << name;
            break;
        case QVN_DATA_PICTURE_BMP:
            ++pictures;
            EXPECT_EQ(name.substr(name.size() - 4), ".bmp") << name;
            EXPECT_GT(f[i].nWidth, 0) << name;
            break;
        case QVN_DATA_MAP_TGA:
            ++maps;
            EXPECT_EQ(f[i].nWidth, 256);
            EXPECT_EQ(f[i].nHeight, 256);
            break;
        case QVN_DATA_SCENE:
            ++scenes;
            EXPECT_EQ(name.substr(name.size() - 4), ".qvn") << name;
            break;
        case QVN_DATA_TRACK:
            ++tracks;
            EXPECT_GT(f[i].nMinDurationMs, 0) << name;
            break;
        }
    }
    EXPECT_EQ(scenes, 12);
    EXPECT_EQ(tracks, 2);
    EXPECT_EQ(maps, 1);
    EXPECT_GT(pictures, 60);
}

// Sizes that the parts' placements depend on; a smaller picture leaves part of
// the screen uncovered or cuts a strip out of range.
TEST(DataFileTable, PictureSizesFitHowThePartsUseThem) {
    auto size = [](const char* name) {
        const qvn_SDataFile* f = qvn_FindDataFile(name);
        EXPECT_NE(f, nullptr) << name;
        return f ? std::make_pair(f->nWidth, f->nHeight) : std::make_pair(0, 0);
    };
    EXPECT_GE(size("datas/para.jpg").first, 320 + 318);   // noise offsets up to -318, -238
    EXPECT_GE(size("datas/para.jpg").second, 240 + 238);
    EXPECT_GE(size("datas/trav3_7.jpg").second, 80 + 240); // cropped at row 80
    EXPECT_EQ(size("datas/smiley5.jpg").second * 3, 540);  // tiled 1 x 3, wraps every 540
    EXPECT_EQ(size("datas/smiley2.jpg").second, 240);      // tiled 1 x 3, wraps every 240
    EXPECT_GE(size("datas/greets.jpg").second, 380 + 38);  // lowest greetings strip
    EXPECT_GE(size("datas/noms.jpg").second, 198 + 35);
    EXPECT_GE(size("datas/comment.jpg").second, 196 + 32);
    EXPECT_GE(size("datas/lost.jpg").first, 320 + 15);     // jitters up to 15 pixels left
    EXPECT_GE(size("datas/art.jpg").first, 320 + 100);     // placed at x -100
    EXPECT_GT(size("datas/bigscroll.jpg").second, 1000);   // the end scroller is tall
    EXPECT_NE(qvn_FindDataFile(QVN_DATA_GLON_EXTRA), nullptr);
}
