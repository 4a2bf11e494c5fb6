// The show: two halves, each played over one track, each a fixed list of
// parts constructed, loaded, run and destroyed in fixed orders around the
// music player. The programme is a table so that the show's own parts and the
// tests' fake parts go through the same sequencer.
#pragma once

#include "qvn_Part.h"

constexpr int kQvnMaxPartsPerHalf = 8;

struct qvn_SPartSlot {
    const char* name;         // class name, for diagnostics
    qvn_cPart* (*create)();   // null result: construction failed
};

struct qvn_SHalfProgramme {
    const char* track;                     // the track the half plays over
    int count;                             // parts in this half
    qvn_SPartSlot parts[kQvnMaxPartsPerHalf];  // in construction (and destruction) order
    int loadOrder[kQvnMaxPartsPerHalf];    // indices into parts
    int runOrder[kQvnMaxPartsPerHalf];     // indices into parts
};

struct qvn_SProgramme {
    qvn_SHalfProgramme half[2];
    // The first half loads behind this screen (made on the spot, faded in and
    // out); the interlude lives for the whole show.
    qvn_cPart* (*createLoadingScreen)();
    qvn_cPart* (*createInterlude)();
};

class qvn_cSequencer {
public:
    explicit qvn_cSequencer(const qvn_SProgramme& programme);
    ~qvn_cSequencer();

    void RunShow();
    bool PlayHalf1();
    bool PlayHalf2();
    bool LoadHalf1();
    bool LoadHalf2();
    void FreeHalf1();
    void FreeHalf2();

    // The live part objects of a half, by construction slot (null: none).
    qvn_cPart* Part(int half, int slot) const { return m_apParts[half][slot]; }

private:
    bool PlayHalf(int half);
    bool ConstructHalf(int half);
    void DestroyHalf(int half);
    bool QuitRequested() const;
    void SetPhase(int phase);

    const qvn_SProgramme& m_Programme;
    qvn_cPart* m_apParts[2][kQvnMaxPartsPerHalf];
    bool m_bInterludeShown;
};

extern qvn_cPart* g_pInterlude;
// No sound device is opened (--nosound): the tracks are still opened, so the
// halves play with their clocks, but nothing is heard.
extern bool g_bQvnNoSound;
// The track of the half that plays (null between halves).
const char* qvn_CurrentTrack();

// Runs the whole show with the given programme (what the entry point calls).
void RunShow(const qvn_SProgramme& programme);
