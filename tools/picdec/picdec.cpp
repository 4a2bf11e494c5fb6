// picdec IN OUT.png: loads one picture through the engine's own readers, the
// way a part loads it, and writes what the part would get as a PNG. JPEG, BMP
// and PCX pictures go through qvn_cBitmap::loadFromFile (the 32-bit master
// copy is written); a TGA texture map through loadMapTGA on a 5-6-5 screen.
// A picture the engine refuses is refused here too, with the reason.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "qvn_Bitmap.h"
#include "qvn_ErrorLog.h"
#include "qvn_PictureReaders.h"
#include "qvn_Png.h"
#include "qvn_ToolArgs.h"

namespace {

const char kUsage[] =
    "usage: picdec IN OUT.png\n"
    "Decodes IN (JPEG, BMP, PCX, or the 256 x 256 TGA texture map) with the engine's\n"
    "readers, as the show would load it from datas/, and writes it as OUT.png.\n"
    "A file the engine refuses is refused here, with the reason (exit code 1).\n"
    "  --help      this text\n"
    "  --version   the program's version\n";

// The bitmap's messages, echoed for the user.
class cStderrLog : public qvn_cMessageLog {
public:
    void Write(const char* text) override { std::fputs(text, stderr); }
};

bool EndsWithTga(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext == ".tga";
}

}  // namespace

int main(int argc, char** argv) {
    const int asked = qvn_tool::HelpOrVersion(argc, argv, "picdec", kUsage);
    if (asked >= 0) return asked;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-') return qvn_tool::UsageError("picdec", kUsage, "unknown option", argv[i]);
    if (argc != 3) return qvn_tool::UsageError("picdec", kUsage, "takes an input picture and an output PNG");
    const char* in = argv[1];
    const char* out = argv[2];
    // A missing file gets one plain message rather than the reader's.
    if (!qvn_tool::CanOpen("picdec", in)) return 1;
    qvn_SetLogEcho(stderr);
    cStderrLog log;
    g_pMessageLog = &log;

    if (EndsWithTga(in)) {
        // The texture map has no header worth the name: the engine takes any
        // file long enough, and so does this.
        std::unique_ptr<uint16_t[]> map(loadMapTGA(in, 16));
        if (!map) {
            std::fprintf(stderr, "picdec: %s refused: not a 256 x 256 16-bit TGA texture map\n", in);
            return 1;
        }
        if (!qvn_WritePng565(out, map.get(), kQvnMapTgaSize, kQvnMapTgaSize, kQvnMapTgaSize)) {
            std::fprintf(stderr, "picdec: cannot write %s\n", out);
            return 1;
        }
        std::printf("%s: %dx%d TGA texture map\n", in, kQvnMapTgaSize, kQvnMapTgaSize);
        return 0;
    }

    qvn_cBitmap bitmap(1, 1, QVN_BPP_32);
    if (!bitmap.loadFromFile(in) || !bitmap.m_p32bitsPixels) {
        std::fprintf(stderr, "picdec: %s refused\n", in);
        return 1;
    }
    if (!qvn_WritePngRGB32(out, bitmap.m_p32bitsPixels, bitmap.m_nSizeX, bitmap.m_nSizeY, bitmap.m_nSizeX)) {
        std::fprintf(stderr, "picdec: cannot write %s\n", out);
        return 1;
    }
    std::printf("%s: %dx%d\n", in, bitmap.m_nSizeX, bitmap.m_nSizeY);
    return 0;
}
