// The ring on DirectSound: a primary buffer set to the stream's format and one
// looping secondary buffer with four notification events, polled with a zero
// time-out from the message pump. Without a sound device (no card, no driver)
// the show still runs: a silent ring in memory keeps the same cursor and
// notifications on the system's tick count.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_StreamDevice.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_System.h"

namespace {

// A failed DirectSound call ends the device's set-up; the log says which.
bool Failed(HRESULT r, const char* what) {
    if (SUCCEEDED(r)) return false;
    LogMessage("qvn_cMP3Player::InitDevice : %s failed (0x%08lx)\n", what, static_cast<unsigned long>(r));
    return true;
}

// The ring nobody hears: the play cursor moves with the tick count at the
// stream's rate and raises the notifications it passes, so the player
// decodes and refills as it would on a card.
class cSilentRing : public qvn_cStreamDevice {
public:
    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override {
        if (sampleRate <= 0 || ringBytes <= 0 || (ringBytes & 3) || notifyCount < 0 || notifyCount > 4) return false;
        for (int i = 0; i < notifyCount; ++i)
            if (notifyOffsets[i] < 0 || notifyOffsets[i] >= ringBytes) return false;
        m_Ring.assign(static_cast<size_t>(ringBytes), 0);
        std::memcpy(m_aNotify, notifyOffsets, sizeof(int32_t) * static_cast<size_t>(notifyCount));
        m_nNotifyCount = notifyCount;
        m_nRate = sampleRate;
        m_nCursor = 0;
        m_bPlaying = false;
        return true;
    }

    void Play() override {
        if (m_Ring.empty()) return;
        m_nCursor = 0;
        for (int i = 0; i < m_nNotifyCount; ++i) m_abPending[i] = m_aNotify[i] == 0;
        m_nStartTicks = GetTickCount();
        m_nPlayedSamples = 0;
        m_bPlaying = true;
    }

    int PollNotification() override {
        if (m_bPlaying) {
            // Unsigned: the tick count wraps after 49 days, the difference does not.
            const DWORD elapsedMs = GetTickCount() - m_nStartTicks;
            const uint64_t target = static_cast<uint64_t>(elapsedMs) * static_cast<uint64_t>(m_nRate) / 1000u;
            if (target > m_nPlayedSamples) Advance(target - m_nPlayedSamples);
            m_nPlayedSamples = target;
        }
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_abPending[i]) {
                m_abPending[i] = false;
                return i;
            }
        return -1;
    }

    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override {
        return qvn_RingRegions(m_Ring.data(), static_cast<int>(m_Ring.size()), offset, bytes, region1, bytes1, region2,
                               bytes2);
    }

    void Unlock(void*, int, void*, int) override {}

    void ReleaseBuffer() override {
        m_bPlaying = false;
        m_Ring.clear();
        m_Ring.shrink_to_fit();
    }

    bool HasBuffer() const override { return !m_Ring.empty(); }

private:
    // Moves the cursor on by `samples`, raising the notifications it reaches.
    // After a long stall (a window being dragged) it walks one lap and the
    // remainder: it ends where it must, and each position is raised once, as
    // a card's event set twice is still one event.
    void Advance(uint64_t samples) {
        const int size = static_cast<int>(m_Ring.size());
        uint64_t bytes = samples * 4;
        if (bytes > static_cast<uint64_t>(size)) bytes = static_cast<uint64_t>(size) + (bytes % size);
        while (bytes > 0) {
            int next = size;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] > m_nCursor && m_aNotify[i] < next) next = m_aNotify[i];
            const int gap = next - m_nCursor;
            const int run = static_cast<uint64_t>(gap) < bytes ? gap : static_cast<int>(bytes);
            m_nCursor += run;
            bytes -= static_cast<uint64_t>(run);
            if (m_nCursor >= size) m_nCursor = 0;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] == m_nCursor) m_abPending[i] = true;
        }
    }

    std::vector<uint8_t> m_Ring;
    int32_t m_aNotify[4] = {};
    bool m_abPending[4] = {};
    int m_nNotifyCount = 0;
    int m_nCursor = 0;
    int m_nRate = 44100;
    bool m_bPlaying = false;
    DWORD m_nStartTicks = 0;
    uint64_t m_nPlayedSamples = 0;
};

class cDirectSoundDevice : public qvn_cStreamDevice {
public:
    ~cDirectSoundDevice() override { ReleaseDevice(); }

    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override {
        if (notifyCount < 0 || notifyCount > 4) return false;
        m_pSilent.reset();
        if (CreateDirectSound(sampleRate, ringBytes, notifyOffsets, notifyCount)) return true;
        // No card to play on: the show goes on, in silence, on the clock.
        ReleaseDevice();
        m_pSilent.reset(new cSilentRing);
        if (!m_pSilent->Create(sampleRate, ringBytes, notifyOffsets, notifyCount)) {
            m_pSilent.reset();
            return false;
        }
        // Once on the terminal (when there is one); the second track's
        // device says it in the log.
        static bool s_bTold = false;
        if (s_bTold) LogMessage("No sound device: the show plays without sound.\n");
        else LogNotice("No sound device: the show plays without sound.\n");
        s_bTold = true;
        return true;
    }

    void Play() override {
        if (m_pSilent) m_pSilent->Play();
        else if (m_pBuffer) m_pBuffer->Play(0, 0, DSBPLAY_LOOPING);
        m_nLaps = 0;
        m_nLastPlay = 0;
    }

    // The play cursor is the sound being played; the laps are counted as it
    // comes round (asked at every frame, far more often than a lap lasts).
    bool HeardFrames(double* frames) override {
        if (m_pSilent || !m_pBuffer || m_nRingBytes <= 0) return false;
        DWORD play = 0, write = 0;
        if (FAILED(m_pBuffer->GetCurrentPosition(&play, &write))) return false;
        if (play < m_nLastPlay) ++m_nLaps;
        m_nLastPlay = play;
        // What the mixer has taken beyond the cursor: its own buffer.
        m_nLeadBytes = static_cast<int>((write + static_cast<DWORD>(m_nRingBytes) - play) % static_cast<DWORD>(m_nRingBytes));
        *frames = static_cast<double>(m_nLaps * static_cast<uint64_t>(m_nRingBytes) + play) / 4.0;
        return true;
    }

    bool OutputFigures(qvn_SOutputFigures* f) const override {
        if (m_pSilent || !m_pBuffer || m_nRate <= 0) return false;
        f->bufferFrames = m_nLeadBytes / 4;
        f->rate = m_nRate;
        f->bufferMs = 1000.0 * f->bufferFrames / m_nRate;
        f->callbackMs = 0.0;  // DirectSound takes from the ring; it never asks
        f->latencyMs = f->bufferMs;
        return true;
    }

    int PollNotification() override {
        if (m_pSilent) return m_pSilent->PollNotification();
        if (m_nEvents == 0) return -1;
        DWORD r = MsgWaitForMultipleObjects(static_cast<DWORD>(m_nEvents), m_ahEvents, FALSE, 0, QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + static_cast<DWORD>(m_nEvents)) return static_cast<int>(r - WAIT_OBJECT_0);
        return -1;
    }

    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override {
        if (m_pSilent) return m_pSilent->Lock(offset, bytes, region1, bytes1, region2, bytes2);
        if (!m_pBuffer) return false;
        DWORD n1 = 0, n2 = 0;
        if (FAILED(m_pBuffer->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes), region1, &n1, region2, &n2, 0)))
            return false;
        *bytes1 = static_cast<int>(n1);
        *bytes2 = static_cast<int>(n2);
        return true;
    }

    void Unlock(void* region1, int bytes1, void* region2, int bytes2) override {
        if (m_pSilent) m_pSilent->Unlock(region1, bytes1, region2, bytes2);
        else if (m_pBuffer) m_pBuffer->Unlock(region1, static_cast<DWORD>(bytes1), region2, static_cast<DWORD>(bytes2));
    }

    void ReleaseBuffer() override {
        if (m_pSilent) m_pSilent->ReleaseBuffer();
        if (m_pNotify) m_pNotify->Release();
        m_pNotify = nullptr;
        if (m_pBuffer) m_pBuffer->Release();  // releasing stops it
        m_pBuffer = nullptr;
    }

    bool HasBuffer() const override { return m_pSilent ? m_pSilent->HasBuffer() : m_pBuffer != nullptr; }

private:
    // Everything DirectSound made, so a failed set-up leaves nothing behind.
    void ReleaseDevice() {
        ReleaseBuffer();
        if (m_pPrimary) m_pPrimary->Release();
        m_pPrimary = nullptr;
        if (m_pDS) m_pDS->Release();
        m_pDS = nullptr;
        for (HANDLE& e : m_ahEvents) {
            if (e) CloseHandle(e);
            e = nullptr;
        }
        m_nEvents = 0;
    }

    bool CreateDirectSound(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) {
        if (Failed(DirectSoundCreate(nullptr, &m_pDS, nullptr), "DirectSoundCreate")) return false;
        m_nRingBytes = ringBytes;
        m_nRate = sampleRate;
        HWND hWnd = static_cast<HWND>(qvn_sys::NativeWindow());
        if (Failed(m_pDS->SetCooperativeLevel(hWnd, DSSCL_PRIORITY), "SetCooperativeLevel")) return false;

        DSBUFFERDESC desc = {};
        desc.dwSize = sizeof(DSBUFFERDESC1);  // the DirectX 6 record (20 bytes on 32-bit Windows)
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        if (Failed(m_pDS->CreateSoundBuffer(&desc, &m_pPrimary, nullptr), "CreateSoundBuffer (primary)")) return false;

        WAVEFORMATEX format = {};
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = 2;
        format.nSamplesPerSec = static_cast<DWORD>(sampleRate);
        format.wBitsPerSample = 16;
        format.nBlockAlign = 4;
        format.nAvgBytesPerSec = static_cast<DWORD>(sampleRate) * 4;
        if (Failed(m_pPrimary->SetFormat(&format), "SetFormat")) return false;

        desc = DSBUFFERDESC{};
        desc.dwSize = sizeof(DSBUFFERDESC1);
        desc.dwFlags = DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
        desc.dwBufferBytes = static_cast<DWORD>(ringBytes);
        desc.lpwfxFormat = &format;
        if (Failed(m_pDS->CreateSoundBuffer(&desc, &m_pBuffer, nullptr), "CreateSoundBuffer")) return false;

        DSBPOSITIONNOTIFY notify[4];
        for (int i = 0; i < notifyCount; ++i) {
            m_ahEvents[i] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            if (!m_ahEvents[i]) return false;
            notify[i].dwOffset = static_cast<DWORD>(notifyOffsets[i]);
            notify[i].hEventNotify = m_ahEvents[i];
        }
        m_nEvents = notifyCount;
        if (Failed(m_pBuffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(&m_pNotify)), "QueryInterface IDirectSoundNotify"))
            return false;
        return !Failed(m_pNotify->SetNotificationPositions(static_cast<DWORD>(notifyCount), notify), "SetNotificationPositions");
    }


private:
    IDirectSound* m_pDS = nullptr;
    IDirectSoundBuffer* m_pPrimary = nullptr;
    IDirectSoundBuffer* m_pBuffer = nullptr;
    IDirectSoundNotify* m_pNotify = nullptr;
    HANDLE m_ahEvents[4] = {};
    int m_nEvents = 0;
    std::unique_ptr<cSilentRing> m_pSilent;  // set when no card could be had
    int m_nRingBytes = 0, m_nRate = 0;
    uint64_t m_nLaps = 0;
    DWORD m_nLastPlay = 0;
    int m_nLeadBytes = 0;
};

}  // namespace

qvn_cStreamDevice* qvn_CreateStreamDevice() {
    if (g_pCapture) return new qvn_cCaptureStreamDevice;
    return new cDirectSoundDevice;
}
