// The programme of the show: which parts play over which track, in which
// orders. The part classes register their factories by class name.
#include <cstring>

#include "qvn_Sequencer.h"

namespace {

struct SFactory {
    const char* name;
    qvn_cPart* (*create)();
};

SFactory g_aFactories[32];
int g_nFactories = 0;

qvn_cPart* Create(const char* name) {
    for (int i = 0; i < g_nFactories; ++i)
        if (std::strcmp(g_aFactories[i].name, name) == 0) return g_aFactories[i].create();
    return nullptr;  // a part that is not built: its half cannot load
}

template <const char* Name>
qvn_cPart* CreateNamed() {
    return Create(Name);
}

constexpr char kTitles[] = "qvn_cPartTitles";
constexpr char kPillars[] = "qvn_cPartPillars";
constexpr char kDigits[] = "qvn_cPartDigits";
constexpr char kCredits[] = "qvn_cPartCredits";
constexpr char kTravel[] = "qvn_cPartTravel";
constexpr char kSmileys[] = "qvn_cPartSmileys";
constexpr char kTube[] = "qvn_cPartTube";
constexpr char kGlon[] = "qvn_cPartGlon";
constexpr char kChromaTunnel[] = "qvn_cPartChromaTunnel";
constexpr char kMetaballs[] = "qvn_cPartMetaballs";
constexpr char kShadow[] = "qvn_cPartShadow";
constexpr char kGel[] = "qvn_cPartGel";
constexpr char kJoys[] = "qvn_cPartJoys";
constexpr char kScroller[] = "qvn_cPartScroller";
constexpr char kLoadingScreen[] = "qvn_cLoadingScreen";
constexpr char kInterlude[] = "qvn_cInterlude";

#define QVN_SLOT(n) {n, CreateNamed<n>}

const qvn_SProgramme kShow = {
    {
        {"datas/fantom.mp3",
         8,
         {QVN_SLOT(kTitles), QVN_SLOT(kPillars), QVN_SLOT(kDigits), QVN_SLOT(kCredits), QVN_SLOT(kTravel),
          QVN_SLOT(kSmileys), QVN_SLOT(kTube), QVN_SLOT(kGlon)},
         // load: titles, pillars, travel, credits, digits, smileys, tube, glon
         {0, 1, 4, 3, 2, 5, 6, 7},
         // run: titles, pillars, digits, credits, smileys, tube, travel, glon
         {0, 1, 2, 3, 5, 6, 4, 7}},
        {"datas/tarnelle.mp3",
         6,
         {QVN_SLOT(kChromaTunnel), QVN_SLOT(kMetaballs), QVN_SLOT(kShadow), QVN_SLOT(kGel), QVN_SLOT(kJoys),
          QVN_SLOT(kScroller)},
         {0, 1, 2, 3, 4, 5},
         {0, 1, 2, 3, 4, 5}},
    },
    CreateNamed<kLoadingScreen>,
    CreateNamed<kInterlude>,
};

}  // namespace

void qvn_RegisterPart(const char* className, qvn_cPart* (*create)()) {
    for (int i = 0; i < g_nFactories; ++i) {
        if (std::strcmp(g_aFactories[i].name, className) == 0) {
            g_aFactories[i].create = create;
            return;
        }
    }
    if (g_nFactories < static_cast<int>(sizeof g_aFactories / sizeof g_aFactories[0]))
        g_aFactories[g_nFactories++] = {className, create};
}

const qvn_SProgramme& qvn_ShowProgramme() { return kShow; }
