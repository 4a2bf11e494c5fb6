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
#include "qvn_Sequencer.h"
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
}  // namespace

void qvn_RegisterShowParts() {
    qvn_RegisterPart("qvn_cLoadingScreen", Make<qvn_cLoadingScreen>);
    qvn_RegisterPart("qvn_cInterlude", Make<qvn_cInterlude>);
    qvn_RegisterPart("qvn_cPartTitles", Make<qvn_cPartTitles>);
    qvn_RegisterPart("qvn_cPartPillars", Make<qvn_cPartPillars>);
    qvn_RegisterPart("qvn_cPartDigits", Make<qvn_cPartDigits>);
    qvn_RegisterPart("qvn_cPartCredits", Make<qvn_cPartCredits>);
    qvn_RegisterPart("qvn_cPartSmileys", Make<qvn_cPartSmileys>);
    qvn_RegisterPart("qvn_cPartTube", Make<qvn_cPartTube>);
    qvn_RegisterPart("qvn_cPartTravel", Make<qvn_cPartTravel>);
    qvn_RegisterPart("qvn_cPartGlon", Make<qvn_cPartGlon>);
    qvn_RegisterPart("qvn_cPartChromaTunnel", Make<qvn_cPartChromaTunnel>);
    qvn_RegisterPart("qvn_cPartMetaballs", Make<qvn_cPartMetaballs>);
    qvn_RegisterPart("qvn_cPartShadow", Make<qvn_cPartShadow>);
    qvn_RegisterPart("qvn_cPartGel", Make<qvn_cPartGel>);
    qvn_RegisterPart("qvn_cPartJoys", Make<qvn_cPartJoys>);
    qvn_RegisterPart("qvn_cPartScroller", Make<qvn_cPartScroller>);
}

void qvn_ResetShowState() {
    qvn_cLoadingScreen::s_bFadeIn = 1;
    qvn_cInterlude::s_bFadeIn = 1;
    qvn_cPartPillars::resetState();
    qvn_cPartDigits::resetState();
    qvn_cPartCredits::resetState();
    qvn_cPartSmileys::resetState();
    qvn_cPartTube::resetState();
    qvn_cPartTravel::resetState();
    qvn_cPartGlon::resetState();
    qvn_cPartChromaTunnel::resetState();
    qvn_cPartMetaballs::resetState();
    qvn_cPartShadow::resetState();
    qvn_cPartGel::resetState();
    qvn_cPartJoys::resetState();
    qvn_cPartScroller::resetState();
}

qvn_SAppFactories qvn_ShowFactories(const qvn_SProgramPieces& pieces, bool capture) {
    // The programme finds the parts by class name from here on.
    qvn_RegisterShowParts();
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
