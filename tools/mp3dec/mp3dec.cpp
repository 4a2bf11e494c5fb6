// mp3dec IN.mp3 OUT.wav [--float]: decodes a whole file with the engine's
// decoder into a WAV file, 16-bit (full scale 32767, rounded and clipped) or
// 32-bit float, and prints what it found.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Decoder.h"

namespace {

bool g_bFloat = false;
std::vector<uint8_t> g_data;
int g_nChannels = 2;

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(x & 0xFF);
    v.push_back((x >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

void Sample(float x) {
    if (g_bFloat) {
        uint32_t bits;
        std::memcpy(&bits, &x, 4);
        Put32(g_data, bits);
        return;
    }
    float y = std::nearbyint(x * 32767.0f);
    if (y > 32767.0f) y = 32767.0f;
    if (y < -32768.0f) y = -32768.0f;
    Put16(g_data, static_cast<uint16_t>(static_cast<int16_t>(y)));
}

void Output(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        Sample(left[i]);
        if (g_nChannels == 2) Sample(right ? right[i] : left[i]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    qvn_SetLogEcho(stderr);
    const char* in = nullptr;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--float") == 0)
            g_bFloat = true;
        else if (!in)
            in = argv[i];
        else if (!out)
            out = argv[i];
    }
    if (!in || !out) {
        std::fprintf(stderr, "usage: mp3dec IN.mp3 OUT.wav [--float]\n");
        return 2;
    }
    mp3InitTables();
    SMP3Stream* s = mp3Open(in);
    if (!s) {
        std::fprintf(stderr, "mp3dec: cannot decode %s\n", in);
        return 1;
    }
    g_nChannels = mp3GetChannels(s);
    mp3SetOutput(Output);
    int frames = 0;
    while (mp3DecodeFrame(s) > 0) ++frames;
    const int rate = mp3GetSampleRate(s);
    std::printf("%s: %d Hz, %d channel(s), %d kbit/s, %d frames, %d skipped\n", in, rate, g_nChannels,
                mp3GetBitrate(s), frames, mp3GetBadFrames(s));
    mp3Close(s);

    std::vector<uint8_t> h;
    const int bytesPerSample = g_bFloat ? 4 : 2;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put32(h, static_cast<uint32_t>(36 + g_data.size()));
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(h, 16);
    Put16(h, g_bFloat ? 3 : 1);
    Put16(h, g_nChannels);
    Put32(h, rate);
    Put32(h, rate * g_nChannels * bytesPerSample);
    Put16(h, g_nChannels * bytesPerSample);
    Put16(h, bytesPerSample * 8);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put32(h, static_cast<uint32_t>(g_data.size()));
    FILE* f = std::fopen(out, "wb");
    if (!f || std::fwrite(h.data(), 1, h.size(), f) != h.size() ||
        (!g_data.empty() && std::fwrite(g_data.data(), 1, g_data.size(), f) != g_data.size())) {
        std::fprintf(stderr, "mp3dec: cannot write %s\n", out);
        if (f) std::fclose(f);
        return 1;
    }
    std::fclose(f);
    return 0;
}
