// Every file the show reads from its data folder, in one table. The parts take
// their file names from here (qvn_DataFileName(QVN_DF_OPA_JPG)), the default-data
// generator writes exactly these files, and the tests check one against the other.
#pragma once

enum qvn_eDataKind {
    QVN_DATA_PICTURE_JPG, // baseline JPEG, loaded through qvn_cBitmap::loadFromFile
    QVN_DATA_PICTURE_BMP, // uncompressed 24-bit BMP, loaded through loadFromFile
    QVN_DATA_MAP_TGA,     // 256 x 256 5-5-5 TGA read raw by loadMapTGA
    QVN_DATA_SCENE,       // gzip-compressed .qvn scene
    QVN_DATA_TRACK        // MPEG-1 Layer III, 44.1 kHz stereo
};

// X(id, path, kind, width, height, minimum duration in ms, users), in a stable
// order: loading screens, the first half's pictures, the second half's, then
// scenes, the map and the tracks.
//
// Picture sizes follow from how each part places the picture:
// - 320 x 240 for full-screen photographs and flashes;
// - wider or taller where a layer starts off-screen or slides (art at x -100,
//   technology sliding to x -1000, trav3_5 crossing to x -650, lost jittering
//   15 pixels left);
// - the noise picture moves by up to (-318, -238) and must still cover the screen;
// - trav3_7 is cropped at (0, 80) to 320 x 240;
// - smiley5 is tiled 1 x 3 and wraps every 540 rows, smiley2 tiled 1 x 3 wraps
//   every 240 rows;
// - greets, comment and noms are cut into strips at fixed rows (the lowest strip
//   of greets ends at row 418);
// - the forget and shadow pictures sit in a screen corner, so their size sets
//   where they land; halo.jpg is the glon part's extra picture, placed at (82, 39).
// The last part of each half ends at 163000 and 266000 ms; a little music past
// that keeps the streaming buffer fed until the part returns.
#define QVN_DATA_FILES(X) \
    X(LOADING_JPG, "datas/loading.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cLoadingScreen") \
    X(LOADING2_JPG, "datas/loading2.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cInterlude") \
    X(ART_JPG, "datas/art.jpg", QVN_DATA_PICTURE_JPG, 420, 110, 0, "qvn_cPartTitles") \
    X(OF_JPG, "datas/of.jpg", QVN_DATA_PICTURE_JPG, 220, 110, 0, "qvn_cPartTitles") \
    X(SELF_JPG, "datas/self.jpg", QVN_DATA_PICTURE_JPG, 312, 150, 0, "qvn_cPartTitles") \
    X(DESTRU_JPG, "datas/destru.jpg", QVN_DATA_PICTURE_JPG, 310, 160, 0, "qvn_cPartTitles") \
    X(LOGO_BRIMWICK_JPG, "datas/logo_brimwick.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTitles") \
    X(LOGO_QUORVANE_JPG, "datas/logo_quorvane.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTitles") \
    X(PARA_JPG, "datas/para.jpg", QVN_DATA_PICTURE_JPG, 640, 480, 0, "qvn_cPartTitles") \
    X(TETEFEUI_JPG, "datas/tetefeui.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTitles") \
    X(WEDEPAINT_JPG, "datas/wedepaint.jpg", QVN_DATA_PICTURE_JPG, 320, 79, 0, "qvn_cPartPillars") \
    X(TRAGEDY_JPG, "datas/tragedy.jpg", QVN_DATA_PICTURE_JPG, 320, 89, 0, "qvn_cPartPillars") \
    X(OFEXISTANCE_JPG, "datas/ofexistance.jpg", QVN_DATA_PICTURE_JPG, 320, 72, 0, "qvn_cPartPillars") \
    X(CRY4_JPG, "datas/cry4.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartPillars") \
    X(CRY5_JPG, "datas/cry5.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartPillars") \
    X(IM02_JPG, "datas/im02.jpg", QVN_DATA_PICTURE_JPG, 256, 96, 0, "qvn_cPartPillars") \
    X(NOFATE_JPG, "datas/nofate.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartPillars qvn_cPartChromaTunnel") \
    X(VELLOR1_JPG, "datas/vellor1.jpg", QVN_DATA_PICTURE_JPG, 384, 240, 0, "qvn_cPartPillars") \
    X(BINAIRE_JPG, "datas/binaire.jpg", QVN_DATA_PICTURE_JPG, 400, 480, 0, "qvn_cPartDigits") \
    X(TECHNOLOGY_JPG, "datas/technology.jpg", QVN_DATA_PICTURE_JPG, 1000, 64, 0, "qvn_cPartDigits") \
    X(STAY_JPG, "datas/stay.jpg", QVN_DATA_PICTURE_JPG, 300, 220, 0, "qvn_cPartDigits") \
    X(ARTIST_JPG, "datas/artist.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartDigits") \
    X(ESCLAVE_JPG, "datas/esclave.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartDigits qvn_cPartShadow") \
    X(CRY3_JPG, "datas/cry3.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartDigits") \
    X(CREDITS1_JPG, "datas/credits1.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(CREDITS2_JPG, "datas/credits2.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(CREDITS3_JPG, "datas/credits3.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(CREDITS4_JPG, "datas/credits4.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(COMMENT_JPG, "datas/comment.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(NOMS_JPG, "datas/noms.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartCredits") \
    X(SMILEY1_JPG, "datas/smiley1.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartSmileys") \
    X(SMILEY2_JPG, "datas/smiley2.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartSmileys qvn_cPartChromaTunnel") \
    X(SMILEY3_JPG, "datas/smiley3.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartSmileys qvn_cPartChromaTunnel qvn_cPartJoys") \
    X(SMILEY4_JPG, "datas/smiley4.jpg", QVN_DATA_PICTURE_JPG, 180, 31, 0, "qvn_cPartSmileys qvn_cPartTube") \
    X(SMILEY5_JPG, "datas/smiley5.jpg", QVN_DATA_PICTURE_JPG, 320, 180, 0, "qvn_cPartSmileys qvn_cPartChromaTunnel qvn_cPartMetaballs") \
    X(SMILEY6_JPG, "datas/smiley6.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartSmileys") \
    X(SMILEY7_JPG, "datas/smiley7.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartSmileys qvn_cPartTube") \
    X(LOST_JPG, "datas/lost.jpg", QVN_DATA_PICTURE_JPG, 336, 240, 0, "qvn_cPartTube") \
    X(TUNER_JPG, "datas/tuner.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTube") \
    X(MAIN_JPG, "datas/main.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTube qvn_cPartGlon") \
    X(TRAV3_1_JPG, "datas/trav3_1.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTravel") \
    X(TRAV3_2_JPG, "datas/trav3_2.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTravel") \
    X(TRAV3_3_JPG, "datas/trav3_3.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTravel") \
    X(TRAV3_4_JPG, "datas/trav3_4.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTravel qvn_cPartTube") \
    X(TRAV3_5_JPG, "datas/trav3_5.jpg", QVN_DATA_PICTURE_JPG, 650, 64, 0, "qvn_cPartTravel") \
    X(TRAV3_6_JPG, "datas/trav3_6.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartTravel") \
    X(TRAV3_7_JPG, "datas/trav3_7.jpg", QVN_DATA_PICTURE_JPG, 320, 320, 0, "qvn_cPartTravel qvn_cPartPillars") \
    X(HALO_JPG, "datas/halo.jpg", QVN_DATA_PICTURE_JPG, 156, 162, 0, "qvn_cPartGlon") \
    X(FORGET_JPG, "datas/forget.jpg", QVN_DATA_PICTURE_JPG, 160, 100, 0, "qvn_cPartGlon") \
    X(GREED_JPG, "datas/greed.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartGlon") \
    X(JUSTRY_JPG, "datas/justry.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartGlon") \
    X(VELLOR4_JPG, "datas/vellor4.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartGlon") \
    X(CRY6_JPG, "datas/cry6.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartChromaTunnel") \
    X(CRY2_JPG, "datas/cry2.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartChromaTunnel") \
    X(VAMPIRE_JPG, "datas/vampire.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartChromaTunnel qvn_cPartMetaballs") \
    X(OPA_JPG, "datas/opa.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartMetaballs") \
    X(LIVE_JPG, "datas/live.jpg", QVN_DATA_PICTURE_JPG, 250, 240, 0, "qvn_cPartMetaballs") \
    X(GREETS_JPG, "datas/greets.jpg", QVN_DATA_PICTURE_JPG, 320, 420, 0, "qvn_cPartMetaballs") \
    X(SHADOW_JPG, "datas/shadow.jpg", QVN_DATA_PICTURE_JPG, 160, 120, 0, "qvn_cPartShadow") \
    X(GEL4_JPG, "datas/gel4.jpg", QVN_DATA_PICTURE_JPG, 320, 240, 0, "qvn_cPartGel qvn_cPartJoys") \
    X(JOYS_JPG, "datas/joys.jpg", QVN_DATA_PICTURE_JPG, 280, 130, 0, "qvn_cPartJoys") \
    X(VELLOR3_JPG, "datas/vellor3.jpg", QVN_DATA_PICTURE_JPG, 264, 240, 0, "qvn_cPartJoys") \
    X(VELLOR2_JPG, "datas/vellor2.jpg", QVN_DATA_PICTURE_JPG, 200, 105, 0, "qvn_cPartJoys") \
    X(NOLOVE_JPG, "datas/nolove.jpg", QVN_DATA_PICTURE_JPG, 240, 100, 0, "qvn_cPartJoys") \
    X(VODOO_BMP, "datas/vodoo.bmp", QVN_DATA_PICTURE_BMP, 384, 432, 0, "qvn_cPartScroller") \
    X(BIGSCROLL_JPG, "datas/bigscroll.jpg", QVN_DATA_PICTURE_JPG, 320, 2048, 0, "qvn_cPartScroller") \
    X(PILLIERS_QVN, "datas/pilliers.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartPillars") \
    X(VERTA_QVN, "datas/verta.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartDigits") \
    X(HORROR_QVN, "datas/horror.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartCredits") \
    X(NAWAK_QVN, "datas/nawak.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartSmileys") \
    X(MAXITUB_QVN, "datas/maxitub.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartTube") \
    X(GLON_QVN, "datas/glon.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartGlon") \
    X(CHROMATUNNEL1_QVN, "datas/chromatunnel1.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartChromaTunnel") \
    X(CHROMATUNNEL2_QVN, "datas/chromatunnel2.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartChromaTunnel") \
    X(SALLEMETABALLS_QVN, "datas/sallemetaballs.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartMetaballs") \
    X(PIECEF_QVN, "datas/piecef.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartShadow") \
    X(TRAIN_QVN, "datas/train.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartJoys") \
    X(THEEND_QVN, "datas/theend.qvn", QVN_DATA_SCENE, 0, 0, 0, "qvn_cPartScroller") \
    X(MAPBL_TGA, "datas/Mapbl.tga", QVN_DATA_MAP_TGA, 256, 256, 0, "qvn_cPartMetaballs") \
    X(FANTOM_MP3, "datas/fantom.mp3", QVN_DATA_TRACK, 0, 0, 165000, "first half") \
    X(TARNELLE_MP3, "datas/tarnelle.mp3", QVN_DATA_TRACK, 0, 0, 270000, "second half")

enum qvn_eDataFileId {
#define QVN_DATA_FILE_ID(id, ...) QVN_DF_##id,
    QVN_DATA_FILES(QVN_DATA_FILE_ID)
#undef QVN_DATA_FILE_ID
    QVN_DF_COUNT
};

struct qvn_SDataFile {
    const char* pszName;   // path as the parts open it, "datas/..."
    qvn_eDataKind eKind;
    int nWidth;            // pictures: the size the parts' positions, crops and wraps need
    int nHeight;
    int nMinDurationMs;    // tracks: the last part must end before the track does
    const char* pszUsedBy; // part classes that read the file, for people reading the table
};

// The glon part's extra picture (its name is ours to choose).
#define QVN_DATA_GLON_EXTRA "datas/halo.jpg"

// The whole table, indexed by qvn_eDataFileId.
const qvn_SDataFile* qvn_GetDataFiles(int* pnCount);
// Path of one file, "datas/opa.jpg".
const char* qvn_DataFileName(qvn_eDataFileId id);
// The entry named pszName ("datas/opa.jpg"), or null.
const qvn_SDataFile* qvn_FindDataFile(const char* pszName);
// The file name without the "datas/" folder, for writing into another folder.
const char* qvn_DataFileBaseName(const qvn_SDataFile* pFile);
