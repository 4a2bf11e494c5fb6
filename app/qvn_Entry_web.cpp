// The entry point in the browser (and under Node): the page calls main with
// the program's arguments once its data files are in the module's file
// system, datas/ beside the working folder.
#include <string>

#include <cstdio>

#include "qvn_Main.h"
#include "qvn_Web.h"

int main(int argc, char** argv) {
    const int code = qvn_ProgramMain(argc, argv, nullptr, 1, std::string());
    std::fflush(stdout);
    std::fflush(stderr);
    qvn_WebExited(code);
    return code;
}
