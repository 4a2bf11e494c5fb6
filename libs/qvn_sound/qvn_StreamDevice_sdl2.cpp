// The ring on an SDL2 audio device. SDL's callback plays from the ring and
// raises the notifications; the main thread polls them and refills quarters
// the callback is not reading, so the two never touch the same bytes and need
// no lock. Without any audio device the show still runs: a silent device
// keeps the same cursor on the tick clock.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "qvn_Capture.h"
#include "qvn_ErrorLog.h"
#include "qvn_SdlContext_sdl2.h"
#include "qvn_StreamDevice.h"
#include "qvn_StreamDevice_capture.h"
#include "qvn_System.h"

namespace {

class cSdlStreamDevice : public qvn_cStreamDevice {
public:
    ~cSdlStreamDevice() override {
        ReleaseBuffer();
        if (m_bAudioInit) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool Create(int sampleRate, int ringBytes, const int32_t* notifyOffsets, int notifyCount) override {
        if (sampleRate <= 0 || ringBytes <= 0 || (ringBytes & 3) || notifyCount < 0 || notifyCount > 4) return false;
        m_Ring.assign(static_cast<size_t>(ringBytes), 0);
        m_nNotifyCount = notifyCount;
        for (int i = 0; i < notifyCount; ++i) {
            m_aNotify[i] = notifyOffsets[i];
            SDL_AtomicSet(&m_aPending[i], 0);
        }
        m_nCursor = 0;
        m_nRate = sampleRate;
        m_nHanded = m_nHandedBefore = 0;
        m_nCallbacks = 0;
        // Without a sound card the ALSA library writes a screenful of its
        // own lines on standard error while SDL tries it; the one line below
        // says all a user needs. --verbose lets them through.
        qvn_cQuietStderr quiet(!qvn_sys::Verbose());
        if (!m_bAudioInit && SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) m_bAudioInit = true;
        if (m_bAudioInit) {
            SDL_AudioSpec want;
            SDL_zero(want);
            want.freq = sampleRate;
            want.format = AUDIO_S16LSB;
            want.channels = 2;
            want.samples = static_cast<Uint16>(BufferFrames(sampleRate));
            want.callback = &cSdlStreamDevice::Callback;
            want.userdata = this;
            // SDL converts when the card wants another format or rate.
            m_Device = SDL_OpenAudioDevice(nullptr, 0, &want, &m_Obtained, 0);
            if (m_Device)
                LogMessage("Sound: %s, %d Hz, a buffer of %d sample frames (%.1f ms)\n",
                           SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "?", m_Obtained.freq,
                           m_Obtained.samples, 1000.0 * m_Obtained.samples / m_Obtained.freq);
        }
        quiet.Restore();
        if (m_Device == 0) {
            // Once on the terminal; the second track's device says it in the log.
            static bool s_bTold = false;
            const char* why = m_bAudioInit ? SDL_GetError() : "audio subsystem unavailable";
            if (s_bTold) LogMessage("No audio device (%s): the show plays without sound.\n", why);
            else LogNotice("No audio device (%s): the show plays without sound.\n", why);
            s_bTold = true;
        }
        return true;
    }

    void Play() override {
        if (m_Ring.empty()) return;
        m_nCursor = 0;
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (m_aNotify[i] == 0) SDL_AtomicSet(&m_aPending[i], 1);
        if (m_Device) {
            SDL_PauseAudioDevice(m_Device, 0);
        } else {
            m_nSilentStart = SDL_GetTicks();
            m_nSilentSamples = 0;
            m_bSilentPlaying = true;
        }
    }

    int PollNotification() override {
        if (!m_Device && m_bSilentPlaying) {
            // The silent device moves its cursor with the clock.
            uint64_t target = static_cast<uint64_t>(SDL_GetTicks() - m_nSilentStart) * m_nRate / 1000u;
            if (target > m_nSilentSamples) Advance(static_cast<int>(target - m_nSilentSamples) * 4, nullptr);
            m_nSilentSamples = target;
        }
        for (int i = 0; i < m_nNotifyCount; ++i)
            if (SDL_AtomicCAS(&m_aPending[i], 1, 0)) return i;
        return -1;
    }

    bool Lock(int offset, int bytes, void** region1, int* bytes1, void** region2, int* bytes2) override {
        return qvn_RingRegions(m_Ring.data(), static_cast<int>(m_Ring.size()), offset, bytes, region1, bytes1, region2,
                               bytes2);
    }

    void Unlock(void*, int, void*, int) override {}

    void ReleaseBuffer() override {
        if (m_Device) {
            SDL_CloseAudioDevice(m_Device);
            m_Device = 0;
        }
        m_bSilentPlaying = false;
        m_Ring.clear();
        m_Ring.shrink_to_fit();
    }

    bool HasBuffer() const override { return !m_Ring.empty(); }

    // The card asks for a buffer when the one before starts playing: what
    // was handed over before the last request, less one buffer, has been
    // heard by then, and the sound runs on at the rate since.
    bool HeardFrames(double* frames) override {
        if (!m_Device) return false;
        SDL_LockAudioDevice(m_Device);
        const uint64_t before = m_nHandedBefore, calls = m_nCallbacks;
        const Uint64 at = m_nLastCallback;
        SDL_UnlockAudioDevice(m_Device);
        // Until the card has played its first buffer nothing is heard yet.
        if (calls == 0) return false;
        const double since = static_cast<double>(SDL_GetPerformanceCounter() - at) /
                             static_cast<double>(SDL_GetPerformanceFrequency()) * m_nRate;
        double heard = static_cast<double>(before) - m_Obtained.samples + since;
        if (heard > static_cast<double>(before)) heard = static_cast<double>(before);
        if (heard < 0.0) return false;
        *frames = heard;
        return true;
    }

    bool OutputFigures(qvn_SOutputFigures* f) const override {
        if (!m_Device || m_Obtained.freq <= 0) return false;
        f->bufferFrames = m_Obtained.samples;
        f->rate = m_nRate;
        f->bufferMs = 1000.0 * m_Obtained.samples / m_Obtained.freq;
        SDL_LockAudioDevice(m_Device);
        const uint64_t n = m_nCallbacks > 1 ? std::min<uint64_t>(m_nCallbacks - 1, kGaps) : 0;
        std::vector<double> gaps(m_aGaps, m_aGaps + n);
        SDL_UnlockAudioDevice(m_Device);
        f->callbackMs = 0.0;
        if (!gaps.empty()) {
            std::sort(gaps.begin(), gaps.end());
            f->callbackMs = gaps[gaps.size() / 2];
        }
        // A request that comes later than the buffer lasts means the card
        // holds more than one buffer.
        f->latencyMs = f->callbackMs > f->bufferMs ? f->callbackMs : f->bufferMs;
        return true;
    }

private:
    // --audio-buffer as the power of two of sample frames nearest to it.
    static int BufferFrames(int rate) {
        if (g_nQvnAudioBufferMs <= 0) return 1024;
        const double wanted = static_cast<double>(g_nQvnAudioBufferMs) * rate / 1000.0;
        int frames = 64;
        while (frames < 16384 && frames * 1.5 < wanted) frames *= 2;
        return frames;
    }

    static void SDLCALL Callback(void* user, Uint8* stream, int len) {
        cSdlStreamDevice* self = static_cast<cSdlStreamDevice*>(user);
        const Uint64 now = SDL_GetPerformanceCounter();
        if (self->m_nCallbacks > 0) {
            self->m_aGaps[(self->m_nCallbacks - 1) % kGaps] =
                1000.0 * static_cast<double>(now - self->m_nLastCallback) / static_cast<double>(SDL_GetPerformanceFrequency());
        }
        self->m_nLastCallback = now;
        self->m_nHandedBefore = self->m_nHanded;
        self->m_nHanded += static_cast<uint64_t>(len / 4);
        ++self->m_nCallbacks;
        self->Advance(len, stream);
    }

    // Plays len bytes from the cursor (into out, when there is one), raising
    // the notifications of the positions it reaches.
    void Advance(int len, Uint8* out) {
        int size = static_cast<int>(m_Ring.size());
        while (len > 0 && size > 0) {
            int next = size;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] > m_nCursor && m_aNotify[i] < next) next = m_aNotify[i];
            int run = next - m_nCursor < len ? next - m_nCursor : len;
            if (out) {
                std::memcpy(out, m_Ring.data() + m_nCursor, run);
                out += run;
            }
            m_nCursor += run;
            len -= run;
            if (m_nCursor >= size) m_nCursor = 0;
            for (int i = 0; i < m_nNotifyCount; ++i)
                if (m_aNotify[i] == m_nCursor) SDL_AtomicSet(&m_aPending[i], 1);
        }
        if (out && len > 0) std::memset(out, 0, len);
    }

    std::vector<uint8_t> m_Ring;
    int32_t m_aNotify[4] = {};
    SDL_atomic_t m_aPending[4] = {};
    int m_nNotifyCount = 0;
    int m_nCursor = 0;  // touched by the callback only while the device plays
    int m_nRate = 44100;
    SDL_AudioDeviceID m_Device = 0;
    bool m_bAudioInit = false;
    bool m_bSilentPlaying = false;
    Uint32 m_nSilentStart = 0;
    uint64_t m_nSilentSamples = 0;
    // The card's requests, kept by the callback (read under the device's lock).
    static constexpr uint64_t kGaps = 64;
    SDL_AudioSpec m_Obtained = {};
    uint64_t m_nHanded = 0, m_nHandedBefore = 0, m_nCallbacks = 0;
    Uint64 m_nLastCallback = 0;
    double m_aGaps[kGaps] = {};
};

}  // namespace

qvn_cStreamDevice* qvn_CreateStreamDevice() {
    if (g_pCapture) return new qvn_cCaptureStreamDevice;
    return new cSdlStreamDevice;
}
