// Makes every part class of the show known to the programme by class name.
#pragma once

#include "qvn_App.h"

void qvn_RegisterShowParts();

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
// store); registers the show's parts with the programme first.
qvn_SAppFactories qvn_ShowFactories(const qvn_SProgramPieces& pieces, bool capture);
