#include "mkd_Music.h"

#include "mkd_Image.h"

#include <algorithm>
#include <cmath>
#include <lame/lame.h>

namespace mkd {

namespace {

const float kTau = 6.2831853f;

// Hits of the first track: the title words and their blurs, the logo switch,
// the five beat flashes, then the flashes and scene changes of every part.
const int s_aFantomAccents[] = {
    339,    1800,   2137,   3600,   3927,   5400,   5748,   7150,   7453,   14300,  14678,  20990,
    21219,  21335,  21560,  21780,  24000,  26912,  29611,  31425,  36620,  38000,  40350,  41000,
    43430,  49380,  54380,  57625,  64000,  69565,  72565,  79760,  87209,  94440,  101300, 102000,
    104000, 107000, 108500, 110144, 112144, 118000, 126550, 137200, 140600, 144800, 149000, 150800,
    151000, 163000};
// Hits of the second track: photo and tunnel changes, flashes, the metaballs'
// arrival, the greetings every two seconds, the shadow beats, and the joys windows.
const int s_aTarnelleAccents[] = {
    6000,   12000,  16730,  30592,  35648,  38000,  39450,  46000,  47410,  55000,  57000,  59000,
    61000,  63000,  65000,  67000,  69000,  71000,  73000,  75000,  77000,  79000,  82000,  82300,
    85000,  90000,  95000,  99000,  100000, 105000, 107000, 114000, 116200, 133000, 136000, 139000,
    140000, 145000, 150000, 153000, 155000, 168000};

const sTrackPlan s_aPlans[] = {
    {"fantom.mp3", 167000, s_aFantomAccents, (int)(sizeof(s_aFantomAccents) / sizeof(int))},
    {"tarnelle.mp3", 272000, s_aTarnelleAccents, (int)(sizeof(s_aTarnelleAccents) / sizeof(int))},
};

float NoteHz(float midi) { return 440.0f * std::pow(2.0f, (midi - 69.0f) / 12.0f); }

struct cMix {
    std::vector<float> l, r;
    explicit cMix(size_t n) : l(n, 0.0f), r(n, 0.0f) {}
    size_t N() const { return l.size(); }
    void Put(size_t i, float v, float pan) { // pan -1 left .. 1 right
        if (i >= l.size()) return;
        l[i] += v * (0.5f - 0.5f * pan) * 1.4f;
        r[i] += v * (0.5f + 0.5f * pan) * 1.4f;
    }
};

void Kick(cMix& m, size_t at, float amp) {
    float ph = 0;
    for (size_t k = 0; k < 20000; ++k) {
        float t = k / (float)kSampleRate;
        float f = 45 + 90 * std::exp(-t * 30);
        ph += kTau * f / kSampleRate;
        m.Put(at + k, std::sin(ph) * std::exp(-t * 7) * amp, 0);
    }
}

void Snare(cMix& m, size_t at, float amp, cRng& rng) {
    float prev = 0;
    for (size_t k = 0; k < 9000; ++k) {
        float t = k / (float)kSampleRate;
        float n = rng.Range(-1, 1), hp = n - prev;
        prev = n;
        float v = (hp * 0.6f * std::exp(-t * 22) + std::sin(kTau * 185 * t) * std::exp(-t * 35)) * amp;
        m.Put(at + k, v, 0.1f);
    }
}

void Hat(cMix& m, size_t at, float amp, float pan, cRng& rng) {
    float prev = 0;
    for (size_t k = 0; k < 3000; ++k) {
        float t = k / (float)kSampleRate;
        float n = rng.Range(-1, 1), hp = n - prev;
        prev = n;
        m.Put(at + k, hp * std::exp(-t * 90) * amp, pan);
    }
}

// The accent: an instant-attack crash (bright noise, a fast and a slow decay)
// over a short low hit, so its start is sharp in the decoded stream.
void Accent(cMix& m, size_t at, cRng& rng) {
    float prev = 0;
    size_t len = (size_t)(kSampleRate * 1.6f);
    for (size_t k = 0; k < len; ++k) {
        float t = k / (float)kSampleRate;
        float n = rng.Range(-1, 1), hp = (n - prev) * 0.5f;
        prev = n;
        float env = 0.55f * std::exp(-t / 0.03f) + 0.22f * std::exp(-t / 0.35f);
        float hit = std::sin(kTau * 62 * t + 4 * std::exp(-t * 40)) * std::exp(-t * 12) * 0.3f;
        float v = hp * env * 1.6f + hit;
        float pan = 0.3f * std::sin(t * 9);
        m.Put(at + k, v, pan);
    }
}

// A pad chord: two detuned saws per note through a one-pole low-pass whose
// cut-off breathes slowly; attack and release shape the chord.
void Pad(cMix& m, size_t at, size_t len, const float* notes, int nNotes, float amp, float bright, float pan) {
    size_t rel = kSampleRate / 2;
    for (int i = 0; i < nNotes; ++i) {
        float f = NoteHz(notes[i]);
        float p1 = 0, p2 = 0.3f, lp = 0;
        float cut = 0;
        const float d1 = f * 1.003f / kSampleRate, d2 = f * 0.997f / kSampleRate;
        for (size_t k = 0; k < len + rel; ++k) {
            float t = k / (float)kSampleRate;
            float env = std::min(1.0f, t / 0.6f) * (k < len ? 1.0f : 1.0f - (float)(k - len) / rel);
            p1 += d1;
            p2 += d2;
            if (p1 >= 1) p1 -= 1;
            if (p2 >= 1) p2 -= 1;
            float saw = (p1 * 2 - 1) + (p2 * 2 - 1);
            if ((k & 63) == 0) cut = bright * (0.6f + 0.4f * std::sin(t * 0.7f + i)); // the breath is slow
            lp += (saw - lp) * cut;
            m.Put(at + k, lp * env * amp, pan * (i - 1));
        }
    }
}

void Bass(cMix& m, size_t at, size_t len, float note, float amp, float bright) {
    float f = NoteHz(note), ph = 0, lp = 0;
    for (size_t k = 0; k < len; ++k) {
        float t = k / (float)kSampleRate;
        ph += f / kSampleRate;
        ph -= std::floor(ph);
        float sq = ph < 0.5f ? 1.0f : -1.0f;
        float env = std::exp(-t * 3) * std::min(1.0f, t * 400) * std::min(1.0f, (len - k) / 400.0f);
        lp += (sq - lp) * bright * (0.3f + 0.7f * std::exp(-t * 8));
        m.Put(at + k, lp * env * amp, 0);
    }
}

void Lead(cMix& m, size_t at, size_t len, float note, float amp, bool pluck, float pan) {
    float f = NoteHz(note), ph = 0;
    for (size_t k = 0; k < len; ++k) {
        float t = k / (float)kSampleRate;
        float vib = pluck ? 1.0f : 1.0f + 0.004f * std::sin(kTau * 5.5f * t) * std::min(1.0f, t * 3);
        ph += f * vib / kSampleRate;
        ph -= std::floor(ph);
        float tri = 4 * std::fabs(ph - 0.5f) - 1;
        float sq = ph < 0.5f ? 0.5f : -0.5f;
        float v = pluck ? (tri * 0.6f + sq * 0.4f) * std::exp(-t * 6) : (tri * 0.8f + sq * 0.2f);
        float env = std::min(1.0f, t * 200) * std::min(1.0f, (len - k) / 800.0f);
        m.Put(at + k, v * env * amp, pan);
    }
}

struct sMood {
    float bpm;
    int root;               // MIDI note of the key's root
    const int* scale;       // 7 semitone steps
    const int (*chords)[3]; // scale degrees of each chord's notes
    int nChords;
    int barsPerChord;
    float padBright, bassBright;
    bool sixteenthHats, pluckLead;
};

const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
const int kLydian[7] = {0, 2, 4, 6, 7, 9, 11};
const int kDarkChords[][3] = {{0, 2, 4}, {5, 7, 9}, {2, 4, 6}, {6, 8, 10}, {0, 2, 4}, {3, 5, 7}, {4, 6, 8}, {0, 2, 4}};
const int kBrightChords[][3] = {{0, 2, 4}, {4, 6, 8}, {5, 7, 9}, {3, 5, 7}};

float Degree(const sMood& md, int deg, int octave) {
    int o = deg >= 0 ? deg / 7 : -((6 - deg) / 7);
    int d = deg - o * 7;
    return (float)(md.root + 12 * (o + octave) + md.scale[d]);
}

// Section intensity at time t (0 quiet .. 3 full), per track.
int Intensity(const sTrackPlan& p, float t) {
    if (p.pAccentsMs == s_aFantomAccents) {
        if (t < 21.8f) return 1;      // titles: pads and bass
        if (t < 72.5f) return 2;      // pillars and digits: drums
        if (t < 101.3f) return 3;     // credits: lead
        if (t < 108.5f) return 2;
        if (t < 137.2f) return 3;     // tube and travel
        if (t < 151.0f) return 2;
        return 0;                     // the fade to black
    }
    if (t < 16.7f) return 1;          // photos cross-fading
    if (t < 82.3f) return 3;          // tunnels and metaballs
    if (t < 114.0f) return 2;         // shadow
    if (t < 133.0f) return 0;         // gel: calm
    if (t < 168.0f) return 3;         // joys
    if (t < 262.0f) return 2;         // the end scroller: drums and a soft lead
    return 0;
}

} // namespace

const sTrackPlan* TrackPlan(const std::string& baseName) {
    for (const sTrackPlan& p : s_aPlans)
        if (baseName == p.pszName) return &p;
    return nullptr;
}

std::vector<int16_t> SynthesizeTrack(const sTrackPlan& plan, uint64_t seed) {
    const bool dark = plan.pAccentsMs == s_aFantomAccents;
    sMood md = dark ? sMood{92, 57, kMinor, kDarkChords, 8, 1, 0.02f, 0.05f, false, false}
                    : sMood{124, 62, kLydian, kBrightChords, 4, 2, 0.05f, 0.1f, true, true};
    size_t total = (size_t)((int64_t)plan.nDurationMs * kSampleRate / 1000) + kSampleRate; // a second of tail
    cMix m(total);
    cRng rng(seed);
    const double beat = 60.0 / md.bpm;
    const int nBeats = (int)(plan.nDurationMs / 1000.0 / beat) + 1;

    // Drums keep clear of every accent, so each hit starts from a quiet bed.
    auto nearAccent = [&](double t) {
        for (int i = 0; i < plan.nAccents; ++i) {
            double a = plan.pAccentsMs[i] / 1000.0;
            if (t > a - 0.12 && t < a + 0.08) return true;
        }
        return false;
    };
    int deg = 4; // the lead's current scale degree
    for (int b = 0; b < nBeats; ++b) {
        double t = b * beat;
        int inten = Intensity(plan, (float)t);
        size_t at = (size_t)(t * kSampleRate);
        int bar = b / 4, chord = (bar / md.barsPerChord) % md.nChords;
        // Pads: one chord per chord length, always (quiet sections keep them).
        if (b % (4 * md.barsPerChord) == 0) {
            float notes[3];
            for (int k = 0; k < 3; ++k) notes[k] = Degree(md, md.chords[chord][k], 0);
            size_t len = (size_t)(4 * md.barsPerChord * beat * kSampleRate);
            float amp = inten == 0 ? 0.05f : 0.07f;
            Pad(m, at, len, notes, 3, amp, md.padBright * (inten >= 2 ? 1.5f : 1.0f), 0.5f);
        }
        // Bass in eighths on the chord's root.
        if (inten >= 1)
            for (int e = 0; e < 2; ++e) {
                float note = Degree(md, md.chords[chord][0], -2) + ((e == 1 && (b & 1)) ? 12 : 0);
                Bass(m, (size_t)((t + e * beat / 2) * kSampleRate), (size_t)(beat / 2 * kSampleRate * 0.9), note, 0.11f, md.bassBright);
            }
        if (inten >= 2) {
            if ((b % 2 == 0) && !nearAccent(t)) Kick(m, at, 0.32f);
            if ((b % 2 == 1) && !nearAccent(t)) Snare(m, at, 0.2f, rng);
            int hats = md.sixteenthHats ? 4 : 2;
            for (int h = 0; h < hats; ++h) {
                double th = t + h * beat / hats;
                if (!nearAccent(th)) Hat(m, (size_t)(th * kSampleRate), h % 2 ? 0.03f : 0.05f, 0.4f, rng);
            }
        } else if (inten == 1 && b % 4 == 0 && !nearAccent(t)) {
            Kick(m, at, 0.18f); // a heartbeat under the quiet parts
        }
        // Lead: a random walk on the scale, phrase by phrase.
        // The lead also sings softly over the end scroller's calmer bed.
        bool lead = inten >= 3 || (!dark && t >= 168.0 && t < 250.0);
        if (lead) {
            int steps = md.pluckLead ? 4 : 2;
            for (int s = 0; s < steps; ++s) {
                if (rng.Unit() < (md.pluckLead ? 0.25f : 0.35f)) continue;
                deg += rng.Int(5) - 2;
                deg = std::min(std::max(deg, 0), 11);
                double tn = t + s * beat / steps;
                Lead(m, (size_t)(tn * kSampleRate), (size_t)(beat / steps * kSampleRate * (md.pluckLead ? 1.8 : 0.95)),
                     Degree(md, deg, 1), inten >= 3 ? 0.06f : 0.045f, md.pluckLead, rng.Range(-0.5f, 0.5f));
            }
        }
    }
    for (int i = 0; i < plan.nAccents; ++i) {
        size_t at = (size_t)std::llround(plan.pAccentsMs[i] * (kSampleRate / 1000.0));
        Accent(m, at, rng);
    }
    // Fade the last two seconds of music, then a soft limiter above 0.8.
    size_t fadeFrom = (size_t)((int64_t)(plan.nDurationMs - 2000) * kSampleRate / 1000);
    std::vector<int16_t> pcm(total * 2);
    for (size_t i = 0; i < total; ++i) {
        float g = i < fadeFrom ? 1.0f : std::max(0.0f, 1.0f - (float)(i - fadeFrom) / (2 * kSampleRate));
        for (int c = 0; c < 2; ++c) {
            float v = (c ? m.r[i] : m.l[i]) * g;
            float a = std::fabs(v);
            if (a > 0.8f) v = (v > 0 ? 1 : -1) * (0.8f + 0.2f * std::tanh((a - 0.8f) / 0.2f));
            pcm[i * 2 + c] = (int16_t)std::lround(v * 32000.0f);
        }
    }
    return pcm;
}

std::vector<uint8_t> EncodeMp3(const std::vector<int16_t>& pcm) {
    lame_global_flags* gf = lame_init();
    lame_set_num_channels(gf, 2);
    lame_set_in_samplerate(gf, kSampleRate);
    lame_set_out_samplerate(gf, kSampleRate);
    lame_set_brate(gf, 160);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_quality(gf, 7); // fast psychoacoustics: the data set is made on every fresh checkout
    lame_set_bWriteVbrTag(gf, 0); // no info frame: every frame of the file is music
    lame_init_params(gf);
    // Shift the input earlier by the whole codec delay so that decoded sample n
    // is synthesised sample n.
    size_t skip = (size_t)(lame_get_encoder_delay(gf) + kDecoderDelaySamples);
    size_t frames = pcm.size() / 2;
    std::vector<int16_t> shifted(pcm.begin() + (ptrdiff_t)std::min(skip, frames) * 2, pcm.end());
    shifted.resize(pcm.size(), 0);
    std::vector<uint8_t> out;
    std::vector<unsigned char> buf(1 << 17);
    const size_t chunk = 8192;
    for (size_t at = 0; at < frames; at += chunk) {
        int n = (int)std::min(chunk, frames - at);
        int got = lame_encode_buffer_interleaved(gf, shifted.data() + at * 2, n, buf.data(), (int)buf.size());
        if (got > 0) out.insert(out.end(), buf.begin(), buf.begin() + got);
    }
    int got = lame_encode_flush(gf, buf.data(), (int)buf.size());
    if (got > 0) out.insert(out.end(), buf.begin(), buf.begin() + got);
    lame_close(gf);
    return out;
}

} // namespace mkd
