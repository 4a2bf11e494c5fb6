#include "mkd_EngineCheck.h"

#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"
#include "qvn_MP3Decoder.h"
#include "qvn_PictureReaders.h"
#include "qvn_PixelFormat.h"
#include "qvn_cImporter.h"
#include "qvn_cScene.h"
#include "qvn_cSoftRenderer.h"
#include "qvn_cTextureCache.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace mkd {

namespace {

// The decoders end the program on streams they do not support; here that
// becomes one more problem to report.
[[noreturn]] void ThrowFatal(const char* message) { throw std::runtime_error(message ? message : "fatal error"); }

long s_nDecodedSamples = 0;
void CountSamples(int count, const float*, const float*) { s_nDecodedSamples += count; }

qvn_cPixelFormat Format565() {
    qvn_cPixelFormat pf;
    pf.SetFromMasks(16, 0xF800, 0x07E0, 0x001F, false);
    return pf;
}

std::string CheckFile(const std::string& path, const qvn_SDataFile& f) {
    char line[256];
    switch (f.eKind) {
    case QVN_DATA_PICTURE_JPG: {
        SJpegInfo info;
        SJpegImage* im = qvn_JpegDecode(path.c_str(), QVN_JPEG_RGB32, &info);
        if (!im) return std::string("JPEG decoder refuses it: ") + info.szReason;
        bool ok = im->nWidth == f.nWidth && im->nHeight == f.nHeight;
        std::snprintf(line, sizeof line, "decodes to %dx%d instead of %dx%d", im->nWidth, im->nHeight, f.nWidth, f.nHeight);
        qvn_JpegFree(im);
        return ok ? "" : line;
    }
    case QVN_DATA_PICTURE_BMP: {
        size_t size = 0;
        std::unique_ptr<uint8_t[]> data(qvn_ReadWholeFile(path.c_str(), &size));
        if (!data) return "cannot be read";
        SBmpImage im;
        qvn_eBmpStatus st = qvn_ReadBmp(data.get(), size, &im);
        std::unique_ptr<uint32_t[]> pixels(im.pPixels);
        if (st != qvn_eBmpStatus::Ok) return "BMP reader refuses it";
        std::snprintf(line, sizeof line, "reads as %dx%d instead of %dx%d", im.nWidth, im.nHeight, f.nWidth, f.nHeight);
        return im.nWidth == f.nWidth && im.nHeight == f.nHeight ? "" : line;
    }
    case QVN_DATA_MAP_TGA: {
        size_t size = 0;
        std::unique_ptr<uint8_t[]> data(qvn_ReadWholeFile(path.c_str(), &size));
        std::unique_ptr<uint16_t[]> map(data ? qvn_ReadMapTga(data.get(), size, 16) : nullptr);
        return map ? "" : "TGA reader refuses it";
    }
    case QVN_DATA_SCENE: {
        qvn_cPixelFormat pf = Format565();
        qvn_cTextureCache cache;
        if (!cache.Create(&pf)) return "no memory for a texture cache";
        qvn_cSoftRenderer renderer(nullptr);
        renderer.SetTextureCache(&cache);
        std::unique_ptr<qvn_cScene> scene(new qvn_cScene());
        scene->m_pRenderer = &renderer;
        qvn_cImporter importer;
        return importer.LoadData(path.c_str(), scene.get()) ? "" : "the importer refuses it";
    }
    case QVN_DATA_TRACK: {
        mp3InitTables();
        mp3SetOutput(CountSamples);
        s_nDecodedSamples = 0;
        SMP3Stream* s = mp3Open(path.c_str());
        if (!s) return "the MP3 decoder cannot open it";
        bool stereo = mp3GetSampleRate(s) == 44100 && mp3GetChannels(s) == 2;
        while (mp3DecodeFrame(s) > 0) {
        }
        int bad = mp3GetBadFrames(s);
        mp3Close(s);
        long ms = s_nDecodedSamples * 1000L / 44100;
        std::snprintf(line, sizeof line, "decodes to %ld ms (at least %d wanted), %d bad frames%s", ms, f.nMinDurationMs, bad,
                      stereo ? "" : ", not 44.1 kHz stereo");
        return stereo && bad == 0 && ms >= f.nMinDurationMs ? "" : line;
    }
    }
    return "unknown kind";
}

} // namespace

bool EngineAvailable() { return true; }

bool VerifyWithEngine(const std::string& dir, const std::vector<const qvn_SDataFile*>& files,
                      std::vector<std::string>& problems) {
    qvn_SetFatalHook(ThrowFatal);
    for (const qvn_SDataFile* f : files) {
        std::string path = dir + "/" + qvn_DataFileBaseName(f);
        std::string why;
        try {
            why = CheckFile(path, *f);
        } catch (const std::exception& e) {
            why = std::string("fatal error: ") + e.what();
        }
        if (!why.empty()) problems.push_back(std::string(f->pszName) + ": " + why);
    }
    qvn_SetFatalHook(nullptr);
    return problems.empty();
}

cImage EngineRender(const std::string& path, int frame) {
    cImage out;
    qvn_cPixelFormat pf = Format565();
    qvn_cTextureCache cache;
    if (!cache.Create(&pf)) return out;
    std::vector<uint16_t> pixels(320 * 240, 0);
    qvn_cSoftRenderer renderer(nullptr);
    renderer.SetTarget(pixels.data(), 320, 240, 320, pf);
    renderer.SetTextureCache(&cache);
    std::unique_ptr<qvn_cScene> scene(new qvn_cScene());
    scene->m_pRenderer = &renderer;
    qvn_cImporter importer;
    if (!importer.LoadData(path.c_str(), scene.get())) return out;
    cache.PrepareScene(scene.get());
    scene->m_nFrame = frame;
    scene->Render();
    out = cImage(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            uint16_t p = pixels[(size_t)y * 320 + x];
            // Bit replication, as the capture PNGs do.
            int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
            out.At(x, y) = {((r << 3) | (r >> 2)) / 255.0f, ((g << 2) | (g >> 4)) / 255.0f, ((b << 3) | (b >> 2)) / 255.0f};
        }
    return out;
}

} // namespace mkd
