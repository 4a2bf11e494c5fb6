// Plays one MP3 track at a time and keeps the show clock. The whole file is in
// memory; frames are decoded on the main thread, from the message pump, into a
// ring of four quarters kept two quarters ahead of the play cursor.
#pragma once

#include "qvn_SoundPlayer.h"
#include "qvn_StreamDevice.h"

// 32 frames of 1152 stereo 16-bit samples, in four quarters of 8 frames.
constexpr int kQvnStreamBufferBytes = 0x24000;
constexpr int kQvnStreamQuarters = 4;
constexpr int kQvnFrameBytes = 1152 * 4;
// Full scale of the PCM written to the ring.
constexpr int kQvnPcmFullScale = 32000;

class qvn_cMP3Player : public qvn_cSoundPlayer {
public:
    qvn_cMP3Player();
    ~qvn_cMP3Player() override;

    void Update() override;
    bool HeardMs(double* ms) override;
    bool OutputFigures(qvn_SOutputFigures* figures) const override;
    bool InitDevice() override;
    void Release() override;
    void Play() override;
    bool Open(const char* fileName, int mode) override;
    void WritePCM(const void* bytes, int count) override;
    void Seek(int ms) override;

    // Decodes into quarter (i + 2) mod 4, the one after the quarter that
    // follows the cursor; silence once the stream has ended.
    void Refill(int i);
    // The next samples the decoder makes are dropped: a stream started at a
    // frame boundary before the point it should be heard at is moved on to
    // that sample. The frames then straddle the quarters; what does not fit
    // a quarter goes at the start of the next one.
    void DiscardSamples(int samples);

    // Starts `track` over so that what is heard from now on is what a run
    // played from the start hears at showMs of the track's clock (a start
    // point, the viewer's resume): the stream is moved on with the seek to
    // the frame before the point, the samples between that frame's start and
    // the point are dropped, and the two quarters the cursor plays first are
    // filled at once instead of playing silence. The clock keeps reading as
    // it did. False, with the reason logged, when the track cannot be opened
    // again or no sound device can be had: the show then goes on silent.
    bool StartAt(const char* track, int32_t showMs);

    qvn_cStreamDevice* m_pDevice;
    int32_t m_aNotify[kQvnStreamQuarters];  // quarter start offsets
    uint8_t* m_pWrite;     // where WritePCM puts the next bytes
    uint8_t* m_pWriteEnd;  // end of the locked region: never written past
    int m_nDiscardBytes = 0;
    uint8_t m_aCarry[kQvnFrameBytes];  // decoded, for the next quarter
    int m_nCarryBytes = 0;
    int32_t m_nDevicePlayTick = 0;  // the tick count when the ring started
};

// The decoder's output function: float granules to 16-bit stereo at full
// scale 32000 (clamped, truncated), handed to g_pSoundOutput->WritePCM.
void OutputPCM(int count, const float* left, const float* right);
