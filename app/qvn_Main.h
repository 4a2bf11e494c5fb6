// The program's body, shared by the backends' entry points.
#pragma once

#include "qvn_App.h"
#include "qvn_Options.h"
#include "qvn_Sequencer.h"
#include "qvn_StartPoint.h"

// The factories of the program being built (demo_sw or demo_hw), for the live
// backend and for capture mode.
qvn_SAppFactories qvn_ProgramFactories(bool capture);

// The show the program plays: the sequencer's programme, and its parts as
// --start, --stop and the viewer name them, in programme order. Both live
// as long as the program.
struct qvn_SShow {
    const qvn_SProgramme* programme;
    const qvn_SStartPart* parts;
    int partCount;
};
qvn_SShow qvn_ProgramShow();
// The program's name in messages ("demo_sw").
extern const char* const kQvnProgramName;

// Runs the whole program; returns its exit code. exeDir: the folder of the
// executable (for finding datas/ beside it), may be empty.
int qvn_ProgramMain(int argc, const char* const* argv, void* hInstance, int nCmdShow, const std::string& exeDir);
