// The show's programme: one table of its parts, in programme order, with
// each part's class and short name, its factory, its state reset and its
// places in its half's construction and load orders. The sequencer's
// programme, the names --start, --stop and the viewer use, and the reset of
// a show played again all come from it: a new part is one row and its files.
#pragma once

#include "qvn_App.h"
#include "qvn_Main.h"

// The show as the programs play it.
qvn_SShow qvn_DefaultShow();

// Puts every part's program-lifetime state (its statics: one-shot flags,
// fade values, angles) back to what a fresh program starts with, so a show
// played again in the same process is the same show.
void qvn_ResetShowState();

// What tells the two programs apart: their screens (live and capture), their
// renderer and their texture store.
struct qvn_SProgramPieces {
    qvn_cEngDisplay* (*createScreen)();
    qvn_cEngDisplay* (*createCaptureScreen)();
    void (*createRenderer)();      // sets g_pRenderer
    bool (*createTextureStore)();  // sets g_pTextureStore; false ends the start-up
};

// The application's factories for a program made of those pieces, with what
// every program shares (the MP3 player; freeing the renderer and the texture
// store; the reset of the parts' state).
qvn_SAppFactories qvn_ShowFactories(const qvn_SProgramPieces& pieces, bool capture);
