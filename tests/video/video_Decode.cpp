#include "video_Decode.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

struct SDecoder {
    AVCodecContext* codec = nullptr;
    ~SDecoder() { avcodec_free_context(&codec); }
    bool Open(const AVStream* stream) {
        const AVCodec* c = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!c) return false;
        codec = avcodec_alloc_context3(c);
        if (!codec || avcodec_parameters_to_context(codec, stream->codecpar) < 0) return false;
        codec->pkt_timebase = stream->time_base;
        return avcodec_open2(codec, c, nullptr) >= 0;
    }
};

void TakeVideo(SDecodedVideo* out, const AVFrame* frame, const AVStream* stream, SwsContext** sws) {
    std::vector<uint32_t> pixels(static_cast<size_t>(frame->width) * frame->height);
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(pixels.data())};
    int dstStride[1] = {frame->width * 4};
    *sws = sws_getCachedContext(*sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                frame->width, frame->height, AV_PIX_FMT_0RGB32,
                                SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (frame->format == AV_PIX_FMT_0RGB32) {
        for (int y = 0; y < frame->height; ++y)
            std::memcpy(pixels.data() + static_cast<size_t>(y) * frame->width, frame->data[0] + y * frame->linesize[0],
                        frame->width * 4u);
    } else {
        // The colours the file says it holds (studio range, BT.709).
        const int* yuv = sws_getCoefficients(frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
        sws_setColorspaceDetails(*sws, yuv, frame->color_range == AVCOL_RANGE_JPEG, sws_getCoefficients(SWS_CS_DEFAULT),
                                 1, 0, 1 << 16, 1 << 16);
        sws_scale(*sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
    }
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    out->frames.push_back(std::move(pixels));
    out->frameSeconds.push_back(frame->best_effort_timestamp * av_q2d(stream->time_base));
}

void TakeAudio(SDecodedVideo* out, const AVFrame* frame, const AVStream* stream) {
    if (out->audio.empty())
        out->audioStartSample = av_rescale_q(frame->best_effort_timestamp, stream->time_base, AVRational{1, frame->sample_rate});
    const int channels = frame->ch_layout.nb_channels;
    for (int i = 0; i < frame->nb_samples; ++i) {
        for (int ch = 0; ch < 2 && ch < channels; ++ch) {
            float v = 0;
            switch (frame->format) {
            case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t*>(frame->data[0])[i * channels + ch]; break;
            case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<const int16_t*>(frame->data[ch])[i]; break;
            case AV_SAMPLE_FMT_FLTP: v = reinterpret_cast<const float*>(frame->data[ch])[i] * 32768.0f; break;
            case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float*>(frame->data[0])[i * channels + ch] * 32768.0f; break;
            default: break;
            }
            out->audio.push_back(v);
        }
    }
}

}  // namespace

SDecodedVideo DecodeVideo(const std::string& path) {
    SDecodedVideo out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        out.error = "cannot open " + path;
        return out;
    }
    avformat_find_stream_info(format, nullptr);
    const int vi = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int ai = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    SDecoder video, audio;
    if (vi < 0 || !video.Open(format->streams[vi])) {
        out.error = "no video stream that decodes in " + path;
        avformat_close_input(&format);
        return out;
    }
    if (ai >= 0 && !audio.Open(format->streams[ai])) {
        out.error = "a sound stream that does not decode in " + path;
        avformat_close_input(&format);
        return out;
    }
    const AVStream* vs = format->streams[vi];
    out.videoCodec = avcodec_get_name(vs->codecpar->codec_id);
    out.width = vs->codecpar->width;
    out.height = vs->codecpar->height;
    out.rateNum = vs->avg_frame_rate.num;
    out.rateDen = vs->avg_frame_rate.den;
    if (ai >= 0) {
        out.audioCodec = avcodec_get_name(format->streams[ai]->codecpar->codec_id);
        out.sampleRate = format->streams[ai]->codecpar->sample_rate;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    auto drain = [&](SDecoder& d, int index) {
        while (avcodec_receive_frame(d.codec, frame) >= 0) {
            if (index == vi) TakeVideo(&out, frame, format->streams[vi], &sws);
            else TakeAudio(&out, frame, format->streams[ai]);
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        SDecoder* d = packet->stream_index == vi ? &video : packet->stream_index == ai ? &audio : nullptr;
        if (d && avcodec_send_packet(d->codec, packet) >= 0) drain(*d, packet->stream_index);
        av_packet_unref(packet);
    }
    avcodec_send_packet(video.codec, nullptr);
    drain(video, vi);
    if (audio.codec) {
        avcodec_send_packet(audio.codec, nullptr);
        drain(audio, ai);
    }
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    out.ok = true;
    return out;
}

std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;  // little-endian words 0xAARRGGBB
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return pixels;
}

std::vector<uint32_t> ScaleUp(const std::vector<uint32_t>& pixels, int width, int height, int n) {
    std::vector<uint32_t> out(pixels.size() * n * n);
    for (int y = 0; y < height * n; ++y)
        for (int x = 0; x < width * n; ++x)
            out[static_cast<size_t>(y) * width * n + x] = pixels[static_cast<size_t>(y / n) * width + x / n];
    return out;
}

std::vector<int16_t> ReadWav(const std::string& path, int* rate) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") || bytes.compare(36, 4, "data")) return {};
    const auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                     static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                     static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
    };
    *rate = static_cast<int>(u32(24));
    size_t dataBytes = u32(40);
    if (dataBytes > bytes.size() - 44) dataBytes = bytes.size() - 44;
    std::vector<int16_t> samples(dataBytes / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[44 + 2 * i]) |
                                          static_cast<uint8_t>(bytes[45 + 2 * i]) << 8);
    return samples;
}

std::vector<SFrameLine> ReadFramesTxt(const std::string& path) {
    std::vector<SFrameLine> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        SFrameLine f;
        std::string crc;
        // A line the program is still writing is not taken.
        if (!(s >> f.frame >> f.virtualMs >> f.half >> f.showMs >> crc >> f.part) || crc.size() != 8) continue;
        f.crc = static_cast<uint32_t>(std::strtoul(crc.c_str(), nullptr, 16));
        lines.push_back(f);
    }
    return lines;
}
