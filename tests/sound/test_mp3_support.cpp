#include "test_mp3_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "qvn_ErrorLog.h"

namespace mp3test {

namespace {
std::vector<float>* g_pSink = nullptr;
int g_nSinkChannels = 2;
int g_nNullRight = 0;

void Collect(int count, const float* left, const float* right) {
    if (!g_pSink) return;
    if (!right) ++g_nNullRight;
    for (int i = 0; i < count; ++i) {
        g_pSink->push_back(left[i]);
        if (g_nSinkChannels == 2) g_pSink->push_back(right ? right[i] : left[i]);
    }
}

void ThrowFatal(const char* message) { throw SFatal{message}; }
}  // namespace

std::string VectorsDir() { return QVN_VECTORS_DIR; }

bool HaveVectors() { return std::filesystem::is_directory(VectorsDir() + "/mp3"); }

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

void StartCapture(std::vector<float>* sink, int channels) {
    g_pSink = sink;
    g_nSinkChannels = channels;
    g_nNullRight = 0;
    mp3SetOutput(Collect);
}

void StopCapture() {
    g_pSink = nullptr;
    mp3SetOutput(nullptr);
}

SDecoded DecodeMemory(const std::vector<uint8_t>& bytes, int maxFrames) {
    SDecoded d;
    mp3InitTables();
    SMP3Stream* s = mp3OpenMemory(bytes.data(), bytes.size());
    if (!s) return d;
    d.bOpened = true;
    d.nChannels = mp3GetChannels(s);
    d.nSampleRate = mp3GetSampleRate(s);
    StartCapture(&d.pcm, d.nChannels);
    while (d.nFrames < maxFrames && mp3DecodeFrame(s) > 0) ++d.nFrames;
    d.nGranulesWithNullRight = g_nNullRight;
    StopCapture();
    mp3Close(s);
    return d;
}

double Psnr(const float* a, const float* b, size_t n, double* maxAbsLsb) {
    double se = 0.0, mx = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double x = std::clamp(static_cast<double>(a[i]) * 32768.0, -32768.0, 32767.0);
        const double e = x - static_cast<double>(b[i]) * 32768.0;
        se += e * e;
        mx = std::max(mx, std::fabs(e));
    }
    if (maxAbsLsb) *maxAbsLsb = mx;
    if (n == 0) return 0.0;
    if (se == 0.0) return 999.0;
    return 10.0 * std::log10(32767.0 * 32767.0 / (se / static_cast<double>(n)));
}

void InstallThrowingFatalHook() { qvn_SetFatalHook(ThrowFatal); }

}  // namespace mp3test
