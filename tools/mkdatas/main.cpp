// mkdatas OUTDIR [--seed N] [--contact-sheet FILE.png] [--only NAME ...]
// Writes the show's default data set into OUTDIR (the data folder itself).
#include "mkd_Generate.h"

#include <unistd.h>

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "qvn_ToolArgs.h"

static const char kUsage[] =
    "usage: mkdatas OUTDIR [--seed N] [--contact-sheet FILE.png] [--only NAME]... [--list] [--no-verify] [--verbose]\n"
    "  writes every picture, scene and track of the show into OUTDIR (made with its\n"
    "  parents when missing), then reads them back with the engine's readers\n"
    "  --seed N                 another deterministic variation (default 1)\n"
    "  --contact-sheet FILE.png one picture of every picture and scene\n"
    "  --only NAME              only this data file (repeatable; see --list)\n"
    "  --list                   the names of the show's data files\n"
    "  --no-verify              skip reading the files back\n"
    "  --verbose                one line per file written\n"
    "  --help, --version\n";

static int Usage(const char* what, const char* arg = nullptr) { return qvn_tool::UsageError("mkdatas", kUsage, what, arg); }

int main(int argc, char** argv) {
    if (int code = qvn_tool::HelpOrVersion(argc, argv, "mkdatas", kUsage); code >= 0) return code;
    mkd::sOptions opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--seed" && hasValue) {
            char* end = nullptr;
            opt.seed = std::strtoull(argv[++i], &end, 10);
            if (!end || *end || !std::isdigit(static_cast<unsigned char>(argv[i][0])))
                return Usage("--seed wants a whole number, not", argv[i]);
        } else if (a == "--contact-sheet" && hasValue) {
            opt.contactSheet = argv[++i];
        } else if (a == "--only" && hasValue) {
            opt.only.push_back(argv[++i]);
        } else if (a == "--no-verify") {
            opt.verify = false;
        } else if (a == "--verbose" || a == "-v") {
            opt.verbose = true;
        } else if (a == "--list") {
            int n = 0;
            const qvn_SDataFile* f = qvn_GetDataFiles(&n);
            for (int k = 0; k < n; ++k) std::printf("%s\n", f[k].pszName);
            return 0;
        } else if (!a.empty() && a[0] != '-' && opt.outDir.empty()) {
            opt.outDir = a;
        } else if (!a.empty() && a[0] != '-') {
            return Usage("one output folder only, not also", argv[i]);
        } else {
            return Usage(hasValue || (a != "--seed" && a != "--contact-sheet" && a != "--only") ? "unknown option"
                                                                                                 : "missing value after",
                         argv[i]);
        }
    }
    if (opt.outDir.empty()) return Usage("no output folder given");
    for (const std::string& n : opt.only) {
        std::string full = n.compare(0, 6, "datas/") == 0 ? n : "datas/" + n;
        if (!qvn_FindDataFile(full.c_str())) {
            std::fprintf(stderr, "mkdatas: %s is not a data file of the show (see --list)\n", n.c_str());
            return 2;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(opt.outDir, ec);  // an existing folder is fine
    if (ec || !std::filesystem::is_directory(opt.outDir, ec)) {
        std::fprintf(stderr, "mkdatas: cannot create %s: %s\n", opt.outDir.c_str(),
                     ec ? ec.message().c_str() : "a file of that name is in the way");
        return 1;
    }
    // Files done / total on one rewritten line, only for a person watching.
    const bool progress = !opt.verbose && isatty(STDOUT_FILENO);
    if (progress) {
        opt.progress = [](int done, int total) {
            std::printf("\rmkdatas: %d / %d files", done, total);
            if (done == total) std::printf("\n");
            std::fflush(stdout);
        };
    }
    std::string err;
    if (!mkd::Generate(opt, err)) {
        if (progress) std::printf("\n");
        std::fprintf(stderr, "mkdatas: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
