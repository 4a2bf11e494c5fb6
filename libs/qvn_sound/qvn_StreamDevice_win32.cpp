// The ring on DirectSound: a primary buffer set to the stream's format and one
// looping secondary buffer with four notification events, polled with a zero
// time-out from the message pump.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

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

class cDirectSoundDevice : public qvn_cStreamDevice {
public:
    ~cDirectSoundDevice() override {
        ReleaseBuffer();
        if (m_pPrimary) m_pPrimary->Release();
        if (m_pDS) m_pDS->Release();
        for (HANDLE& e : m_ahEvents)
            if (e) CloseHandle(e);
    }

    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override {
        if (notifyCount < 0 || notifyCount > 4) return false;
        if (Failed(DirectSoundCreate(nullptr, &m_pDS, nullptr), "DirectSoundCreate")) return false;
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

    void Play() override {
        if (m_pBuffer) m_pBuffer->Play(0, 0, DSBPLAY_LOOPING);
    }

    int PollNotification() override {
        if (m_nEvents == 0) return -1;
        DWORD r = MsgWaitForMultipleObjects(static_cast<DWORD>(m_nEvents), m_ahEvents, FALSE, 0, QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + static_cast<DWORD>(m_nEvents)) return static_cast<int>(r - WAIT_OBJECT_0);
        return -1;
    }

    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override {
        if (!m_pBuffer) return false;
        DWORD n1 = 0, n2 = 0;
        if (FAILED(m_pBuffer->Lock(static_cast<DWORD>(offset), static_cast<DWORD>(bytes), region1, &n1, region2, &n2, 0)))
            return false;
        *bytes1 = static_cast<int>(n1);
        *bytes2 = static_cast<int>(n2);
        return true;
    }

    void Unlock(void* region1, int bytes1, void* region2, int bytes2) override {
        if (m_pBuffer) m_pBuffer->Unlock(region1, static_cast<DWORD>(bytes1), region2, static_cast<DWORD>(bytes2));
    }

    void ReleaseBuffer() override {
        if (m_pNotify) m_pNotify->Release();
        m_pNotify = nullptr;
        if (m_pBuffer) m_pBuffer->Release();  // releasing stops it
        m_pBuffer = nullptr;
    }

    bool HasBuffer() const override { return m_pBuffer != nullptr; }

private:
    IDirectSound* m_pDS = nullptr;
    IDirectSoundBuffer* m_pPrimary = nullptr;
    IDirectSoundBuffer* m_pBuffer = nullptr;
    IDirectSoundNotify* m_pNotify = nullptr;
    HANDLE m_ahEvents[4] = {};
    int m_nEvents = 0;
};

}  // namespace

qvn_cStreamDevice* qvn_CreateStreamDevice() {
    if (g_pCapture) return new qvn_cCaptureStreamDevice;
    return new cDirectSoundDevice;
}
