// The native entry point on SDL2 platforms.
#include <SDL.h>

#include <string>

#include "qvn_Main.h"

int main(int argc, char** argv) {
    std::string exeDir;
    if (char* base = SDL_GetBasePath()) {
        exeDir = base;
        SDL_free(base);
    }
    return qvn_ProgramMain(argc, argv, nullptr, 1, exeDir);
}
