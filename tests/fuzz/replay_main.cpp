// Runs a fuzz entry point over every file of a corpus folder (or over the
// files named), so ordinary builds replay what the fuzzer found.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int Replay(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A copy of exactly the file's size, so an overread past it is an overread.
    std::vector<uint8_t> exact(bytes);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        std::error_code ec;
        // A missing or empty corpus would pass without testing anything, so
        // both are failures: the test is there to guard the reader.
        if (std::filesystem::is_directory(p, ec)) {
            int inFolder = 0;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(p))
                if (entry.is_regular_file()) inFolder += Replay(entry.path());
            if (inFolder == 0) {
                std::fprintf(stderr, "corpus folder %s holds no input\n", argv[i]);
                return 1;
            }
            count += inFolder;
        } else if (std::filesystem::is_regular_file(p, ec)) {
            count += Replay(p);
        } else {
            std::fprintf(stderr, "cannot open %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
