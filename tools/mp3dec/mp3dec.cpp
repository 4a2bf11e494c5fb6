// mp3dec IN.mp3 OUT.wav [--float]: decodes a whole file with the engine's
// decoder into a WAV file, 16-bit (full scale 32767, rounded and clipped) or
// 32-bit float, and prints what it found.
//
// The samples go to the file in blocks as the frames decode; the header's
// sizes are written last. So memory stays the decoder's own (the input file
// plus a fixed amount) however long the output is.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Decoder.h"

namespace {

const char kUsage[] =
    "usage: mp3dec IN.mp3 OUT.wav [--float]\n"
    "Decodes an MPEG-1 Layer III file with the engine's decoder into a WAV file.\n"
    "  --float      32-bit float samples (full scale 1.0) instead of 16-bit\n"
    "  --help, -h   this text\n"
    "  --version    the program's version\n";

constexpr int kHeaderBytes = 44;
// Bytes gathered before each write: a few dozen frames of stereo float.
constexpr size_t kBlockBytes = 256 * 1024;

struct SOutput {
    FILE* pFile = nullptr;
    bool bFloat = false;
    int nChannels = 2;
    uint8_t aBlock[kBlockBytes];
    size_t nBlockBytes = 0;
    uint64_t nDataBytes = 0;
    bool bFailed = false;
};

SOutput g_out;

void Flush() {
    if (g_out.nBlockBytes == 0 || g_out.bFailed) return;
    if (std::fwrite(g_out.aBlock, 1, g_out.nBlockBytes, g_out.pFile) != g_out.nBlockBytes) g_out.bFailed = true;
    g_out.nDataBytes += g_out.nBlockBytes;
    g_out.nBlockBytes = 0;
}

inline uint8_t* Put32(uint8_t* p, uint32_t x) {
    p[0] = static_cast<uint8_t>(x);
    p[1] = static_cast<uint8_t>(x >> 8);
    p[2] = static_cast<uint8_t>(x >> 16);
    p[3] = static_cast<uint8_t>(x >> 24);
    return p + 4;
}

inline uint8_t* PutFloat(uint8_t* p, float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, 4);
    return Put32(p, bits);
}

// Rounded to nearest (ties to even, as nearbyint in the default mode) and
// clipped: adding 1.5 * 2^23 leaves the rounded integer in the low mantissa
// bits, exact for the clipped range.
inline uint8_t* PutPcm16(uint8_t* p, float x) {
    float y = x * 32767.0f;
    y = y > 32767.0f ? 32767.0f : y < -32768.0f ? -32768.0f : y;
    const float r = y + 12582912.0f;
    uint32_t bits;
    std::memcpy(&bits, &r, 4);
    const uint32_t v = bits - 0x4B400000u;  // the integer, two's complement in 16 bits
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    return p + 2;
}

void Output(int count, const float* left, const float* right) {
    if (!right) right = left;
    const size_t frameBytes = static_cast<size_t>(g_out.nChannels) * (g_out.bFloat ? 4 : 2);
    int i = 0;
    while (i < count) {
        if (g_out.nBlockBytes + frameBytes > kBlockBytes) Flush();
        int n = static_cast<int>((kBlockBytes - g_out.nBlockBytes) / frameBytes);
        if (n > count - i) n = count - i;
        uint8_t* p = g_out.aBlock + g_out.nBlockBytes;
        const int end = i + n;
        if (g_out.bFloat) {
            if (g_out.nChannels == 2)
                for (; i < end; ++i) p = PutFloat(PutFloat(p, left[i]), right[i]);
            else
                for (; i < end; ++i) p = PutFloat(p, left[i]);
        } else {
            if (g_out.nChannels == 2)
                for (; i < end; ++i) p = PutPcm16(PutPcm16(p, left[i]), right[i]);
            else
                for (; i < end; ++i) p = PutPcm16(p, left[i]);
        }
        g_out.nBlockBytes = static_cast<size_t>(p - g_out.aBlock);
    }
}

// The canonical 44-byte header. Sizes beyond what RIFF can hold are written
// as the largest it can.
void MakeHeader(uint8_t* h, int rate, int channels, bool isFloat, uint64_t dataBytes) {
    const uint64_t maxData = 0xFFFFFFFFull - 36;
    const uint32_t data = static_cast<uint32_t>(dataBytes < maxData ? dataBytes : maxData);
    const int bytesPerSample = isFloat ? 4 : 2;
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, data + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    h[20] = isFloat ? 3 : 1;
    h[21] = 0;
    h[22] = static_cast<uint8_t>(channels);
    h[23] = 0;
    Put32(h + 24, static_cast<uint32_t>(rate));
    Put32(h + 28, static_cast<uint32_t>(rate * channels * bytesPerSample));
    h[32] = static_cast<uint8_t>(channels * bytesPerSample);
    h[33] = 0;
    h[34] = static_cast<uint8_t>(bytesPerSample * 8);
    h[35] = 0;
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, data);
}

int UsageError(const char* what, const char* arg) {
    std::fprintf(stderr, "mp3dec: %s%s\n%s", what, arg ? arg : "", kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    qvn_SetLogEcho(stderr);
    const char* in = nullptr;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(a, "--version") == 0) {
            std::printf("mp3dec (Quorvane show engine) %s\n", QVN_VERSION);
            return 0;
        }
        if (std::strcmp(a, "--float") == 0)
            g_out.bFloat = true;
        else if (a[0] == '-' && a[1] != '\0')
            return UsageError("unknown option ", a);
        else if (!in)
            in = a;
        else if (!out)
            out = a;
        else
            return UsageError("too many files: ", a);
    }
    if (!in || !out) return UsageError(in ? "no output file" : "no input file", nullptr);

    // Told apart here, since the decoder only knows it could not read.
    if (FILE* probe = std::fopen(in, "rb")) {
        std::fclose(probe);
    } else {
        std::fprintf(stderr, "mp3dec: cannot open %s: %s\n", in, std::strerror(errno));
        return 1;
    }
    mp3InitTables();
    EMp3Refusal why = kMp3Accepted;
    SMP3Stream* s = mp3OpenChecked(in, &why);
    if (!s) {
        switch (why) {
        case kMp3Mpeg2: std::fprintf(stderr, "mp3dec: MPEG-2 is not supported: %s\n", in); break;
        case kMp3LayerI: std::fprintf(stderr, "mp3dec: MPEG-1 Layer I is not supported: %s\n", in); break;
        case kMp3LayerII: std::fprintf(stderr, "mp3dec: MPEG-1 Layer II is not supported: %s\n", in); break;
        case kMp3NoAudioFrame: std::fprintf(stderr, "mp3dec: not an MPEG audio file: %s\n", in); break;
        default: std::fprintf(stderr, "mp3dec: cannot read %s\n", in); break;
        }
        return 1;
    }
    g_out.nChannels = mp3GetChannels(s);
    const int rate = mp3GetSampleRate(s);

    g_out.pFile = std::fopen(out, "wb");
    if (!g_out.pFile) {
        std::fprintf(stderr, "mp3dec: cannot create %s: %s\n", out, std::strerror(errno));
        mp3Close(s);
        return 1;
    }
    // Our own blocks are the buffering.
    std::setvbuf(g_out.pFile, nullptr, _IONBF, 0);
    uint8_t header[kHeaderBytes];
    MakeHeader(header, rate, g_out.nChannels, g_out.bFloat, 0);
    if (std::fwrite(header, 1, kHeaderBytes, g_out.pFile) != kHeaderBytes) g_out.bFailed = true;

    mp3SetOutput(Output);
    int frames = 0;
    while (!g_out.bFailed && mp3DecodeFrame(s) > 0) ++frames;
    Flush();
    mp3SetOutput(nullptr);
    const int bitrate = mp3GetBitrate(s), bad = mp3GetBadFrames(s);
    mp3Close(s);

    if (!g_out.bFailed) {
        MakeHeader(header, rate, g_out.nChannels, g_out.bFloat, g_out.nDataBytes);
        if (std::fseek(g_out.pFile, 0, SEEK_SET) != 0 ||
            std::fwrite(header, 1, kHeaderBytes, g_out.pFile) != kHeaderBytes)
            g_out.bFailed = true;
    }
    if (std::fclose(g_out.pFile) != 0) g_out.bFailed = true;
    if (g_out.bFailed) {
        std::fprintf(stderr, "mp3dec: cannot write %s: %s\n", out, std::strerror(errno));
        std::remove(out);
        return 1;
    }
    if (g_out.nDataBytes > 0xFFFFFFFFull - 36)
        std::fprintf(stderr, "mp3dec: %s is longer than a WAV header can say; its sizes are capped\n", out);
    std::printf("%s: %d Hz, %d channel(s), %d kbit/s, %d frames, %d skipped\n", in, rate, g_out.nChannels, bitrate,
                frames, bad);
    return 0;
}
