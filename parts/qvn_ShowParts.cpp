#include "qvn_ShowParts.h"

#include <new>

#include "qvn_LoadingScreen.h"
#include "qvn_MP3Player.h"
#include "qvn_PartChromaTunnel.h"
#include "qvn_PartCredits.h"
#include "qvn_PartDigits.h"
#include "qvn_PartGel.h"
#include "qvn_PartGlon.h"
#include "qvn_PartJoys.h"
#include "qvn_PartMetaballs.h"
#include "qvn_PartPillars.h"
#include "qvn_PartScroller.h"
#include "qvn_PartShadow.h"
#include "qvn_PartSmileys.h"
#include "qvn_PartTitles.h"
#include "qvn_PartTravel.h"
#include "qvn_PartTube.h"
#include "qvn_cRenderer.h"
#include "qvn_cScene.h"
#include "qvn_cTextureCache.h"

namespace {
template <class T>
qvn_cPart* Make() {
    return new (std::nothrow) T;
}

qvn_cSoundPlayer* CreateMusic() { return new qvn_cMP3Player; }

void FreeRenderer() {
    delete g_pRenderer;
    g_pRenderer = nullptr;
}

void FreeTextureStore() {
    delete g_pTextureStore;
    g_pTextureStore = nullptr;
}

// One row per part, in programme order (the order the parts run in).
struct SRow {
    qvn_SStartPart place;  // short name, class name, half, where it begins (ms)
    qvn_cPart* (*create)();
    void (*reset)();  // its program-lifetime state back to a fresh program's; null: it keeps none
    // Its places in its half's construction and load orders, which are not
    // the programme's: the first half builds the travel before the smileys
    // and loads it third.
    int built, loaded;
};

const SRow kRows[] = {
    {{"titles", "qvn_cPartTitles", 1, -450}, Make<qvn_cPartTitles>, nullptr, 0, 0},
    {{"pillars", "qvn_cPartPillars", 1, 22050}, Make<qvn_cPartPillars>, qvn_cPartPillars::resetState, 1, 1},
    {{"digits", "qvn_cPartDigits", 1, 44500}, Make<qvn_cPartDigits>, qvn_cPartDigits::resetState, 2, 4},
    {{"credits", "qvn_cPartCredits", 1, 72516}, Make<qvn_cPartCredits>, qvn_cPartCredits::resetState, 3, 3},
    {{"smileys", "qvn_cPartSmileys", 1, 101300}, Make<qvn_cPartSmileys>, qvn_cPartSmileys::resetState, 5, 5},
    {{"tube", "qvn_cPartTube", 1, 108500}, Make<qvn_cPartTube>, qvn_cPartTube::resetState, 6, 6},
    {{"travel", "qvn_cPartTravel", 1, 126550}, Make<qvn_cPartTravel>, qvn_cPartTravel::resetState, 4, 2},
    {{"glon", "qvn_cPartGlon", 1, 137966}, Make<qvn_cPartGlon>, qvn_cPartGlon::resetState, 7, 7},
    {{"chromatunnel", "qvn_cPartChromaTunnel", 2, 163666}, Make<qvn_cPartChromaTunnel>,
     qvn_cPartChromaTunnel::resetState, 0, 0},
    {{"metaballs", "qvn_cPartMetaballs", 2, 202116}, Make<qvn_cPartMetaballs>, qvn_cPartMetaballs::resetState, 1, 1},
    {{"shadow", "qvn_cPartShadow", 2, 246700}, Make<qvn_cPartShadow>, qvn_cPartShadow::resetState, 2, 2},
    {{"gel", "qvn_cPartGel", 2, 280316}, Make<qvn_cPartGel>, qvn_cPartGel::resetState, 3, 3},
    {{"joys", "qvn_cPartJoys", 2, 297116}, Make<qvn_cPartJoys>, qvn_cPartJoys::resetState, 4, 4},
    {{"scroller", "qvn_cPartScroller", 2, 332416}, Make<qvn_cPartScroller>, qvn_cPartScroller::resetState, 5, 5},
};
constexpr int kRowCount = static_cast<int>(sizeof kRows / sizeof kRows[0]);

const char* const kTracks[2] = {"datas/fantom.mp3", "datas/tarnelle.mp3"};

void ResetLoadingScreens() {
    qvn_cLoadingScreen::s_bFadeIn = 1;
    qvn_cInterlude::s_bFadeIn = 1;
}

// The sequencer's programme: each half's parts by construction slot, with
// the load and run orders as slot indices.
qvn_SProgramme MakeProgramme() {
    qvn_SProgramme programme{};
    for (int half = 0; half < 2; ++half) {
        qvn_SHalfProgramme& h = programme.half[half];
        h.track = kTracks[half];
        for (const SRow& row : kRows) {
            if (row.place.half != half + 1) continue;
            h.parts[row.built] = {row.place.className, row.create};
            h.loadOrder[row.loaded] = row.built;
            h.runOrder[h.count++] = row.built;
        }
    }
    programme.createLoadingScreen = Make<qvn_cLoadingScreen>;
    programme.createInterlude = Make<qvn_cInterlude>;
    return programme;
}

}  // namespace

qvn_SShow qvn_DefaultShow() {
    static const qvn_SProgramme programme = MakeProgramme();
    static const struct SPlaces {
        qvn_SStartPart at[kRowCount];
        SPlaces() {
            for (int i = 0; i < kRowCount; ++i) at[i] = kRows[i].place;
        }
    } places;
    return {&programme, places.at, kRowCount};
}

void qvn_ResetShowState() {
    ResetLoadingScreens();
    for (const SRow& row : kRows)
        if (row.reset) row.reset();
}

qvn_SAppFactories qvn_ShowFactories(const qvn_SProgramPieces& pieces, bool capture) {
    qvn_SAppFactories f{};
    f.createDisplay = capture ? pieces.createCaptureScreen : pieces.createScreen;
    f.createMusic = CreateMusic;
    f.createRenderer = pieces.createRenderer;
    f.freeRenderer = FreeRenderer;
    f.createTextureStore = pieces.createTextureStore;
    f.freeTextureStore = FreeTextureStore;
    f.resetShow = qvn_ResetShowState;
    return f;
}
