// The capture mode's sound device (see the .cpp for how it keeps time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvn_StreamDevice.h"

class qvn_cCaptureStreamDevice : public qvn_cStreamDevice {
public:
    ~qvn_cCaptureStreamDevice() override;
    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override;
    void Play() override;
    int PollNotification() override;
    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override;
    void Unlock(void* region1, int bytes1, void* region2, int bytes2) override;
    void ReleaseBuffer() override;
    bool HasBuffer() const override;

    // Plays `samples` stereo samples from the cursor, handing their bytes to
    // write in runs (up to each notification position).
    using WriteFn = void (*)(const uint8_t* bytes, size_t count, void* context);
    void Consume(uint64_t samples, WriteFn write, void* context);
    int Rate() const { return m_nRate; }
    // Capture time at which the ring started playing.
    uint32_t PlayMs() const { return m_nPlayMs; }
    // Samples of capture time before audio.wav was opened.
    static uint64_t s_nSilenceOffset;

private:
    std::vector<uint8_t> m_Ring;
    int32_t m_aNotify[4] = {};
    bool m_bPending[4] = {};
    int m_nNotifyCount = 0;
    int m_nCursor = 0;
    int m_nRate = 0;
    uint32_t m_nPlayMs = 0;
};

// Writes audio.wav's final sizes and closes it (end of a capture run).
void qvn_CloseCaptureAudio();
