// Decode throughput: our decoder and libmpg123 (float output, the same work
// as ours) on the same 320 kbit/s files, whole file from memory to PCM in
// memory. Prints the ratio (ours / libmpg123 in samples per second) at the
// end; above 1.0 we are faster.
#include <benchmark/benchmark.h>
#include <mpg123.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "qvn_MP3Decoder.h"

namespace {

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

// Interleaves into a buffer, as a player would.
float g_aInterleaved[2 * 576];
size_t g_nSamples = 0;
void Output(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        g_aInterleaved[2 * i] = left[i];
        g_aInterleaved[2 * i + 1] = right ? right[i] : left[i];
    }
    g_nSamples += static_cast<size_t>(count);
}

void BM_Ours(benchmark::State& state, std::string path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.empty()) {
        state.SkipWithError("file not found");
        return;
    }
    mp3InitTables();
    mp3SetOutput(Output);
    size_t samples = 0;
    for (auto _ : state) {
        SMP3Stream* s = mp3OpenMemory(bytes.data(), bytes.size());
        g_nSamples = 0;
        while (mp3DecodeFrame(s) > 0) {
        }
        benchmark::DoNotOptimize(g_aInterleaved);
        samples += g_nSamples;
        mp3Close(s);
    }
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

void BM_Mpg123(benchmark::State& state, std::string path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    if (bytes.empty()) {
        state.SkipWithError("file not found");
        return;
    }
    mpg123_init();
    std::vector<unsigned char> out(1 << 16);
    size_t samples = 0;
    for (auto _ : state) {
        int err = 0;
        mpg123_handle* h = mpg123_new(nullptr, &err);
        mpg123_param(h, MPG123_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);
        mpg123_open_feed(h);
        size_t done = 0;
        int channels = 2;
        int ret = mpg123_decode(h, bytes.data(), bytes.size(), out.data(), out.size(), &done);
        for (;;) {
            if (ret == MPG123_NEW_FORMAT) {
                long rate;
                int enc;
                mpg123_getformat(h, &rate, &channels, &enc);
            }
            samples += done / sizeof(float) / static_cast<size_t>(channels);
            if (ret == MPG123_ERR || ret == MPG123_NEED_MORE) break;
            ret = mpg123_decode(h, nullptr, 0, out.data(), out.size(), &done);
        }
        benchmark::DoNotOptimize(out.data());
        mpg123_delete(h);
    }
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}

// Remembers samples per second per benchmark to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) m_rates[r.benchmark_name()] = it->second.value;
        }
    }
    void PrintRatios() const {
        for (const auto& [name, rate] : m_rates) {
            if (name.rfind("Ours/", 0) != 0) continue;
            // Ratios of spreads mean nothing; keep plain runs, means and medians.
            if (name.size() > 7 && (name.compare(name.size() - 7, 7, "_stddev") == 0 || name.compare(name.size() - 3, 3, "_cv") == 0))
                continue;
            auto ref = m_rates.find("Mpg123/" + name.substr(5));
            if (ref == m_rates.end() || ref->second <= 0.0) continue;
            std::printf("ratio ours/libmpg123 %-24s %.2f\n", name.substr(5).c_str(), rate / ref->second);
        }
    }

private:
    std::map<std::string, double> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = std::string(QVN_VECTORS_DIR) + "/mp3/perf/";
    for (const char* file : {"MIPSTest.mp3", "MEANDR_PHASE90.mp3", "noise_meandr.mp3", "MEANDR_PHASE0.mp3"}) {
        benchmark::RegisterBenchmark((std::string("Ours/") + file).c_str(), BM_Ours, dir + file)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Mpg123/") + file).c_str(), BM_Mpg123, dir + file)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
