#include "qvn_ShowParts.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "qvn_LoadingScreen.h"
#include "qvn_PartChromaTunnel.h"
#include "qvn_PartGel.h"
#include "qvn_PartJoys.h"
#include "qvn_PartPillars.h"
#include "qvn_PartScroller.h"
#include "qvn_PartShadow.h"
#include "qvn_PartTitles.h"
#include "qvn_Sequencer.h"

namespace {
template <class T>
qvn_cPart* Make() {
    return new (std::nothrow) T;
}

// TEMPORARY while the parts are being written: a part that draws nothing.
class qvn_cPendingPart : public qvn_cPart {
public:
    bool load() override { return true; }
    void run() override {}
    void finish() override {}
};
const char* const kPendingParts[] = {"qvn_cPartDigits", "qvn_cPartCredits", "qvn_cPartTravel", "qvn_cPartSmileys",
                                     "qvn_cPartTube",   "qvn_cPartGlon",    "qvn_cPartMetaballs"};
}  // namespace

bool qvn_IsPendingPart(const char* name) {
    for (const char* pending : kPendingParts)
        if (std::strcmp(pending, name) == 0) return true;
    return false;
}

void qvn_RegisterShowParts() {
    qvn_RegisterPart("qvn_cLoadingScreen", Make<qvn_cLoadingScreen>);
    qvn_RegisterPart("qvn_cInterlude", Make<qvn_cInterlude>);
    qvn_RegisterPart("qvn_cPartTitles", Make<qvn_cPartTitles>);
    qvn_RegisterPart("qvn_cPartPillars", Make<qvn_cPartPillars>);
    qvn_RegisterPart("qvn_cPartChromaTunnel", Make<qvn_cPartChromaTunnel>);
    qvn_RegisterPart("qvn_cPartShadow", Make<qvn_cPartShadow>);
    qvn_RegisterPart("qvn_cPartGel", Make<qvn_cPartGel>);
    qvn_RegisterPart("qvn_cPartJoys", Make<qvn_cPartJoys>);
    qvn_RegisterPart("qvn_cPartScroller", Make<qvn_cPartScroller>);
    for (const char* name : kPendingParts) qvn_RegisterPart(name, Make<qvn_cPendingPart>);
}

void qvn_ResetShowState() {
    qvn_cLoadingScreen::s_bFadeIn = 1;
    qvn_cInterlude::s_bFadeIn = 1;
    qvn_cPartPillars::resetState();
    qvn_cPartChromaTunnel::resetState();
    qvn_cPartShadow::resetState();
    qvn_cPartGel::resetState();
    qvn_cPartJoys::resetState();
    qvn_cPartScroller::resetState();
}
