// The resampler of the Windows builds: the system's Audio Compression
// Manager and its PCM converter (msacm32), which every Windows has, so the
// programs still need no DLL beyond the system's.
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>

#include "qvn_Resampler.h"

namespace {

WAVEFORMATEX Stereo16(int rate) {
    WAVEFORMATEX f;
    std::memset(&f, 0, sizeof f);
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = static_cast<DWORD>(rate);
    f.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    return f;
}

class cAcmResampler : public qvn_cResampler {
public:
    explicit cAcmResampler(HACMSTREAM stream) : m_hStream(stream) {}
    ~cAcmResampler() override { acmStreamClose(m_hStream, 0); }

    void Push(const int16_t* in, int frames, std::vector<int16_t>* out) override {
        if (frames <= 0) return;
        // What the converter left of the last call comes first.
        m_Source.insert(m_Source.end(), in, in + static_cast<size_t>(frames) * 2);
        Convert(m_bStarted ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START,
                out);
        m_bStarted = true;
    }

    void Flush(std::vector<int16_t>* out) override {
        if (m_bStarted) Convert(ACM_STREAMCONVERTF_END, out);
        m_Source.clear();
    }

private:
    void Convert(DWORD flags, std::vector<int16_t>* out) {
        const DWORD sourceBytes = static_cast<DWORD>(m_Source.size() * 2);
        DWORD room = 0;
        if (acmStreamSize(m_hStream, sourceBytes ? sourceBytes : 4, &room, ACM_STREAMSIZEF_SOURCE) != 0) return;
        room += 64;
        const size_t at = out->size();
        out->resize(at + room / 2);
        ACMSTREAMHEADER header;
        std::memset(&header, 0, sizeof header);
        header.cbStruct = sizeof header;
        header.pbSrc = reinterpret_cast<LPBYTE>(m_Source.data());
        header.cbSrcLength = sourceBytes;
        header.pbDst = reinterpret_cast<LPBYTE>(out->data() + at);
        header.cbDstLength = room;
        DWORD used = 0, made = 0;
        if (acmStreamPrepareHeader(m_hStream, &header, 0) == 0) {
            if (acmStreamConvert(m_hStream, &header, flags) == 0) {
                used = header.cbSrcLengthUsed;
                made = header.cbDstLengthUsed;
            }
            acmStreamUnprepareHeader(m_hStream, &header, 0);
        }
        out->resize(at + made / 4 * 2);
        m_Source.erase(m_Source.begin(), m_Source.begin() + static_cast<std::ptrdiff_t>(used / 4 * 2));
    }

    HACMSTREAM m_hStream;
    std::vector<int16_t> m_Source;
    bool m_bStarted = false;
};

}  // namespace

std::unique_ptr<qvn_cResampler> qvn_cResampler::Create(int inRate, int outRate, std::string* why) {
    if (inRate <= 0 || outRate <= 0) {
        if (why) *why = "a sampling rate is not positive";
        return nullptr;
    }
    WAVEFORMATEX source = Stereo16(inRate), target = Stereo16(outRate);
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &source, &target, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME) != 0) {
        if (why) *why = "the system's sound converter (ACM) cannot convert between these rates";
        return nullptr;
    }
    return std::unique_ptr<qvn_cResampler>(new cAcmResampler(stream));
}
