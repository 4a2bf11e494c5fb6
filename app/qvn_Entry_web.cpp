// The entry point in the browser (and under Node): the page calls main with
// the program's arguments once its data files are in the module's file
// system, datas/ beside the working folder.
#include <string>

#include "qvn_Main.h"

int main(int argc, char** argv) { return qvn_ProgramMain(argc, argv, nullptr, 1, std::string()); }
