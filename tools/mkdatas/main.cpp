// mkdatas OUTDIR [--seed N] [--contact-sheet FILE.png] [--only NAME ...]
// Writes the show's default data set into OUTDIR (the data folder itself).
#include "mkd_Generate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

static int Usage() {
    std::fprintf(stderr,
                 "usage: mkdatas OUTDIR [--seed N] [--contact-sheet FILE.png] [--only NAME]... [--list] [--no-verify] [--verbose]\n"
                 "  writes every picture, scene and track of the show into OUTDIR, then reads\n"
                 "  them back with the engine's readers (when built in) unless --no-verify\n");
    return 2;
}

int main(int argc, char** argv) {
    mkd::sOptions opt;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            opt.seed = std::strtoull(argv[++i], &end, 10);
            if (!end || *end) return Usage();
        } else if (a == "--contact-sheet" && i + 1 < argc) {
            opt.contactSheet = argv[++i];
        } else if (a == "--only" && i + 1 < argc) {
            opt.only.push_back(argv[++i]);
        } else if (a == "--no-verify") {
            opt.verify = false;
        } else if (a == "--verbose") {
            opt.verbose = true;
        } else if (a == "--list") {
            int n = 0;
            const qvn_SDataFile* f = qvn_GetDataFiles(&n);
            for (int k = 0; k < n; ++k) std::printf("%s\n", f[k].pszName);
            return 0;
        } else if (!a.empty() && a[0] != '-' && opt.outDir.empty()) {
            opt.outDir = a;
        } else {
            return Usage();
        }
    }
    if (opt.outDir.empty()) return Usage();
    for (const std::string& n : opt.only) {
        std::string full = n.compare(0, 6, "datas/") == 0 ? n : "datas/" + n;
        if (!qvn_FindDataFile(full.c_str())) {
            std::fprintf(stderr, "mkdatas: %s is not a data file of the show\n", n.c_str());
            return 2;
        }
    }
    mkdir(opt.outDir.c_str(), 0755); // an existing folder is fine
    std::string err;
    if (!mkd::Generate(opt, err)) {
        std::fprintf(stderr, "mkdatas: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
