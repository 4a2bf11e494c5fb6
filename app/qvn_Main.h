// The program's body, shared by the backends' entry points.
#pragma once

#include "qvn_App.h"
#include "qvn_Options.h"

// The factories of the program being built (demo_sw or demo_hw), for the live
// backend and for capture mode.
qvn_SAppFactories qvn_ProgramFactories(bool capture);
// The program's name in messages ("demo_sw").
extern const char* const kQvnProgramName;

// Runs the whole program; returns its exit code. exeDir: the folder of the
// executable (for finding datas/ beside it), may be empty.
int qvn_ProgramMain(int argc, const char* const* argv, void* hInstance, int nCmdShow, const std::string& exeDir);
