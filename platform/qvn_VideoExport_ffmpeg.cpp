// The video export on the FFmpeg libraries (libavformat, libavcodec,
// libswscale, libavutil).
#include "qvn_VideoExport.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "qvn_Png.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kFrameWidth = 320;
constexpr int kFrameHeight = 240;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class cFfmpegExport : public qvn_cVideoExport {
public:
    ~cFfmpegExport() override {
        std::string ignored;
        if (m_pFormat) Finish(&ignored);
        Free();
    }

    bool Open(const qvn_SVideoSettings& settings, std::string* error) {
        m_Settings = settings;
        // The encoders' own reports (settings, statistics) are not for the
        // user of a capture; errors still show.
        av_log_set_level(AV_LOG_ERROR);
        m_eContainer = qvn_VideoContainerOf(settings.path);
        if (m_eContainer == qvn_eVideoContainer::kUnknown) {
            *error = settings.path + ": a video file ends in .mkv (lossless) or .mp4 (H.264)";
            return false;
        }
        if (settings.scale < 1 || settings.scale > kQvnVideoMaxScale || settings.fps < 1) {
            *error = "video: the scale is 1 to 8 and the frame rate at least 1";
            return false;
        }
        const char* muxer = m_eContainer == qvn_eVideoContainer::kMkv ? "matroska" : "mp4";
        int r = avformat_alloc_output_context2(&m_pFormat, nullptr, muxer, settings.path.c_str());
        if (r < 0 || !m_pFormat) {
            *error = settings.path + ": " + AvError(r);
            return false;
        }
        // Opened at once, so a path that cannot be written is reported before
        // the show plays.
        r = avio_open(&m_pFormat->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
        if (r < 0) {
            *error = settings.path + ": cannot write (" + AvError(r) + ")";
            avformat_free_context(m_pFormat);
            m_pFormat = nullptr;
            return false;
        }
        m_WallStart = std::chrono::steady_clock::now();
        return true;
    }

    void OnAudioOpened(int sampleRate) override {
        if (m_bHeader) {
            // Only when the first frame came before any sound device: the
            // file's streams are fixed by then.
            if (!m_nAudioRate) Fail("video: the sound started after the first frame; the video has no sound");
            return;
        }
        m_nAudioRate = sampleRate;
    }

    void OnRunFrame(const uint16_t* pixels, int width, int height, int pitchPixels, uint32_t runPeriod) override {
        if (!m_pFormat || m_bFailed) return;
        if (width != kFrameWidth || height != kFrameHeight) {
            Fail("video: a frame is not 320 x 240; the video stops there");
            return;
        }
        if (!m_bHeader && !WriteHeader()) return;
        if (av_frame_make_writable(m_pEncoderFrame) < 0) return Fail("video: out of memory");
        AVFrame* rgb = m_pSws ? m_pRgbFrame : m_pEncoderFrame;
        if (m_pSws && av_frame_make_writable(m_pRgbFrame) < 0) return Fail("video: out of memory");
        Expand(pixels, pitchPixels, rgb);
        if (m_pSws)
            sws_scale(m_pSws, m_pRgbFrame->data, m_pRgbFrame->linesize, 0, m_pRgbFrame->height, m_pEncoderFrame->data,
                      m_pEncoderFrame->linesize);
        // Periods only grow; the guard keeps the encoder's rule that
        // timestamps increase whatever happens.
        int64_t pts = runPeriod;
        if (pts <= m_nLastPts) pts = m_nLastPts + 1;
        m_nLastPts = pts;
        m_pEncoderFrame->pts = pts;
        Encode(m_pVideo, m_pVideoStream, m_pEncoderFrame);
        ++m_nFrames;
        m_nRunMs = static_cast<uint32_t>((static_cast<uint64_t>(runPeriod) + 1) * 1000u / m_Settings.fps);
        ShowProgress(false);
    }

    void OnRunAudio(const uint8_t* bytes, size_t count) override {
        if (!m_pFormat || m_bFailed || (m_bHeader && !m_pAudio)) return;
        // Little-endian 16-bit samples, whatever this machine's order.
        for (size_t i = 0; i + 1 < count; i += 2)
            m_Pending.push_back(static_cast<int16_t>(static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8))));
        if (m_bHeader) EncodeAudio(false);
    }

    bool Finish(std::string* error) override {
        if (!m_pFormat) return !m_bFailed;
        if (!m_bHeader && !m_bFailed) WriteHeader();
        if (m_bHeader) {
            if (m_pAudio) {
                EncodeAudio(true);
                Encode(m_pAudio, m_pAudioStream, nullptr);
            }
            Encode(m_pVideo, m_pVideoStream, nullptr);
            const int r = av_write_trailer(m_pFormat);
            if (r < 0) Fail(m_Settings.path + ": cannot finish the file (" + AvError(r) + ")");
        }
        if (m_pFormat->pb && avio_closep(&m_pFormat->pb) < 0) Fail(m_Settings.path + ": cannot close the file");
        avformat_free_context(m_pFormat);
        m_pFormat = nullptr;
        ShowProgress(true);
        if (m_bFailed) *error = m_Error;
        return !m_bFailed;
    }

    uint32_t FramesWritten() const override { return m_nFrames; }

private:
    void Fail(const std::string& message) {
        if (m_bFailed) return;
        m_bFailed = true;
        m_Error = message;
        std::fprintf(stderr, "%s%s\n", m_bProgressShown ? "\n" : "", message.c_str());
        m_bProgressShown = false;
    }

    // 5-6-5 to 8 bits a channel as the PNG files have it (bit replication),
    // each pixel an N x N block: the .mkv's frames are the PNGs scaled up,
    // exactly.
    void Expand(const uint16_t* pixels, int pitchPixels, AVFrame* out) {
        const int n = m_Settings.scale;
        if (m_Settings.filter != qvn_eFilter::kNearest) {
            // The look as a screen of the video's size shows it.
            const int w = kFrameWidth * n, h = kFrameHeight * n;
            m_Filtered.resize(static_cast<size_t>(w) * h);
            qvn_FilterPicture(m_Settings.filter, pixels, kFrameWidth, kFrameHeight, pitchPixels, w, h,
                              qvn_FilterRect(m_Settings.filter, w, h, kFrameWidth, kFrameHeight), m_Filtered.data());
            for (int y = 0; y < h; ++y)
                std::memcpy(out->data[0] + static_cast<size_t>(y) * out->linesize[0], &m_Filtered[static_cast<size_t>(y) * w],
                            static_cast<size_t>(w) * 4);
            return;
        }
        for (int y = 0; y < kFrameHeight; ++y) {
            const uint16_t* src = pixels + static_cast<size_t>(y) * pitchPixels;
            uint32_t* row = reinterpret_cast<uint32_t*>(out->data[0] + static_cast<size_t>(y) * n * out->linesize[0]);
            uint32_t* o = row;
            for (int x = 0; x < kFrameWidth; ++x) {
                const uint32_t rgb = qvn_565ToRGB32(src[x]);
                for (int i = 0; i < n; ++i) *o++ = rgb;
            }
            for (int i = 1; i < n; ++i)
                std::memcpy(out->data[0] + (static_cast<size_t>(y) * n + i) * out->linesize[0], row,
                            static_cast<size_t>(kFrameWidth) * n * 4);
        }
    }

    bool OpenVideo() {
        const bool mkv = m_eContainer == qvn_eVideoContainer::kMkv;
        const AVCodec* codec = nullptr;
        if (mkv) {
            codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
        } else {
            codec = avcodec_find_encoder_by_name("libx264");
            if (!codec) codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        }
        if (!codec) {
            Fail(std::string("video: this FFmpeg has no ") + (mkv ? "FFV1" : "H.264") + " encoder");
            return false;
        }
        m_pVideo = avcodec_alloc_context3(codec);
        if (!m_pVideo) return false;
        AVCodecContext* c = m_pVideo;
        c->width = kFrameWidth * m_Settings.scale;
        c->height = kFrameHeight * m_Settings.scale;
        c->time_base = AVRational{1, m_Settings.fps};
        c->framerate = AVRational{m_Settings.fps, 1};
        c->sample_aspect_ratio = AVRational{1, 1};
        if (mkv) {
            // The frames as 0x00RRGGBB words, the PNG writer's own pixels;
            // FFV1 keeps them bit for bit. Every frame a key frame, so any
            // point of the file can be reached.
            c->pix_fmt = AV_PIX_FMT_0RGB32;
            c->gop_size = 1;
            c->level = 3;
            c->thread_count = 0;
            av_opt_set_int(c->priv_data, "slices", 4, 0);
            av_opt_set_int(c->priv_data, "slicecrc", 1, 0);
        } else {
            c->pix_fmt = AV_PIX_FMT_YUV420P;
            // A key frame every two seconds: each one starts a fragment.
            c->gop_size = 2 * m_Settings.fps;
            c->color_range = AVCOL_RANGE_MPEG;
            c->colorspace = AVCOL_SPC_BT709;
            c->color_primaries = AVCOL_PRI_BT709;
            c->color_trc = AVCOL_TRC_BT709;
            c->thread_count = 0;
            av_opt_set(c->priv_data, "preset", "veryfast", 0);
            // Constant quality high enough that the upscaled pixels stay
            // crisp; an encoder without that setting gets a generous rate.
            if (av_opt_set(c->priv_data, "crf", "17", 0) < 0) c->bit_rate = 20000000;
        }
        if (m_pFormat->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int r = avcodec_open2(c, codec, nullptr);
        if (r < 0) {
            Fail(std::string("video: cannot open the ") + codec->name + " encoder (" + AvError(r) + ")");
            return false;
        }
        m_pVideoStream = avformat_new_stream(m_pFormat, nullptr);
        if (!m_pVideoStream || avcodec_parameters_from_context(m_pVideoStream->codecpar, c) < 0) return false;
        m_pVideoStream->time_base = c->time_base;
        m_pVideoStream->avg_frame_rate = c->framerate;
        m_pVideoStream->sample_aspect_ratio = c->sample_aspect_ratio;

        m_pEncoderFrame = av_frame_alloc();
        if (!m_pEncoderFrame) return false;
        m_pEncoderFrame->format = c->pix_fmt;
        m_pEncoderFrame->width = c->width;
        m_pEncoderFrame->height = c->height;
        if (av_frame_get_buffer(m_pEncoderFrame, 0) < 0) return false;
        if (!mkv) {
            m_pRgbFrame = av_frame_alloc();
            if (!m_pRgbFrame) return false;
            m_pRgbFrame->format = AV_PIX_FMT_0RGB32;
            m_pRgbFrame->width = c->width;
            m_pRgbFrame->height = c->height;
            if (av_frame_get_buffer(m_pRgbFrame, 0) < 0) return false;
            // Same size: only the colour conversion, with the chroma taken
            // from every pixel.
            m_pSws = sws_getContext(c->width, c->height, AV_PIX_FMT_0RGB32, c->width, c->height, AV_PIX_FMT_YUV420P,
                                    SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
            if (!m_pSws) return false;
            const int* rgb = sws_getCoefficients(SWS_CS_DEFAULT);
            const int* yuv = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(m_pSws, rgb, 1, yuv, 0, 0, 1 << 16, 1 << 16);
        }
        return true;
    }

    bool OpenAudio() {
        const bool mkv = m_eContainer == qvn_eVideoContainer::kMkv;
        const AVCodec* codec = avcodec_find_encoder(mkv ? AV_CODEC_ID_FLAC : AV_CODEC_ID_AAC);
        if (!codec) {
            Fail(std::string("video: this FFmpeg has no ") + (mkv ? "FLAC" : "AAC") + " encoder");
            return false;
        }
        m_pAudio = avcodec_alloc_context3(codec);
        if (!m_pAudio) return false;
        AVCodecContext* c = m_pAudio;
        c->sample_rate = m_nAudioRate;
        av_channel_layout_default(&c->ch_layout, 2);
        c->sample_fmt = mkv ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
        if (!mkv) c->bit_rate = 256000;
        c->time_base = AVRational{1, m_nAudioRate};
        if (m_pFormat->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int r = avcodec_open2(c, codec, nullptr);
        if (r < 0) {
            Fail(std::string("video: cannot open the ") + codec->name + " encoder at " + std::to_string(m_nAudioRate) +
                 " Hz (" + AvError(r) + ")");
            return false;
        }
        m_pAudioStream = avformat_new_stream(m_pFormat, nullptr);
        if (!m_pAudioStream || avcodec_parameters_from_context(m_pAudioStream->codecpar, c) < 0) return false;
        m_pAudioStream->time_base = c->time_base;
        m_nAudioFrameSamples = c->frame_size > 0 ? c->frame_size : 4096;
        m_pAudioFrame = av_frame_alloc();
        if (!m_pAudioFrame) return false;
        m_pAudioFrame->format = c->sample_fmt;
        m_pAudioFrame->sample_rate = c->sample_rate;
        m_pAudioFrame->nb_samples = m_nAudioFrameSamples;
        if (av_channel_layout_copy(&m_pAudioFrame->ch_layout, &c->ch_layout) < 0) return false;
        return av_frame_get_buffer(m_pAudioFrame, 0) >= 0;
    }

    // The streams are known at the first frame: the sound device opens
    // before the show's first frame, and its rate is the file's.
    bool WriteHeader() {
        m_bHeader = true;
        if (!OpenVideo()) {
            Fail("video: cannot set up the video stream");
            return false;
        }
        if (m_nAudioRate > 0 && !OpenAudio()) {
            Fail("video: cannot set up the sound stream");
            return false;
        }
        AVDictionary* options = nullptr;
        // Fragments, each one whole, after a header that needs no rewrite:
        // a run killed midway leaves a file that plays up to its last
        // fragment.
        if (m_eContainer == qvn_eVideoContainer::kMp4) {
            av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+delay_moov+default_base_moof", 0);
            av_dict_set(&options, "use_editlist", "1", 0);
        }
        const int r = avformat_write_header(m_pFormat, &options);
        av_dict_free(&options);
        if (r < 0) {
            Fail(m_Settings.path + ": cannot write the header (" + AvError(r) + ")");
            return false;
        }
        EncodeAudio(false);
        return true;
    }

    // Whole encoder frames of the pending samples; at the end, the rest too.
    void EncodeAudio(bool last) {
        if (!m_pAudio) return;
        const size_t frameValues = static_cast<size_t>(m_nAudioFrameSamples) * 2;
        size_t used = 0;
        while (!m_bFailed && (m_Pending.size() - used >= frameValues || (last && m_Pending.size() > used))) {
            size_t values = m_Pending.size() - used;
            if (values > frameValues) values = frameValues;
            if (av_frame_make_writable(m_pAudioFrame) < 0) return Fail("video: out of memory");
            const int samples = static_cast<int>(values / 2);
            const int16_t* in = m_Pending.data() + used;
            // An encoder that takes only whole frames gets the last one
            // padded with silence.
            const bool shortOk = (m_pAudio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
            m_pAudioFrame->nb_samples = shortOk ? samples : m_nAudioFrameSamples;
            if (m_pAudio->sample_fmt == AV_SAMPLE_FMT_S16) {
                int16_t* out = reinterpret_cast<int16_t*>(m_pAudioFrame->data[0]);
                std::memcpy(out, in, values * 2);
                if (m_pAudioFrame->nb_samples > samples)
                    std::memset(out + values, 0, (static_cast<size_t>(m_pAudioFrame->nb_samples) * 2 - values) * 2);
            } else {
                float* left = reinterpret_cast<float*>(m_pAudioFrame->data[0]);
                float* right = reinterpret_cast<float*>(m_pAudioFrame->data[1]);
                for (int i = 0; i < m_pAudioFrame->nb_samples; ++i) {
                    left[i] = i < samples ? in[2 * i] / 32768.0f : 0.0f;
                    right[i] = i < samples ? in[2 * i + 1] / 32768.0f : 0.0f;
                }
            }
            m_pAudioFrame->pts = m_nAudioPts;
            m_nAudioPts += samples;
            Encode(m_pAudio, m_pAudioStream, m_pAudioFrame);
            used += values;
        }
        m_Pending.erase(m_Pending.begin(), m_Pending.begin() + static_cast<std::ptrdiff_t>(used));
    }

    // Sends a frame (null: the end) and writes every packet that comes out.
    void Encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        if (!codec || m_bFailed) return;
        int r = avcodec_send_frame(codec, frame);
        if (r < 0 && r != AVERROR_EOF) return Fail(std::string("video: the ") + codec->codec->name +
                                                   " encoder refused a frame (" + AvError(r) + ")");
        if (!m_pPacket) m_pPacket = av_packet_alloc();
        if (!m_pPacket) return Fail("video: out of memory");
        while ((r = avcodec_receive_packet(codec, m_pPacket)) >= 0) {
            av_packet_rescale_ts(m_pPacket, codec->time_base, stream->time_base);
            m_pPacket->stream_index = stream->index;
            r = av_interleaved_write_frame(m_pFormat, m_pPacket);
            if (r < 0) return Fail(m_Settings.path + ": cannot write (" + AvError(r) + ")");
        }
        if (r != AVERROR(EAGAIN) && r != AVERROR_EOF)
            Fail(std::string("video: the ") + codec->codec->name + " encoder failed (" + AvError(r) + ")");
    }

    void ShowProgress(bool final) {
        if (!m_Settings.progress || !isatty(2)) return;
        const auto now = std::chrono::steady_clock::now();
        if (!final && now - m_LastProgress < std::chrono::milliseconds(250)) return;
        m_LastProgress = now;
        qvn_SVideoProgress p;
        p.frames = m_nFrames;
        p.runMs = m_nRunMs;
        p.plannedMs = m_Settings.plannedMs;
        p.wallSeconds = std::chrono::duration<double>(now - m_WallStart).count();
        std::string line = qvn_VideoProgressLine(p);
        if (final) line = "video: " + std::to_string(m_nFrames) + " frames written to " + m_Settings.path;
        // Spaces clear what a longer line before left.
        std::fprintf(stderr, "\r%-78s%s", line.c_str(), final ? "\n" : "");
        std::fflush(stderr);
        m_bProgressShown = !final;
    }

    void Free() {
        if (m_pFormat) {
            if (m_pFormat->pb) avio_closep(&m_pFormat->pb);
            avformat_free_context(m_pFormat);
            m_pFormat = nullptr;
        }
        avcodec_free_context(&m_pVideo);
        avcodec_free_context(&m_pAudio);
        av_frame_free(&m_pEncoderFrame);
        av_frame_free(&m_pRgbFrame);
        av_frame_free(&m_pAudioFrame);
        av_packet_free(&m_pPacket);
        sws_freeContext(m_pSws);
        m_pSws = nullptr;
    }

    qvn_SVideoSettings m_Settings;
    qvn_eVideoContainer m_eContainer = qvn_eVideoContainer::kUnknown;
    AVFormatContext* m_pFormat = nullptr;
    AVCodecContext* m_pVideo = nullptr;
    AVCodecContext* m_pAudio = nullptr;
    AVStream* m_pVideoStream = nullptr;
    AVStream* m_pAudioStream = nullptr;
    AVFrame* m_pEncoderFrame = nullptr;  // what the video encoder takes
    std::vector<uint32_t> m_Filtered;    // the frame in its look, before it goes into the RGB frame
    AVFrame* m_pRgbFrame = nullptr;      // the scaled RGB frame before conversion (.mp4)
    AVFrame* m_pAudioFrame = nullptr;
    AVPacket* m_pPacket = nullptr;
    SwsContext* m_pSws = nullptr;
    bool m_bHeader = false;
    bool m_bFailed = false;
    std::string m_Error;
    int m_nAudioRate = 0;
    int m_nAudioFrameSamples = 0;
    int64_t m_nAudioPts = 0;
    std::vector<int16_t> m_Pending;  // interleaved stereo not yet encoded
    int64_t m_nLastPts = -1;
    uint32_t m_nFrames = 0;
    uint32_t m_nRunMs = 0;
    std::chrono::steady_clock::time_point m_WallStart;
    std::chrono::steady_clock::time_point m_LastProgress;
    bool m_bProgressShown = false;
};

}  // namespace

bool qvn_VideoExportBuilt() { return true; }

std::unique_ptr<qvn_cVideoExport> qvn_cVideoExport::Open(const qvn_SVideoSettings& settings, std::string* error) {
    std::unique_ptr<cFfmpegExport> video(new cFfmpegExport);
    if (!video->Open(settings, error)) return nullptr;
    return video;
}
