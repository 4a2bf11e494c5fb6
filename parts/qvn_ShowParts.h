// Makes every part class of the show known to the programme by class name.
#pragma once

void qvn_RegisterShowParts();

// Puts every part's program-lifetime state (its statics: one-shot flags,
// fade values, angles) back to what a fresh program starts with, so a show
// played again in the same process is the same show.
void qvn_ResetShowState();

// TEMPORARY while the parts are being written: whether a part class is still
// a placeholder that draws nothing (the whole-show tests leave it out).
bool qvn_IsPendingPart(const char* name);
