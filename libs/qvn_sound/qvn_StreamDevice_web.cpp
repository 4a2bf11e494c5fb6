// The ring in the browser. Its play cursor runs on the backend's clock, which
// with sound is the time of the sound being heard: the cursor is where the
// listener is. What the player writes into the ring is handed to the page at
// once, with the clock time its first sample is to be heard at (the next
// time the cursor comes round to it), and the page plays it then. Without
// sound (no page, a browser that refused) the same cursor keeps the show's
// time, silently.
#include <cstring>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_StreamDevice.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_System.h"
#include "qvn_Web.h"

namespace {

class cWebStreamDevice : public qvn_cStreamDevice {
public:
    ~cWebStreamDevice() override { ReleaseBuffer(); }

    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override {
        if (sampleRate <= 0 || ringBytes <= 0 || (ringBytes & 3) || notifyCount < 0 || notifyCount > 4) return false;
        m_Ring.assign(static_cast<size_t>(ringBytes), 0);
        m_nNotifyCount = notifyCount;
        for (int i = 0; i < notifyCount; ++i) {
            m_aNotify[i] = notifyOffsets[i];
            m_aPending[i] = false;
        }
        m_nRate = sampleRate;
        m_bSound = qvn_WebAudioOpen(sampleRate) != 0;
        m_bPlaying = false;
        return true;
    }

    void Play() override {
        if (m_Ring.empty()) return;
        m_nPlayed = 0;
        m_nStartMs = qvn_WebTickMs();
        m_bPlaying = true;
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_aNotify[i] == 0) m_aPending[i] = true;
        // The ring as it was filled before Play: its first lap.
        Queue(0, static_cast<int>(m_Ring.size()));
    }

    int PollNotification() override {
        if (m_bPlaying) {
            const double ms = qvn_WebTickMs() - m_nStartMs;
            const int64_t target = ms > 0 ? static_cast<int64_t>(ms * m_nRate / 1000.0) : 0;
            if (target > m_nPlayed) Advance(target - m_nPlayed);
        }
        for (int i = 0; i < m_nNotifyCount; ++i) {
            if (m_aPending[i]) {
                m_aPending[i] = false;
                return i;
            }
        }
        return -1;
    }

    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override {
        return qvn_RingRegions(m_Ring.data(), static_cast<int>(m_Ring.size()), offset, bytes, region1, bytes1, region2,
                               bytes2);
    }

    void Unlock(void* region1, int bytes1, void* region2, int bytes2) override {
        if (!m_bPlaying) return;  // the first lap goes out at Play
        if (region1 && bytes1 > 0) Queue(static_cast<int>(static_cast<uint8_t*>(region1) - m_Ring.data()), bytes1);
        if (region2 && bytes2 > 0) Queue(static_cast<int>(static_cast<uint8_t*>(region2) - m_Ring.data()), bytes2);
    }

    void ReleaseBuffer() override {
        if (m_bSound && m_bPlaying) qvn_WebAudioStop();
        m_bPlaying = false;
        m_Ring.clear();
        m_Ring.shrink_to_fit();
    }

    bool HasBuffer() const override { return !m_Ring.empty(); }

private:
    // Hands the page bytes at ring offset `at`, to be heard when the cursor
    // next reaches them (this lap when still ahead of it, else the next).
    void Queue(int at, int bytes) {
        if (!m_bSound || at < 0 || bytes <= 0 || at + bytes > static_cast<int>(m_Ring.size())) return;
        const int64_t ringFrames = static_cast<int64_t>(m_Ring.size()) / 4;
        const int64_t lapStart = m_nPlayed - m_nPlayed % ringFrames;
        int64_t frame = lapStart + at / 4;
        if (frame < m_nPlayed) frame += ringFrames;
        const double atMs = m_nStartMs + static_cast<double>(frame) * 1000.0 / m_nRate;
        qvn_WebAudioQueue(reinterpret_cast<const int16_t*>(m_Ring.data() + at), bytes / 4, m_nRate, atMs);
    }

    // Moves the cursor on by frames, raising the notifications it reaches.
    void Advance(int64_t frames) {
        const int size = static_cast<int>(m_Ring.size());
        int64_t len = frames * 4;
        // A long stall (a hidden page without sound) goes round whole laps
        // at once; each position is reported once all the same.
        if (len > size) len = size + len % size;
        while (len > 0 && size > 0) {
            int next = size;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] > m_nCursor && m_aNotify[i] < next) next = m_aNotify[i];
            const int run = static_cast<int>(next - m_nCursor < len ? next - m_nCursor : len);
            m_nCursor += run;
            len -= run;
            if (m_nCursor >= size) m_nCursor = 0;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] == m_nCursor) m_aPending[i] = true;
        }
        m_nPlayed += frames;
    }

    std::vector<uint8_t> m_Ring;
    int32_t m_aNotify[4] = {};
    bool m_aPending[4] = {};
    int m_nNotifyCount = 0;
    int m_nCursor = 0;       // byte offset in the ring
    int64_t m_nPlayed = 0;   // frames since Play
    double m_nStartMs = 0;   // the clock at Play
    int m_nRate = 44100;
    bool m_bSound = false;
    bool m_bPlaying = false;
};

}  // namespace

qvn_cStreamDevice* qvn_CreateStreamDevice() {
    if (g_pCapture) return new qvn_cCaptureStreamDevice;
    return new cWebStreamDevice;
}
