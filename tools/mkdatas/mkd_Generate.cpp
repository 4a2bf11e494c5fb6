#include "mkd_Generate.h"

#include "mkd_EngineCheck.h"
#include "mkd_Music.h"
#include "mkd_Pictures.h"
#include "mkd_Preview.h"
#include "mkd_Scenes.h"
#include "mkd_Text.h"
#include "mkd_Writers.h"
#include "qvn_Png.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>

namespace mkd {

namespace {

bool Wanted(const sOptions& opt, const qvn_SDataFile& f) {
    if (opt.only.empty()) return true;
    for (const std::string& n : opt.only)
        if (n == f.pszName || n == qvn_DataFileBaseName(&f)) return true;
    return false;
}

void ContactSheet(const std::string& path, const std::vector<std::pair<std::string, cImage>>& items, std::string& err) {
    const int cellW = 160, cellH = 120, labelH = 14, cols = 8;
    int rows = ((int)items.size() + cols - 1) / cols;
    cImage sheet(cols * cellW, rows * (cellH + labelH), {0.12f, 0.12f, 0.14f});
    for (size_t i = 0; i < items.size(); ++i) {
        const cImage& im = items[i].second;
        int cx = (int)(i % cols) * cellW, cy = (int)(i / cols) * (cellH + labelH);
        float k = std::min((float)(cellW - 4) / im.W(), (float)(cellH - 4) / im.H());
        int w = std::max(1, (int)(im.W() * k)), h = std::max(1, (int)(im.H() * k));
        // Scale down by area averaging so thin text lines stay visible.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int x0 = x * im.W() / w, x1 = std::max(x0 + 1, (x + 1) * im.W() / w);
                int y0 = y * im.H() / h, y1 = std::max(y0 + 1, (y + 1) * im.H() / h);
                sRGB s{0, 0, 0};
                for (int yy = y0; yy < y1; ++yy)
                    for (int xx = x0; xx < x1; ++xx) {
                        const sRGB& p = im.At(xx, yy);
                        s = {s.r + std::min(1.0f, std::max(0.0f, p.r)), s.g + std::min(1.0f, std::max(0.0f, p.g)),
                             s.b + std::min(1.0f, std::max(0.0f, p.b))};
                    }
                sheet.At(cx + (cellW - w) / 2 + x, cy + (cellH - h) / 2 + y) = Scale(s, 1.0f / ((x1 - x0) * (y1 - y0)));
            }
        char label[96];
        std::snprintf(label, sizeof label, "%s %dx%d", items[i].first.c_str(), im.W(), im.H());
        DrawTextInBand(sheet, label, FONT_SANS, 10, cx + cellW * 0.5f, cy + cellH, cy + cellH + labelH, {0.9f, 0.9f, 0.8f});
    }
    std::vector<uint8_t> rgb = sheet.ToRGB8();
    std::vector<uint32_t> px(rgb.size() / 3);
    for (size_t i = 0; i < px.size(); ++i) px[i] = ((uint32_t)rgb[i * 3] << 16) | ((uint32_t)rgb[i * 3 + 1] << 8) | rgb[i * 3 + 2];
    if (!qvn_WritePngRGB32(path.c_str(), px.data(), sheet.W(), sheet.H(), sheet.W())) err = "cannot write " + path;
}

} // namespace

bool GenerateFile(const qvn_SDataFile& file, uint64_t seed, const std::string& path, cImage* preview) {
    const std::string base = qvn_DataFileBaseName(&file);
    const uint64_t fileSeed = HashName(base, seed);
    switch (file.eKind) {
    case QVN_DATA_PICTURE_JPG:
    case QVN_DATA_PICTURE_BMP: {
        cImage im;
        if (!MakePicture(base, file.nWidth, file.nHeight, fileSeed, im)) return false;
        // Chroma-keyed pictures get a higher quality so the black around them stays black.
        if (preview) *preview = im;
        return WriteFile(path, file.eKind == QVN_DATA_PICTURE_BMP ? EncodeBmp24(im) : EncodeJpeg(im, base == "justry.jpg" ? 96 : 90));
    }
    case QVN_DATA_MAP_TGA: {
        cImage im = MakeEnvironmentMap();
        if (preview) *preview = im;
        return WriteFile(path, EncodeTga555(im));
    }
    case QVN_DATA_SCENE: {
        sScene s;
        if (!MakeScene(base, fileSeed, s)) return false;
        if (!WriteQvn(path, s)) return false;
        if (preview) {
            // The engine's own frame when it is built in, else the generator's sketch.
            *preview = EngineRender(path, 0);
            if (preview->W() == 0) *preview = RenderPreview(s, 0);
        }
        return true;
    }
    case QVN_DATA_TRACK: {
        const sTrackPlan* plan = TrackPlan(base);
        if (!plan) return false;
        if (preview) *preview = cImage();
        return WriteFile(path, EncodeMp3(SynthesizeTrack(*plan, fileSeed)));
    }
    }
    return false;
}

bool Generate(const sOptions& opt, std::string& err) {
    if (!FontsAvailable()) {
        err = "no DejaVu fonts (install fonts-dejavu-core)";
        return false;
    }
    int count = 0;
    const qvn_SDataFile* files = qvn_GetDataFiles(&count);
    std::vector<std::pair<std::string, cImage>> sheet;
    std::mutex mutex;
    std::string firstError;
    int wanted = 0, done = 0;
    for (int i = 0; i < count; ++i) wanted += Wanted(opt, files[i]);
    auto make = [&](const qvn_SDataFile& f) {
        cImage preview;
        std::string path = opt.outDir + "/" + qvn_DataFileBaseName(&f);
        bool ok = GenerateFile(f, opt.seed, path, opt.contactSheet.empty() ? nullptr : &preview);
        std::lock_guard<std::mutex> lock(mutex);
        if (!ok && firstError.empty()) firstError = "cannot make " + path;
        if (opt.verbose) std::printf("%s\n", path.c_str());
        ++done;
        if (opt.progress) opt.progress(done, wanted);
        if (ok && preview.W() > 0) sheet.emplace_back(qvn_DataFileBaseName(&f), std::move(preview));
    };
    // The tracks take longest: each encodes on a thread of its own while the
    // pictures and scenes are made on this one.
    std::vector<std::thread> workers;
    for (int i = 0; i < count; ++i)
        if (files[i].eKind == QVN_DATA_TRACK && Wanted(opt, files[i])) workers.emplace_back(make, std::cref(files[i]));
    for (int i = 0; i < count; ++i)
        if (files[i].eKind != QVN_DATA_TRACK && Wanted(opt, files[i])) make(files[i]);
    for (std::thread& t : workers) t.join();
    if (!firstError.empty()) {
        err = firstError;
        return false;
    }
    if (opt.verify && EngineAvailable()) {
        std::vector<const qvn_SDataFile*> made;
        for (int i = 0; i < count; ++i)
            if (Wanted(opt, files[i])) made.push_back(&files[i]);
        std::vector<std::string> problems;
        if (!VerifyWithEngine(opt.outDir, made, problems)) {
            err = "the engine's readers reject what was written:";
            for (const std::string& p : problems) err += "\n  " + p;
            return false;
        }
        if (opt.verbose) std::printf("read back with the engine's readers: %zu files\n", made.size());
    }
    if (!opt.contactSheet.empty()) {
        // Pictures first in table order, then the scenes, whatever order the threads finished in.
        std::stable_sort(sheet.begin(), sheet.end(), [&](const auto& a, const auto& b) {
            auto rank = [&](const std::string& n) {
                for (int i = 0; i < count; ++i)
                    if (n == qvn_DataFileBaseName(&files[i])) return i;
                return count;
            };
            return rank(a.first) < rank(b.first);
        });
        ContactSheet(opt.contactSheet, sheet, err);
        if (!err.empty()) return false;
    }
    return true;
}

} // namespace mkd
