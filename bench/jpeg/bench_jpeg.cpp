// JPEG decoding speed, ours against libjpeg-turbo set up the way our output
// is defined (float IDCT, replicating upsampling), in megapixels per second,
// with the ratio printed at the end (the goal is 0.5 or better).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "jpeg_oracle.h"
#include "qvn_JpegDecoder.h"

namespace {

struct SInput {
    std::string name;
    std::vector<uint8_t> bytes;
    int pixels = 0;
};

std::vector<SInput>& Inputs() {
    static std::vector<SInput> inputs;
    return inputs;
}

void MakeInputs() {
    auto add = [](const std::string& name, std::vector<uint8_t> bytes) {
        SPicture p;
        if (bytes.empty() || !OracleDecode(bytes, &p)) return;
        Inputs().push_back({name, std::move(bytes), p.width * p.height});
    };
    if (VectorsPresent()) add("testorig_227x149_420", ReadFileBytes(QVN_VECTORS_DIR "/jpeg/baseline/testorig.jpg"));
    SEncodeSettings s;
    s.quality = 85;
    const SPicture big = MakeTestPicture(1280, 960, 5);
    add("generated_1280x960_420_q85", OracleEncode(big, s));
    s.h0 = s.v0 = 1;
    s.quality = 95;
    add("generated_1280x960_444_q95", OracleEncode(big, s));
    s.components = 1;
    add("generated_1280x960_grey_q85", OracleEncode(big, s));
}

void BM_Ours(benchmark::State& state, const SInput* in) {
    for (auto _ : state) {
        SJpegImage* image = qvn_JpegDecodeMemory(in->bytes.data(), in->bytes.size(), QVN_JPEG_RGB32);
        benchmark::DoNotOptimize(image);
        qvn_JpegFree(image);
    }
    state.counters["MP/s"] = benchmark::Counter(double(in->pixels) * 1e-6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

void BM_Libjpeg(benchmark::State& state, const SInput* in) {
    SPicture out;
    for (auto _ : state) {
        OracleDecode(in->bytes, &out);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    state.counters["MP/s"] = benchmark::Counter(double(in->pixels) * 1e-6 * state.iterations(),
                                                benchmark::Counter::kIsRate);
}

// Keeps the median CPU time of every benchmark so the ratios can be printed
// (CPU time and medians: the machine may be busy with other work).
class cRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                m_Seconds[r.run_name.str().substr(0, r.run_name.str().find("/repeats:"))] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> m_Seconds;
};

}  // namespace

int main(int argc, char** argv) {
    MakeInputs();
    for (const SInput& in : Inputs()) {
        benchmark::RegisterBenchmark(("jpeg_decode/ours/" + in.name).c_str(), BM_Ours, &in)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("jpeg_decode/libjpeg_float_nosmooth/" + in.name).c_str(), BM_Libjpeg, &in)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true);
    }
    benchmark::Initialize(&argc, argv);
    cRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nspeed ratio ours / libjpeg-turbo (float IDCT, no fancy upsampling), goal >= 0.5:\n");
    for (const SInput& in : Inputs()) {
        const auto ours = reporter.m_Seconds.find("jpeg_decode/ours/" + in.name);
        const auto theirs = reporter.m_Seconds.find("jpeg_decode/libjpeg_float_nosmooth/" + in.name);
        if (ours == reporter.m_Seconds.end() || theirs == reporter.m_Seconds.end()) continue;
        std::printf("  %-28s %.2f\n", in.name.c_str(), theirs->second / ours->second);
    }
    benchmark::Shutdown();
    return 0;
}
