// demo_sw: the show with the software rasteriser.
#include "qvn_Display_capture.h"
#include "qvn_EngDisplay.h"
#include "qvn_Main.h"
#include "qvn_MP3Player.h"

const char* const kQvnProgramName = "demo_sw";

static qvn_cEngDisplay* CreateScreen() { return new qvn_cEngDisplay; }
static qvn_cEngDisplay* CreateCaptureScreen() { return new qvn_cCaptureDisplay; }
static qvn_cSoundPlayer* CreateMusic() { return new qvn_cMP3Player; }

qvn_SAppFactories qvn_ProgramFactories(bool capture) {
    qvn_SAppFactories f{};
    f.createDisplay = capture ? CreateCaptureScreen : CreateScreen;
    f.createMusic = CreateMusic;
    return f;
}
