#include "qvn_Sequencer.h"

#include <cerrno>
#include <cstdio>

#include "qvn_DataPath.h"
#include "qvn_ErrorLog.h"
#include "qvn_Run.h"
#include "qvn_SoundPlayer.h"
#include "qvn_System.h"
#include "qvn_Window.h"

qvn_cPart* g_pInterlude = nullptr;
bool g_bQvnNoSound = false;
static const char* s_pszTrack = nullptr;

const char* qvn_CurrentTrack() { return s_pszTrack; }

// True when the track's file is not there at all (not merely unreadable).
static bool TrackMissing(const char* track) {
    if (!track) return false;
    if (FILE* file = qvn_fopen(track, "rb")) {
        std::fclose(file);
        return false;
    }
    return errno == ENOENT || errno == ENOTDIR;
}

static const char* PartName(const qvn_SPartSlot& slot) { return slot.name ? slot.name : "(unnamed)"; }

qvn_cSequencer::qvn_cSequencer(const qvn_SProgramme& programme) : m_Programme(programme), m_apParts{}, m_bInterludeShown(false) {}

qvn_cSequencer::~qvn_cSequencer() {
    DestroyHalf(0);
    DestroyHalf(1);
}

// A run the observers end (a viewer's seek) ends like a quit; the program
// then plays again.
bool qvn_cSequencer::QuitRequested() const {
    return (g_pWindow && g_pWindow->QuitSeen()) || qvn_run::Interrupting();
}

void qvn_cSequencer::SetPhase(int phase) { qvn_run::Phase(phase); }

// Names the part whose frames come next (frames.txt, the statistics, the
// start and stop points, the viewer).
static void RunPart(qvn_cPart* part, const char* name) {
    qvn_run::PartBegins(name);
    part->run();
    qvn_run::PartEnds();
}

void qvn_cSequencer::RunShow() {
    g_pInterlude = m_Programme.createInterlude ? m_Programme.createInterlude() : nullptr;
    PlayHalf1();
    // The second half plays also when the first one failed, but not after the
    // viewer asked to quit: the window is gone by then.
    if (!QuitRequested()) PlayHalf2();
    delete g_pInterlude;
    g_pInterlude = nullptr;
    SetPhase(0);
}

bool qvn_cSequencer::PlayHalf1() { return PlayHalf(0); }
bool qvn_cSequencer::PlayHalf2() { return PlayHalf(1); }

bool qvn_cSequencer::PlayHalf(int half) {
    const qvn_SHalfProgramme& h = m_Programme.half[half];
    SetPhase(0);
    // Every way a half can be skipped says so in the log: with no window
    // message, the log is where a user finds why the show did not play.
    if (!g_pMusic || !g_pMusic->Open(h.track, 0)) {
        if (TrackMissing(h.track)) {
            // The usual cause on a fresh checkout: no data set yet. Say so
            // where the user is looking, not only in the log.
            LogNotice("%s is missing: half %d is skipped. The default data set is made by ./play.sh, or by "
                      "build/tools/mkdatas/mkdatas DIR (then --datas DIR).\n",
                      qvn_ResolveDataPath(h.track).c_str(), half + 1);
        }
        LogMessage("qvn_cSequencer : cannot play the track %s; half %d is skipped.\n", h.track, half + 1);
        return false;
    }
    if (!g_bQvnNoSound && !g_pMusic->InitDevice()) {
        LogMessage("qvn_cSequencer : no sound device for %s; half %d is skipped.\n", h.track, half + 1);
        return false;
    }
    if (!(half == 0 ? LoadHalf1() : LoadHalf2())) {
        // What was constructed is freed and the device let go, so the other
        // half starts from a clean slate.
        g_pMusic->Release();
        DestroyHalf(half);
        return false;
    }
    LogMessage("TimePosition:%d MP3Position:%d\n", g_pMusic->GetTimePosition(), g_pMusic->GetMP3Position());
    s_pszTrack = h.track;
    SetPhase(half + 1);
    g_pMusic->Play();
    for (int i = 0; i < h.count; ++i) {
        qvn_cPart* part = m_apParts[half][h.runOrder[i]];
        if (!part) continue;
        RunPart(part, h.parts[h.runOrder[i]].name);
        part->finish();
        // A quit ends the show: no further part starts on a closed window.
        if (QuitRequested()) break;
    }
    g_pMusic->Release();
    s_pszTrack = nullptr;
    SetPhase(0);
    if (half == 0) FreeHalf1();
    else FreeHalf2();
    return true;
}

bool qvn_cSequencer::ConstructHalf(int half) {
    const qvn_SHalfProgramme& h = m_Programme.half[half];
    for (int i = 0; i < h.count; ++i) {
        m_apParts[half][i] = h.parts[i].create ? h.parts[i].create() : nullptr;
        if (!m_apParts[half][i]) {
            LogMessage("qvn_cSequencer : cannot create the part %s; half %d is skipped.\n", PartName(h.parts[i]),
                       half + 1);
            return false;
        }
    }
    return true;
}

void qvn_cSequencer::DestroyHalf(int half) {
    const qvn_SHalfProgramme& h = m_Programme.half[half];
    for (int i = 0; i < h.count && i < kQvnMaxPartsPerHalf; ++i) {
        delete m_apParts[half][i];
        m_apParts[half][i] = nullptr;
    }
}

static bool LoadInOrder(qvn_cPart* const* parts, const qvn_SHalfProgramme& h, int half) {
    for (int i = 0; i < h.count; ++i) {
        if (!parts[h.loadOrder[i]]->load()) {
            // The part's own load has logged the file it could not read.
            LogMessage("qvn_cSequencer : the part %s failed to load; half %d is skipped.\n",
                       PartName(h.parts[h.loadOrder[i]]), half + 1);
            qvn_sys::ShowMessageBox("Error while loading", "Error", QVN_MB_OK);
            return false;
        }
    }
    return true;
}

bool qvn_cSequencer::LoadHalf1() {
    if (!ConstructHalf(0)) return false;
    qvn_cPart* screen = m_Programme.createLoadingScreen ? m_Programme.createLoadingScreen() : nullptr;
    if (screen) {
        screen->load();
        RunPart(screen, "qvn_cLoadingScreen");  // fades in
    }
    bool ok = LoadInOrder(m_apParts[0], m_Programme.half[0], 0);
    if (ok && screen) {
        RunPart(screen, "qvn_cLoadingScreen");  // fades out
        screen->finish();
    }
    delete screen;
    return ok;
}

bool qvn_cSequencer::LoadHalf2() {
    if (!ConstructHalf(1)) return false;
    if (g_pInterlude && !m_bInterludeShown) {
        // The first half never got to show the interlude: fade it in now, so
        // the viewer has a picture while the second half loads.
        g_pInterlude->load();
        RunPart(g_pInterlude, "qvn_cInterlude");
        m_bInterludeShown = true;
    }
    // Nothing is drawn while loading: the interlude picture stays on screen.
    if (!LoadInOrder(m_apParts[1], m_Programme.half[1], 1)) return false;
    if (g_pInterlude) {
        RunPart(g_pInterlude, "qvn_cInterlude");  // fades out
        g_pInterlude->finish();
    }
    return true;
}

void qvn_cSequencer::FreeHalf1() {
    // The interlude fades in over the end of the first half, unless the
    // viewer has already closed the window.
    if (g_pInterlude && !QuitRequested()) {
        g_pInterlude->load();
        RunPart(g_pInterlude, "qvn_cInterlude");
        m_bInterludeShown = true;
    }
    DestroyHalf(0);
}

void qvn_cSequencer::FreeHalf2() { DestroyHalf(1); }

void RunShow(const qvn_SProgramme& programme) {
    qvn_cSequencer sequencer(programme);
    sequencer.RunShow();
}
