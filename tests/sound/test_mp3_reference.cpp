#include "test_mp3_reference.h"

#include <mpg123.h>

#include <algorithm>

#include "test_mp3_support.h"

namespace mp3test {

std::vector<float> DecodeWithMpg123(const std::vector<uint8_t>& bytes, int* channels, int* rate) {
    std::vector<float> out;
    mpg123_init();
    int err = 0;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    mpg123_param(h, MPG123_FLAGS, MPG123_FORCE_FLOAT | MPG123_QUIET, 0.0);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_open_feed(h);
    std::vector<unsigned char> buf(1 << 16);
    size_t done = 0;
    int ret = mpg123_decode(h, bytes.data(), bytes.size(), buf.data(), buf.size(), &done);
    for (;;) {
        if (ret == MPG123_NEW_FORMAT) {
            long r = 0;
            int enc = 0;
            mpg123_getformat(h, &r, channels, &enc);
            if (rate) *rate = static_cast<int>(r);
        }
        const float* f = reinterpret_cast<const float*>(buf.data());
        out.insert(out.end(), f, f + done / sizeof(float));
        if (ret == MPG123_ERR || ret == MPG123_NEED_MORE) break;
        ret = mpg123_decode(h, nullptr, 0, buf.data(), buf.size(), &done);
    }
    mpg123_delete(h);
    return out;
}

double PsnrAgainstReference(const std::vector<float>& ours, const std::vector<float>& ref, double* maxAbsLsb) {
    std::vector<float> clipped(ref.size());
    for (size_t i = 0; i < ref.size(); ++i) clipped[i] = std::clamp(ref[i], -1.0f, 32767.0f / 32768.0f);
    const size_t n = std::min(ours.size(), ref.size());
    return Psnr(ours.data(), clipped.data(), n, maxAbsLsb);
}

}  // namespace mp3test
