// The sound device of capture mode: the ring is consumed at exactly the
// virtual sample rate as the capture clock advances, with the same cursor and
// notifications as a live card, and what it "plays" goes to audio.wav. While
// no ring plays (between tracks) the file gets silence, so sample n of the
// file is always heard at n / rate seconds of capture time.
#include "qvn_StreamDevice_capture.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qvn_Capture.h"

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

// Called by the capture clock after every frame.
void OnClock(uint32_t ms, void*) {
    if (!g_Wav.IsOpen()) return;
    uint64_t target = static_cast<uint64_t>(ms) * static_cast<uint64_t>(g_Wav.Rate()) / 1000u;
    uint64_t have = g_Wav.SamplesPassed() + qvn_cCaptureStreamDevice::s_nSilenceOffset;
    if (target > have) {
        uint64_t count = target - have;
        if (g_pPlaying) {
            g_pPlaying->Consume(count, &g_Wav);
        } else {
            static const uint8_t kSilence[4096] = {};
            while (count > 0) {
                uint64_t n = count < sizeof kSilence / 4 ? count : sizeof kSilence / 4;
                g_Wav.Write(kSilence, static_cast<size_t>(n * 4));
                count -= n;
            }
        }
    }
    g_Wav.Sync();
}

}  // namespace

uint64_t qvn_cCaptureStreamDevice::s_nSilenceOffset = 0;

void qvn_cCaptureStreamDevice::Consume(uint64_t samples, void* wavSink) {
    cWavSink* wav = static_cast<cWavSink*>(wavSink);
    int ringBytes = static_cast<int>(m_Ring.size());
    while (samples > 0) {
        // Up to the next notification position or the ring's end.
        int next = ringBytes;
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_aNotify[i] > m_nCursor && m_aNotify[i] < next) next = m_aNotify[i];
        uint64_t run = static_cast<uint64_t>(next - m_nCursor) / 4;
        if (run > samples) run = samples;
        wav->Write(m_Ring.data() + m_nCursor, static_cast<size_t>(run * 4));
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
    return true;
}

void qvn_cCaptureStreamDevice::Play() {
    if (m_Ring.empty()) return;
    m_nCursor = 0;
    // The cursor sits on the first quarter's start the moment play begins.
    for (int i = 0; i < m_nNotifyCount; ++i)
        if (m_aNotify[i] == 0) m_bPending[i] = true;
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
    m_Ring.clear();
    m_Ring.shrink_to_fit();
    for (bool& p : m_bPending) p = false;
}

bool qvn_cCaptureStreamDevice::HasBuffer() const { return !m_Ring.empty(); }

void qvn_CloseCaptureAudio() { g_Wav.Close(); }
