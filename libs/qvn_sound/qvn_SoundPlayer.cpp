#include "qvn_SoundPlayer.h"

#include "qvn_MP3Decoder.h"
#include "qvn_System.h"

qvn_cSoundPlayer* g_pMusic = nullptr;
qvn_cSoundPlayer* g_pSoundOutput = nullptr;

qvn_cTimer::qvn_cTimer() : m_nElapsed(0), m_nStart(0), m_nStop(0) {
    start();
    stop();
    m_nElapsed = m_nStop - m_nStart;
}

void qvn_cTimer::start() { m_nStart = static_cast<int32_t>(qvn_sys::TickCount()); }
void qvn_cTimer::stop() { m_nStop = static_cast<int32_t>(qvn_sys::TickCount()); }

qvn_cSoundPlayer::qvn_cSoundPlayer()
    : m_nBufferBytes(0), m_pDecoder(nullptr), m_bDecoding(0), m_nSampleRate(32000), m_bPlaying(0) {
    g_pSoundOutput = this;
}

qvn_cSoundPlayer::~qvn_cSoundPlayer() {
    m_bPlaying = 0;
    if (g_pSoundOutput == this) g_pSoundOutput = nullptr;
}

int g_nQvnAudioBufferMs = 0;

int qvn_cSoundPlayer::GetMP3Position() { return m_pDecoder ? mp3GetFrameIndex(m_pDecoder) : -1; }
