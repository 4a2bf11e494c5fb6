// A program built around the shell for tests: its display can be told to fail.
#include "fake_program.h"

#include "qvn_Display_capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_Main.h"
#include "qvn_ShowParts.h"
#include "qvn_SoundPlayer.h"

const char* const kQvnProgramName = "test_program";
bool g_bFakeDisplayFails = false;

namespace {

class cFailingDisplay : public qvn_cCaptureDisplay {
public:
    bool Init(const char*, int, int, int, int) override {
        LogMessage("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n");
        return false;
    }
};

qvn_cEngDisplay* CreateDisplay() {
    if (g_bFakeDisplayFails) return new cFailingDisplay;
    return new qvn_cCaptureDisplay;
}
qvn_cSoundPlayer* CreateMusic() { return new qvn_cSoundPlayer; }

}  // namespace

qvn_SAppFactories qvn_ProgramFactories(bool) {
    qvn_SAppFactories f{};
    f.createDisplay = CreateDisplay;
    f.createMusic = CreateMusic;
    return f;
}

// The show's programme and names, but no part is built: every half that
// opens its track fails at the parts' construction.
qvn_SShow qvn_ProgramShow() {
    static qvn_SProgramme programme = [] {
        qvn_SProgramme p = *qvn_DefaultShow().programme;
        for (qvn_SHalfProgramme& h : p.half)
            for (qvn_SPartSlot& slot : h.parts) slot.create = nullptr;
        p.createLoadingScreen = nullptr;
        p.createInterlude = nullptr;
        return p;
    }();
    qvn_SShow show = qvn_DefaultShow();
    show.programme = &programme;
    return show;
}
