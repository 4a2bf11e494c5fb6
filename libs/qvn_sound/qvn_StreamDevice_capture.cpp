// The sound device of capture mode: the ring is consumed at exactly the
// virtual sample rate as the capture clock advances, with the same cursor and
// notifications as a live card, and what it "plays" goes to audio.wav. While
// no ring plays (between tracks) the file gets silence, so sample n of the
// file is always heard at n / rate seconds of capture time. The file keeps the
// first track's rate; a ring at another rate is consumed at its own rate and
// converted on its way into the file.
#include "qvn_StreamDevice_capture.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_Resampler.h"

namespace {

void PutLE(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// One audio.wav per capture run, shared by the devices of both tracks.
class cWavSink {
public:
    ~cWavSink() { Close(); }
    bool Open(const std::string& path, int rate) {
        if (m_pFile) return true;
        m_pFile = std::fopen(path.c_str(), "wb");
        if (!m_pFile) return false;
        m_nRate = rate;
        m_nDataBytes = 0;
        m_nDroppedBytes = 0;
        WriteHeader();
        if (g_pCapture && g_pCapture->Sink()) g_pCapture->Sink()->OnAudioOpened(rate);
        return true;
    }
    void Close() {
        if (!m_pFile) return;
        WriteHeader();
        std::fclose(m_pFile);
        m_pFile = nullptr;
    }
    void Write(const uint8_t* bytes, size_t count) {
        if (!m_pFile || count == 0) return;
        // Before the run's start point the show plays unheard: the ring is
        // consumed as usual, so the music is in step when the run starts.
        if (g_pCapture && !g_pCapture->RunStarted()) {
            m_nDroppedBytes += count;
            return;
        }
        std::fwrite(bytes, 1, count, m_pFile);
        m_nDataBytes += static_cast<uint32_t>(count);
        if (g_pCapture && g_pCapture->Sink()) g_pCapture->Sink()->OnRunAudio(bytes, count);
    }
    // Keeps the header's sizes true after every frame, so the file is valid
    // however the run ends.
    void Sync() {
        if (!m_pFile) return;
        WriteHeader();
        std::fseek(m_pFile, 0, SEEK_END);
        std::fflush(m_pFile);
    }
    int Rate() const { return m_nRate; }
    bool IsOpen() const { return m_pFile != nullptr; }
    // Samples the file has passed, written or dropped before the run started.
    uint64_t SamplesPassed() const { return (m_nDataBytes + m_nDroppedBytes) / 4; }

private:
    void WriteHeader() {
        uint8_t h[44];
        std::memcpy(h, "RIFF", 4);
        PutLE(h + 4, 36 + m_nDataBytes, 4);
        std::memcpy(h + 8, "WAVEfmt ", 8);
        PutLE(h + 16, 16, 4);
        PutLE(h + 20, 1, 2);  // PCM
        PutLE(h + 22, 2, 2);  // stereo
        PutLE(h + 24, static_cast<uint32_t>(m_nRate), 4);
        PutLE(h + 28, static_cast<uint32_t>(m_nRate) * 4, 4);
        PutLE(h + 32, 4, 2);
        PutLE(h + 34, 16, 2);
        std::memcpy(h + 36, "data", 4);
        PutLE(h + 40, m_nDataBytes, 4);
        std::fseek(m_pFile, 0, SEEK_SET);
        std::fwrite(h, 1, sizeof h, m_pFile);
    }
    FILE* m_pFile = nullptr;
    int m_nRate = 44100;
    uint32_t m_nDataBytes = 0;
    uint64_t m_nDroppedBytes = 0;
};

cWavSink g_Wav;
qvn_cCaptureStreamDevice* g_pPlaying = nullptr;

// A ring whose rate is not the file's: it is consumed on its own clock
// (sample k of the ring at k / its rate after Play) and the converted samples
// wait in a queue for the file. The queue starts with 1 ms of silence, more
// than the filter keeps back, so the file never waits for the filter in
// mid-track: the track is heard about 1 ms late, once, instead of clicking
// wherever the two clocks' roundings disagree.
class cRateBridge {
public:
    // The ring starts to be served (it has been playing since its PlayMs).
    void Start(const qvn_cCaptureStreamDevice* device) {
        Finish();
        m_pDevice = device;
        m_nPlayMs = device->PlayMs();
        m_nRate = device->Rate();
        const int rate = m_nRate;
        m_nConsumed = 0;
        // Room for a quarter of a second at once, so the frames that follow
        // allocate nothing.
        m_Ring.reserve(static_cast<size_t>(rate) + 4096);
        m_Queue.reserve(static_cast<size_t>(g_Wav.Rate()) / 2 + 4096);
        // A ring at the file's rate after a converted one (a viewer's seek
        // back into the first half) goes in unchanged behind the queue.
        m_bPassThrough = rate == g_Wav.Rate();
        if (m_bPassThrough) return;
        std::string why;
        m_pResampler = qvn_cResampler::Create(rate, g_Wav.Rate(), &why);
        if (!m_pResampler) {
            LogMessage("capture: audio.wav is at %d Hz and %s: the %d Hz track is left out of it (silence).\n",
                       g_Wav.Rate(), why.c_str(), rate);
            return;
        }
        const int leadSamples = g_Wav.Rate() / 1000;
        m_Queue.insert(m_Queue.end(), static_cast<size_t>(leadSamples) * 2, 0);
    }
    bool Serves(const qvn_cCaptureStreamDevice* device) const { return m_pDevice == device; }

    // Takes the ring's samples up to capture time ms into the queue.
    void Feed(qvn_cCaptureStreamDevice* device, uint32_t ms) {
        if (ms < m_nPlayMs) return;
        const uint64_t target = static_cast<uint64_t>(ms - m_nPlayMs) * static_cast<uint64_t>(m_nRate) / 1000u;
        if (target <= m_nConsumed) return;
        m_Ring.clear();
        device->Consume(
            target - m_nConsumed,
            [](const uint8_t* bytes, size_t n, void* ring) {
                std::vector<uint8_t>* v = static_cast<std::vector<uint8_t>*>(ring);
                v->insert(v->end(), bytes, bytes + n);
            },
            &m_Ring);
        m_nConsumed = target;
        if (m_bPassThrough) {
            const int16_t* samples = reinterpret_cast<const int16_t*>(m_Ring.data());
            m_Queue.insert(m_Queue.end(), samples, samples + m_Ring.size() / 2);
        } else if (m_pResampler)
            m_pResampler->Push(reinterpret_cast<const int16_t*>(m_Ring.data()), static_cast<int>(m_Ring.size() / 4),
                               &m_Queue);
    }

    // The ring has stopped: what the filter still holds joins the queue.
    void Finish() {
        if (m_pResampler) m_pResampler->Flush(&m_Queue);
        m_pResampler.reset();
        m_pDevice = nullptr;
    }

    // Writes `count` samples to the file: the queue first, silence after.
    void Drain(uint64_t count, cWavSink* wav) {
        const uint64_t queued = m_Queue.size() / 2 - m_nQueueAt / 2;
        const uint64_t fromQueue = count < queued ? count : queued;
        if (fromQueue > 0) {
            wav->Write(reinterpret_cast<const uint8_t*>(m_Queue.data() + m_nQueueAt), static_cast<size_t>(fromQueue * 4));
            m_nQueueAt += static_cast<size_t>(fromQueue * 2);
        }
        if (m_nQueueAt == m_Queue.size()) {
            m_Queue.clear();
            m_nQueueAt = 0;
        } else if (m_nQueueAt > 65536) {
            m_Queue.erase(m_Queue.begin(), m_Queue.begin() + static_cast<std::ptrdiff_t>(m_nQueueAt));
            m_nQueueAt = 0;
        }
        static const uint8_t kSilence[4096] = {};
        for (uint64_t left = count - fromQueue; left > 0;) {
            const uint64_t n = left < sizeof kSilence / 4 ? left : sizeof kSilence / 4;
            wav->Write(kSilence, static_cast<size_t>(n * 4));
            left -= n;
        }
    }
    bool Empty() const { return !m_pDevice && m_nQueueAt == m_Queue.size(); }

private:
    const qvn_cCaptureStreamDevice* m_pDevice = nullptr;
    std::unique_ptr<qvn_cResampler> m_pResampler;
    uint32_t m_nPlayMs = 0;
    int m_nRate = 0;
    bool m_bPassThrough = false;
    uint64_t m_nConsumed = 0;
    std::vector<uint8_t> m_Ring;
    std::vector<int16_t> m_Queue;
    size_t m_nQueueAt = 0;
};

cRateBridge g_Bridge;

// Called by the capture clock after every frame.
void OnClock(uint32_t ms, void*) {
    if (!g_Wav.IsOpen()) return;
    uint64_t target = static_cast<uint64_t>(ms) * static_cast<uint64_t>(g_Wav.Rate()) / 1000u;
    uint64_t have = g_Wav.SamplesPassed() + qvn_cCaptureStreamDevice::s_nSilenceOffset;
    if (target > have) {
        uint64_t count = target - have;
        if (g_pPlaying && g_pPlaying->Rate() == g_Wav.Rate() && g_Bridge.Empty()) {
            // The file's own rate: the ring's samples go in as they are.
            g_pPlaying->Consume(
                count, [](const uint8_t* bytes, size_t n, void* wav) { static_cast<cWavSink*>(wav)->Write(bytes, n); },
                &g_Wav);
        } else {
            if (g_pPlaying) {
                if (!g_Bridge.Serves(g_pPlaying)) g_Bridge.Start(g_pPlaying);
                g_Bridge.Feed(g_pPlaying, ms);
            }
            g_Bridge.Drain(count, &g_Wav);
        }
    }
    g_Wav.Sync();
}

}  // namespace

uint64_t qvn_cCaptureStreamDevice::s_nSilenceOffset = 0;

void qvn_cCaptureStreamDevice::Consume(uint64_t samples, WriteFn write, void* context) {
    int ringBytes = static_cast<int>(m_Ring.size());
    while (samples > 0) {
        // Up to the next notification position or the ring's end.
        int next = ringBytes;
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_aNotify[i] > m_nCursor && m_aNotify[i] < next) next = m_aNotify[i];
        uint64_t run = static_cast<uint64_t>(next - m_nCursor) / 4;
        if (run > samples) run = samples;
        if (run > 0) write(m_Ring.data() + m_nCursor, static_cast<size_t>(run * 4), context);
        m_nCursor += static_cast<int>(run * 4);
        samples -= run;
        if (m_nCursor >= ringBytes) m_nCursor = 0;
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_aNotify[i] == m_nCursor && run > 0) m_bPending[i] = true;
    }
}

qvn_cCaptureStreamDevice::~qvn_cCaptureStreamDevice() { ReleaseBuffer(); }

bool qvn_cCaptureStreamDevice::Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) {
    if (!g_pCapture || sampleRate <= 0 || ringBytes <= 0 || (ringBytes & 3) || notifyCount < 0 || notifyCount > 4)
        return false;
    if (!g_Wav.IsOpen()) {
        if (!g_Wav.Open(g_pCapture->Dir() + "/audio.wav", sampleRate)) return false;
        // The file starts now: earlier capture time is not in it.
        s_nSilenceOffset = static_cast<uint64_t>(g_pCapture->VirtualMs()) * static_cast<uint64_t>(sampleRate) / 1000u;
        g_pCapture->SetClockListener(OnClock, nullptr);
    }
    m_Ring.assign(static_cast<size_t>(ringBytes), 0);
    m_nNotifyCount = notifyCount;
    for (int i = 0; i < notifyCount; ++i) {
        m_aNotify[i] = notifyOffsets[i];
        m_bPending[i] = false;
    }
    m_nCursor = 0;
    m_nRate = sampleRate;
    return true;
}

void qvn_cCaptureStreamDevice::Play() {
    if (m_Ring.empty()) return;
    m_nCursor = 0;
    // The cursor sits on the first quarter's start the moment play begins.
    for (int i = 0; i < m_nNotifyCount; ++i)
        if (m_aNotify[i] == 0) m_bPending[i] = true;
    m_nPlayMs = g_pCapture ? g_pCapture->VirtualMs() : 0;
    g_pPlaying = this;
}

int qvn_cCaptureStreamDevice::PollNotification() {
    for (int i = 0; i < m_nNotifyCount; ++i) {
        if (m_bPending[i]) {
            m_bPending[i] = false;
            return i;
        }
    }
    return -1;
}

bool qvn_cCaptureStreamDevice::Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) {
    int size = static_cast<int>(m_Ring.size());
    if (size == 0 || offset < 0 || offset >= size || bytes <= 0 || bytes > size) return false;
    int first = bytes < size - offset ? bytes : size - offset;
    *region1 = m_Ring.data() + offset;
    *bytes1 = first;
    *region2 = first < bytes ? m_Ring.data() : nullptr;
    *bytes2 = bytes - first;
    return true;
}

void qvn_cCaptureStreamDevice::Unlock(void*, int, void*, int) {}

void qvn_cCaptureStreamDevice::ReleaseBuffer() {
    if (g_pPlaying == this) g_pPlaying = nullptr;
    if (g_Bridge.Serves(this)) g_Bridge.Finish();
    m_Ring.clear();
    m_Ring.shrink_to_fit();
    for (bool& p : m_bPending) p = false;
}

bool qvn_cCaptureStreamDevice::HasBuffer() const { return !m_Ring.empty(); }

void qvn_CloseCaptureAudio() { g_Wav.Close(); }
