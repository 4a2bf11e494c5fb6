// The tracks are MPEG-1 Layer III, 44.1 kHz stereo for a reference decoder,
// long enough for their half, and every accent is on time in what our own
// decoder makes of them (which is what the show plays).
#include "datas_Fixture.h"
#include "mkd_Music.h"
#include "qvn_MP3Decoder.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

struct sDecoded {
    long rate = 0;
    int channels = 0;
    int version = -1, layer = 0;
    std::vector<int16_t> pcm; // interleaved
};

// Decodes the whole file without gapless trimming: the stream as a plain
// decoder delivers it, encoder and decoder delays included.
sDecoded Decode(const std::string& path) {
    sDecoded d;
    mpg123_init();
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh) return d;
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO | MPG123_MONO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) == MPG123_OK) {
        int enc = 0;
        mpg123_getformat(mh, &d.rate, &d.channels, &enc);
        std::vector<unsigned char> buf(1 << 16);
        size_t got = 0;
        int r;
        do {
            r = mpg123_read(mh, buf.data(), buf.size(), &got);
            const int16_t* s = reinterpret_cast<const int16_t*>(buf.data());
            d.pcm.insert(d.pcm.end(), s, s + got / 2);
        } while (r == MPG123_OK || r == MPG123_NEW_FORMAT);
        mpg123_frameinfo fi;
        if (mpg123_info(mh, &fi) == MPG123_OK) {
            d.version = fi.version;
            d.layer = fi.layer;
        }
        mpg123_close(mh);
    }
    mpg123_delete(mh);
    return d;
}

// Our decoder's output, interleaved stereo at 16-bit full scale.
std::vector<int16_t> g_Ours;
void CollectOurs(int count, const float* left, const float* right) {
    auto to16 = [](float v) { return static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)); };
    for (int k = 0; k < count; ++k) {
        g_Ours.push_back(to16(left[k]));
        g_Ours.push_back(to16(right ? right[k] : left[k]));
    }
}

std::vector<int16_t> DecodeOurs(const std::string& path) {
    g_Ours.clear();
    mp3InitTables();
    SMP3Stream* stream = mp3Open(path.c_str());
    if (!stream) return {};
    mp3SetOutput(CollectOurs);
    while (mp3DecodeFrame(stream) > 0) {
    }
    mp3Close(stream);
    mp3SetOutput(nullptr);
    return std::move(g_Ours);
}

// Onset near sample c: the first sample within +-40 ms whose high-passed
// amplitude reaches half the largest one in that window. The accents start at
// full strength and the bed under them is quiet and mostly low, so the first
// loud high-frequency sample is the hit's start.
long Onset(const std::vector<float>& hp, long c) {
    const long w = 44100 * 40 / 1000;
    long a = std::max(1L, c - w), b = std::min((long)hp.size() - 1, c + w);
    float peak = 0;
    for (long i = a; i <= b; ++i) peak = std::max(peak, std::fabs(hp[i]));
    for (long i = a; i <= b; ++i)
        if (std::fabs(hp[i]) >= 0.5f * peak) return i;
    return -1;
}

void CheckTrack(const char* name) {
    const qvn_SDataFile* f = qvn_FindDataFile(name);
    ASSERT_NE(f, nullptr);
    const mkd::sTrackPlan* plan = mkd::TrackPlan(qvn_DataFileBaseName(f));
    ASSERT_NE(plan, nullptr);
    std::string path = datas_test::Generated(name);
    ASSERT_FALSE(path.empty());
    sDecoded d = Decode(path);
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.version, MPG123_1_0);
    EXPECT_EQ(d.layer, 3);
    ASSERT_EQ(d.channels, 2);
    EXPECT_GE((long)d.pcm.size() / 2 * 1000L / 44100, f->nMinDurationMs) << name << " too short";

    d.pcm = DecodeOurs(path);
    long frames = (long)d.pcm.size() / 2;
    ASSERT_GE(frames * 1000L / 44100, f->nMinDurationMs) << name << " too short for our decoder";

    std::vector<float> hp(frames, 0.0f);
    for (long i = 1; i < frames; ++i)
        hp[i] = (d.pcm[i * 2] + d.pcm[i * 2 + 1] - d.pcm[i * 2 - 2] - d.pcm[i * 2 - 1]) / 65536.0f;
    long worst = 0;
    for (int k = 0; k < plan->nAccents; ++k) {
        long c = std::lround(plan->pAccentsMs[k] * 44.1);
        long on = Onset(hp, c);
        ASSERT_GE(on, 0) << name << " accent " << plan->pAccentsMs[k];
        EXPECT_LE(std::labs(on - c), 44100 * 5 / 1000) << name << ": accent at " << plan->pAccentsMs[k] << " ms starts at "
                                                       << on / 44.1 << " ms";
        worst = std::max(worst, std::labs(on - c));
    }
    std::printf("%s: %d accents, worst offset %.2f ms\n", name, plan->nAccents, worst / 44.1);
}

} // namespace

TEST(DataTracks, FirstTrackAccentsOnTime) { CheckTrack("datas/fantom.mp3"); }
TEST(DataTracks, SecondTrackAccentsOnTime) { CheckTrack("datas/tarnelle.mp3"); }

// The accents belong where the parts flash: a few anchors of each half's
// programme must be among them (the titles' five beat flashes, the shadow beats).
TEST(DataTracks, AccentListsHoldTheFlashTimes) {
    const mkd::sTrackPlan* a = mkd::TrackPlan("fantom.mp3");
    const mkd::sTrackPlan* b = mkd::TrackPlan("tarnelle.mp3");
    ASSERT_TRUE(a && b);
    auto has = [](const mkd::sTrackPlan* p, int t) { return std::find(p->pAccentsMs, p->pAccentsMs + p->nAccents, t) != p->pAccentsMs + p->nAccents; };
    for (int t : {20990, 21219, 21335, 21560, 21780}) EXPECT_TRUE(has(a, t)) << t;
    for (int t : {12000, 16730, 30592, 35648, 82000, 85000, 99000, 100000, 105000, 107000}) EXPECT_TRUE(has(b, t)) << t;
    for (const mkd::sTrackPlan* p : {a, b}) {
        EXPECT_TRUE(std::is_sorted(p->pAccentsMs, p->pAccentsMs + p->nAccents));
        EXPECT_LT(p->pAccentsMs[p->nAccents - 1], p->nDurationMs);
    }
}

// Synthesis and encoding repeat bit for bit (a short plan keeps this quick; the
// full tracks go through the same code).
TEST(DataTracks, SameSeedGivesTheSameStream) {
    static const int accents[] = {1000, 2500};
    mkd::sTrackPlan plan{"short.mp3", 4000, accents, 2};
    std::vector<int16_t> a = mkd::SynthesizeTrack(plan, 7), b = mkd::SynthesizeTrack(plan, 7);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(mkd::EncodeMp3(a) == mkd::EncodeMp3(b));
    EXPECT_FALSE(mkd::SynthesizeTrack(plan, 8) == a);
}
