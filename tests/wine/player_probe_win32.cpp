// Plays a track through DirectSound for a few seconds with the show's own
// player and reports how far the refills got: run under Wine by
// wine_sound.sh. Exit 0 when the ring was refilled on time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Player.h"
#include "qvn_NativeSystem.h"
#include "qvn_Window.h"

const char* const kQvnProgramName = "player_probe";

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    if (__argc < 3) {
        std::fprintf(stderr, "usage: player_probe TRACK.mp3 SECONDS\n");
        return 2;
    }
    qvn_SetLogEcho(stdout);
    qvn_sys::Install(qvn_NativeSystemServices());
    qvn_cWindow window;
    window.Create(hInstance, nullptr, nullptr, SW_SHOWMINNOACTIVE);
    qvn_cMP3Player player;
    g_pMusic = &player;
    if (!player.Open(__argv[1], 0)) return 3;
    if (!player.InitDevice()) {
        std::printf("InitDevice failed\n");
        return 4;
    }
    int seconds = std::atoi(__argv[2]);
    player.Play();
    while (player.GetTimePosition() < seconds * 1000) {
        window.PumpMessages();
        Sleep(5);
    }
    int frames = player.GetMP3Position();
    player.Release();
    g_pMusic = nullptr;
    // The pump keeps two quarters (16 frames) ahead of the cursor; a refill
    // that never came would leave the count at 0, a stalled one far behind.
    int expected = seconds * player.m_nSampleRate / 1152;
    std::printf("played %d s, decoded %d frames (expected about %d)\n", seconds, frames, expected);
    return frames >= expected - 16 && frames <= expected + 32 ? 0 : 1;
}
