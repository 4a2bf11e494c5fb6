// jpgdec IN.jpg OUT.png: decodes one JPEG with the engine's decoder (0x00RRGGBB
// output) and writes it as a PNG, printing what the frame holds. Exit code 1,
// with the reason, for a file the decoder refuses.
#include <cstdio>
#include <vector>

#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"
#include "qvn_Png.h"
#include "qvn_ToolArgs.h"

static const char kUsage[] =
    "usage: jpgdec IN.jpg OUT.png\n"
    "  decodes IN.jpg with the engine's JPEG decoder and writes it as OUT.png;\n"
    "  prints the frame's size, precision and sampling, or why it is refused\n"
    "  --help      this text\n"
    "  --version   the engine version\n";

int main(int argc, char** argv) {
    if (int code = qvn_tool::HelpOrVersion(argc, argv, "jpgdec", kUsage); code >= 0) return code;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && argv[i][1] != 0) return qvn_tool::UsageError("jpgdec", kUsage, "unknown option", argv[i]);
    if (argc != 3) return qvn_tool::UsageError("jpgdec", kUsage, argc < 3 ? "missing file names" : "too many arguments");
    if (!qvn_tool::CanOpen("jpgdec", argv[1])) return 1;
    qvn_SetLogEcho(stderr);
    SJpegInfo info;
    SJpegImage* image = qvn_JpegDecode(argv[1], QVN_JPEG_RGB32, &info);
    if (info.nComponents > 0) {
        std::printf("%s: %dx%d, %d-bit, %d component%s, sampling", argv[1], info.nWidth, info.nHeight,
                    info.nPrecision, info.nComponents, info.nComponents == 1 ? "" : "s");
        for (int i = 0; i < info.nComponents && i < 4; ++i) std::printf(" %dx%d", info.nH[i], info.nV[i]);
        if (info.nRestartInterval) std::printf(", restart interval %d", info.nRestartInterval);
        std::printf("\n");
    }
    if (!image) {
        std::fprintf(stderr, "jpgdec: %s refused: %s\n", argv[1], info.szReason);
        return 1;
    }
    if (info.bTruncated) std::fprintf(stderr, "jpgdec: warning: the image data of %s is cut short\n", argv[1]);
    if (info.bMissingEoi) std::fprintf(stderr, "jpgdec: warning: %s has no end-of-image marker\n", argv[1]);

    const int w = image->nWidth, h = image->nHeight;
    std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < rgb.size(); ++i) {
        if (image->nBytesPerPixel == 4) {
            const uint8_t* p = image->pPixels + 4 * i;
            rgb[i] = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16);
        } else {
            rgb[i] = image->pPixels[i] * 0x010101u;
        }
    }
    qvn_JpegFree(image);
    if (!qvn_WritePngRGB32(argv[2], rgb.data(), w, h, w)) {
        std::fprintf(stderr, "jpgdec: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
