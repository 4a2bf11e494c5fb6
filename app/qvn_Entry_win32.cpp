// The Windows entry point. The show needs no arguments; the same options as on
// the other platforms are accepted from the command line.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "qvn_Main.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    char path[MAX_PATH] = {0};
    std::string exeDir;
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        exeDir = path;
        size_t slash = exeDir.find_last_of("\\/");
        exeDir = slash == std::string::npos ? std::string() : exeDir.substr(0, slash);
    }
    return qvn_ProgramMain(__argc, __argv, hInstance, nCmdShow, exeDir);
}
