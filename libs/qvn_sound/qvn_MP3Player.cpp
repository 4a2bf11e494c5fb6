#include "qvn_MP3Player.h"

#include <cstring>

#include "qvn_ErrorLog.h"
#include "qvn_MP3Decoder.h"

qvn_cMP3Player::qvn_cMP3Player() : m_pDevice(nullptr), m_aNotify{}, m_pWrite(nullptr), m_pWriteEnd(nullptr) {}

qvn_cMP3Player::~qvn_cMP3Player() {
    delete m_pDevice;
    m_pDevice = nullptr;
    mp3Close(m_pDecoder);
    m_pDecoder = nullptr;
}

bool qvn_cMP3Player::Open(const char* fileName, int mode) {
    if (mode != 0 || !fileName) return false;
    m_bDecoding = 1;
    mp3InitTables();
    // The previous track's stream is not needed any more.
    mp3Close(m_pDecoder);
    m_pDecoder = nullptr;
    SMP3Stream* stream = mp3Open(fileName);
    if (!stream) return false;
    m_pDecoder = stream;
    m_nDiscardBytes = 0;
    m_nCarryBytes = 0;
    // The decoder has no sample size of its own; 16 is what reaches the card.
    LogMessage("MP3: %s loaded... %d:Hz %d:Bits %d:Rate Channel(s):%d\n", fileName, mp3GetSampleRate(stream), 16,
               mp3GetBitrate(stream), mp3GetChannels(stream));
    m_nSampleRate = mp3GetSampleRate(stream);
    mp3SetOutput(OutputPCM);
    return true;
}

bool qvn_cMP3Player::InitDevice() {
    // A second track starts on a fresh device: the previous one is let go.
    delete m_pDevice;
    m_pDevice = qvn_CreateStreamDevice();
    if (!m_pDevice) return false;
    m_nBufferBytes = kQvnStreamBufferBytes;
    for (int i = 0; i < kQvnStreamQuarters; ++i) m_aNotify[i] = i * (m_nBufferBytes / kQvnStreamQuarters);
    return m_pDevice->Create(m_nSampleRate, m_nBufferBytes, m_aNotify, kQvnStreamQuarters);
}

void qvn_cMP3Player::Play() {
    if (m_pDevice && m_pDevice->HasBuffer()) m_pDevice->Play();
    m_bPlaying = 1;
    m_Clock.start();
    m_nDevicePlayTick = m_Clock.m_nStart;
}

bool qvn_cMP3Player::HeardMs(double* ms) {
    double frames = 0.0;
    if (!m_bPlaying || !m_pDevice || m_nSampleRate <= 0 || !m_pDevice->HeardFrames(&frames)) return false;
    // The ring started with the show clock at the value it had then (a
    // start point keeps the show's clock and starts a new ring on it).
    *ms = static_cast<double>(m_nDevicePlayTick - m_Clock.m_nStart) + frames * 1000.0 / m_nSampleRate;
    return true;
}

bool qvn_cMP3Player::OutputFigures(qvn_SOutputFigures* figures) const {
    return m_pDevice && m_pDevice->OutputFigures(figures);
}

void qvn_cMP3Player::Update() {
    // Between tracks a notification of the released ring may still be
    // pending: with no ring there is nothing to refill.
    if (!m_pDevice || !m_pDevice->HasBuffer()) return;
    int i = m_pDevice->PollNotification();
    if (i >= 0 && i < kQvnStreamQuarters) Refill(i);
}

void qvn_cMP3Player::Refill(int i) {
    if (!m_pDevice || !m_pDevice->HasBuffer()) return;
    int q = (i + 2) % kQvnStreamQuarters;
    void *p1 = nullptr, *p2 = nullptr;
    int n1 = 0, n2 = 0;
    if (!m_pDevice->Lock(m_aNotify[q], m_nBufferBytes / kQvnStreamQuarters, &p1, &n1, &p2, &n2)) return;
    m_pWrite = static_cast<uint8_t*>(p1);
    m_pWriteEnd = m_pWrite + n1;
    if (m_nCarryBytes > 0) {
        const int n = m_nCarryBytes < n1 ? m_nCarryBytes : n1;
        std::memcpy(m_pWrite, m_aCarry, n);
        m_pWrite += n;
        m_nCarryBytes -= n;
        std::memmove(m_aCarry, m_aCarry + n, m_nCarryBytes);
    }
    // A quarter is exactly eight frames (unless samples were discarded).
    while (m_bDecoding && m_pDecoder && m_pWrite < m_pWriteEnd) {
        if (mp3DecodeFrame(m_pDecoder) < 0) m_bDecoding = 0;
    }
    // After the end of the stream the quarter plays silence, not the ring's
    // stale contents.
    if (m_pWrite < m_pWriteEnd) std::memset(m_pWrite, 0, m_pWriteEnd - m_pWrite);
    m_pWrite = m_pWriteEnd;
    m_pDevice->Unlock(p1, n1, p2, n2);
}

void qvn_cMP3Player::WritePCM(const void* bytes, int count) {
    if (!m_pWrite || count <= 0) return;
    const uint8_t* src = static_cast<const uint8_t*>(bytes);
    if (m_nDiscardBytes > 0) {
        const int d = count < m_nDiscardBytes ? count : m_nDiscardBytes;
        src += d;
        count -= d;
        m_nDiscardBytes -= d;
    }
    // Never past the locked region, whatever the decoder hands over.
    const int room = static_cast<int>(m_pWriteEnd - m_pWrite);
    const int n = count < room ? count : room;
    std::memcpy(m_pWrite, src, n);
    m_pWrite += n;
    // The rest starts the next quarter (at most a frame's worth is kept).
    int rest = count - n;
    const int space = static_cast<int>(sizeof m_aCarry) - m_nCarryBytes;
    if (rest > space) rest = space;
    if (rest > 0) {
        std::memcpy(m_aCarry + m_nCarryBytes, src + n, rest);
        m_nCarryBytes += rest;
    }
}

void qvn_cMP3Player::DiscardSamples(int samples) {
    m_nDiscardBytes = samples > 0 ? samples * 4 : 0;
    m_nCarryBytes = 0;
}

void qvn_cMP3Player::Seek(int ms) {
    if (!m_bPlaying) return;
    int t = ms - 450;
    // 36 ms is a frame at 32 kHz; the skip uses it whatever the track's rate.
    int n = static_cast<int>(static_cast<float>(t) * 0.027777778f);
    if (n >= 1 && m_pDecoder) mp3SkipFrames(m_pDecoder, n);
    m_Clock.stop();
    m_Clock.m_nStart = m_Clock.m_nStop - t;
}

void qvn_cMP3Player::Release() {
    if (m_pDevice) m_pDevice->ReleaseBuffer();
}

void OutputPCM(int count, const float* left, const float* right) {
    int16_t buffer[1152 * 2];
    if (count > 1152) count = 1152;
    const float gain = 1.0f;
    auto convert = [gain](float v) -> int16_t {
        float x = gain * v;
        if (x > 1.0f) return kQvnPcmFullScale;
        if (x < -1.0f) return -kQvnPcmFullScale;
        return static_cast<int16_t>(x * static_cast<float>(kQvnPcmFullScale));
    };
    for (int k = 0; k < count; ++k) {
        int16_t l = convert(left[k]);
        buffer[2 * k] = l;
        buffer[2 * k + 1] = right ? convert(right[k]) : l;
    }
    if (g_pSoundOutput) g_pSoundOutput->WritePCM(buffer, count * 4);
}

bool qvn_cMP3Player::StartAt(const char* track, int32_t showMs) {
    if (!track) return false;
    const int32_t clockStart = m_Clock.m_nStart;
    Release();
    // A straight run starts its ring with two silent quarters at the show
    // clock's -450 ms: the track's sample 0 is heard two quarters later. The
    // stream can only start at a frame; the samples between the frame's start
    // and the one heard at showMs are dropped, so the music is in step to the
    // sample.
    const int64_t quarterSamples = kQvnStreamBufferBytes / kQvnStreamQuarters / 4;
    const int64_t rate = m_nSampleRate > 0 ? m_nSampleRate : 44100;
    const int64_t heard = (static_cast<int64_t>(showMs) + 450) * rate / 1000 - 2 * quarterSamples;
    const int64_t frame = heard > 0 ? heard / 1152 : 0;
    const int discard = heard > 0 ? static_cast<int>(heard - frame * 1152) : 0;
    // Nothing was decoded since the track was opened, so the stream is near
    // its start; only a stream already past the point is opened again.
    if (GetMP3Position() > frame && !Open(track, 0)) {
        LogMessage("qvn_cMP3Player::StartAt : the music cannot restart at %d ms; the show goes on silent.\n", showMs);
        return false;
    }
    if (!InitDevice()) {
        LogMessage("qvn_cMP3Player::StartAt : no sound device at %d ms; the show goes on silent.\n", showMs);
        Release();
        return false;
    }
    const int64_t skip = frame - (GetMP3Position() > 0 ? GetMP3Position() : 0);
    Play();
    // The seek skips whole 36 ms steps: aim at the middle of the step.
    if (skip > 0) Seek(static_cast<int>(skip * 36 + 18 + 450));
    m_Clock.m_nStart = clockStart;
    DiscardSamples(discard);
    Refill(2);  // the first quarter
    Refill(3);  // the second
    return true;
}
