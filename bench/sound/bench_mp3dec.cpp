// Whole-process decode of a file to a WAV file: our mp3dec against the
// mpg123 program (what a user would run instead), float and 16-bit output.
// Each iteration starts the program and waits for it, so start-up, reading
// the input and writing the output all count. Prints, per output format, the
// speed ratio (mpg123 time / mp3dec time; 1.0 or more: we are at least as
// fast) and both programs' peak resident memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs argv[0] (searched in PATH) with standard output discarded; returns its
// exit status and peak resident memory in KiB, or -1 when it cannot start.
int Spawn(const std::vector<std::string>& args, long* peakKiB) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return -1;
    *peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, long> g_peakKiB;

void BM_Process(benchmark::State& state, std::string name, std::vector<std::string> args) {
    long peak = 0;
    for (auto _ : state) {
        long kib = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const int rc = Spawn(args, &kib);
        const auto t1 = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError(("cannot run " + args[0]).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        peak = std::max(peak, kib);
    }
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
    long& kept = g_peakKiB[name];
    kept = std::max(kept, peak);
}

// Keeps the median times to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                m_medianMs[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
    void PrintRatios() const {
        for (const char* format : {"float", "s16"}) {
            const auto ours = m_medianMs.find(std::string("mp3dec/") + format);
            const auto ref = m_medianMs.find(std::string("mpg123/") + format);
            if (ours == m_medianMs.end() || ref == m_medianMs.end() || ours->second <= 0.0) continue;
            const auto peak = [](const std::string& name) {
                const auto it = g_peakKiB.find(name);
                return it == g_peakKiB.end() ? 0.0 : static_cast<double>(it->second) / 1024.0;
            };
            std::printf("ratio mpg123/mp3dec %-5s time %.2f (%.0f ms / %.0f ms)  peak memory %.1f MiB / %.1f MiB\n",
                        format, ref->second / ours->second, ref->second, ours->second,
                        peak(std::string("mpg123/") + format), peak(std::string("mp3dec/") + format));
        }
    }

private:
    std::map<std::string, double> m_medianMs;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string input = std::string(QVN_VECTORS_DIR) + "/mp3/perf/MEANDR_PHASE0.mp3";
    const std::string wav = (std::filesystem::temp_directory_path() /
                             ("qvn_bench_mp3dec_" + std::to_string(getpid()) + ".wav")).string();
    if (!std::filesystem::exists(input)) {
        std::fprintf(stderr, "bench_mp3dec: %s not found\n", input.c_str());
        return 1;
    }
    const std::map<std::string, std::vector<std::string>> runs = {
        {"mp3dec/float", {QVN_MP3DEC, input, wav, "--float"}},
        {"mpg123/float", {"mpg123", "-q", "-e", "f32", "-w", wav, input}},
        {"mp3dec/s16", {QVN_MP3DEC, input, wav}},
        {"mpg123/s16", {"mpg123", "-q", "-w", wav, input}},
    };
    for (const auto& [name, args] : runs)
        benchmark::RegisterBenchmark(name.c_str(), BM_Process, name, args)
            ->UseManualTime()
            ->Iterations(5)
            ->Repetitions(5)
            ->ReportAggregatesOnly(true)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    std::filesystem::remove(wav);
    return 0;
}
