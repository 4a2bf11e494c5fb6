// The music player's base: the show clock and the operations the sequencer and
// the message pump call. qvn_cMP3Player fills them in.
#pragma once

#include <cstdint>

#include "qvn_StreamDevice.h"

struct SMP3Stream;

// Millisecond stopwatch on the system tick count.
class qvn_cTimer {
public:
    qvn_cTimer();
    void start();
    void stop();
    int32_t elapsed() const { return m_nStop - m_nStart; }

    int32_t m_nElapsed;
    int32_t m_nStart;
    int32_t m_nStop;
};

class qvn_cSoundPlayer {
public:
    qvn_cSoundPlayer();
    // Refills at most one quarter of the streaming buffer; called by the pump.
    virtual void Update() {}
    virtual bool InitDevice() { return false; }
    virtual void Release() {}
    virtual void Play() { m_Clock.start(); }
    virtual bool Open(const char* fileName, int mode) { (void)fileName; (void)mode; return false; }
    virtual void WritePCM(const void* bytes, int count) { (void)bytes; (void)count; }
    virtual void Seek(int ms) { (void)ms; }
    // Frames decoded or skipped since the stream's start; -1 before any Open.
    virtual int GetMP3Position();
    // Milliseconds of the track heard since Play, as of now (on the show
    // clock's scale); false when no sound is heard or it cannot be told.
    virtual bool HeardMs(double* ms) {
        (void)ms;
        return false;
    }
    virtual bool OutputFigures(qvn_SOutputFigures* figures) const {
        (void)figures;
        return false;
    }
    virtual ~qvn_cSoundPlayer();

    // The show clock: milliseconds since Play, moved by Seek.
    int GetTimePosition() {
        m_Clock.stop();
        return m_Clock.elapsed();
    }
    bool IsPlaying() const { return m_bPlaying != 0; }

    qvn_cTimer m_Clock;
    int32_t m_nBufferBytes;
    SMP3Stream* m_pDecoder;
    uint8_t m_bDecoding;
    int32_t m_nSampleRate;
    uint8_t m_bPlaying;
};

// The player every frame loop reads the clock from.
extern qvn_cSoundPlayer* g_pMusic;
// The player the decoder's PCM output is routed to.
extern qvn_cSoundPlayer* g_pSoundOutput;
