// The resampler on FFmpeg's libswresample: its default windowed-sinc filter,
// stereo 16-bit in and out.
#include "qvn_Resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

class cSwrResampler : public qvn_cResampler {
public:
    explicit cSwrResampler(SwrContext* context) : m_pContext(context) {}
    ~cSwrResampler() override { swr_free(&m_pContext); }

    void Push(const int16_t* in, int frames, std::vector<int16_t>* out) override {
        if (frames <= 0) return;
        Convert(reinterpret_cast<const uint8_t*>(in), frames, out);
    }

    void Flush(std::vector<int16_t>* out) override { Convert(nullptr, 0, out); }

private:
    void Convert(const uint8_t* in, int frames, std::vector<int16_t>* out) {
        // Room for everything the call can give: the input converted plus
        // what the filter held from before, with a little to spare.
        const int room = swr_get_out_samples(m_pContext, frames) + 16;
        if (room <= 0) return;
        const size_t at = out->size();
        out->resize(at + static_cast<size_t>(room) * 2);
        uint8_t* dst = reinterpret_cast<uint8_t*>(out->data() + at);
        const uint8_t* src = in;
        const int made = swr_convert(m_pContext, &dst, room, in ? &src : nullptr, frames);
        out->resize(at + static_cast<size_t>(made > 0 ? made : 0) * 2);
    }

    SwrContext* m_pContext;
};

}  // namespace

std::unique_ptr<qvn_cResampler> qvn_cResampler::Create(int inRate, int outRate, std::string* why) {
    if (inRate <= 0 || outRate <= 0) {
        if (why) *why = "a sampling rate is not positive";
        return nullptr;
    }
    SwrContext* context = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    int r = swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_S16, outRate, &stereo, AV_SAMPLE_FMT_S16, inRate, 0,
                                nullptr);
    if (r >= 0) r = swr_init(context);
    if (r < 0) {
        swr_free(&context);
        if (why) *why = "the resampler cannot start";
        return nullptr;
    }
    return std::unique_ptr<qvn_cResampler>(new cSwrResampler(context));
}
