#include "jpeg_oracle.h"

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace {

struct SErrorJump {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void ErrorExit(j_common_ptr cinfo) {
    SErrorJump* e = reinterpret_cast<SErrorJump*>(cinfo->err);
    longjmp(e->jump, 1);
}

void Silent(j_common_ptr, int) {}

}  // namespace

std::vector<uint8_t> OracleEncode(const SPicture& picture, const SEncodeSettings& s) {
    jpeg_compress_struct cinfo;
    SErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ErrorExit;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> grey;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = picture.width;
    cinfo.image_height = picture.height;
    cinfo.input_components = s.components;
    cinfo.in_color_space = s.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, s.quality, TRUE);
    if (s.components == 3) {
        cinfo.comp_info[0].h_samp_factor = s.h0;
        cinfo.comp_info[0].v_samp_factor = s.v0;
        cinfo.comp_info[1].h_samp_factor = cinfo.comp_info[1].v_samp_factor = 1;
        cinfo.comp_info[2].h_samp_factor = cinfo.comp_info[2].v_samp_factor = 1;
    }
    cinfo.restart_interval = s.restartInterval;
    cinfo.optimize_coding = s.optimize ? TRUE : FALSE;
    jpeg_scan_info scans[3];
    if (s.separateScans && s.components == 3) {
        for (int i = 0; i < 3; ++i) {
            scans[i].comps_in_scan = 1;
            scans[i].component_index[0] = i;
            scans[i].Ss = 0;
            scans[i].Se = 63;
            scans[i].Ah = scans[i].Al = 0;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = 3;
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (s.components == 1) {
        grey.resize(picture.width);
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        const uint8_t* row = picture.bytes.data() + size_t(cinfo.next_scanline) * picture.width * picture.channels;
        JSAMPROW rowPtr;
        if (s.components == 1) {
            for (int x = 0; x < picture.width; ++x) grey[x] = row[x * picture.channels];
            rowPtr = grey.data();
        } else {
            rowPtr = const_cast<JSAMPROW>(row);
        }
        jpeg_write_scanlines(&cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

bool OracleDecode(const std::vector<uint8_t>& jpeg, SPicture* out) {
    jpeg_decompress_struct cinfo;
    SErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = ErrorExit;
    err.mgr.emit_message = Silent;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out->width = cinfo.output_width;
    out->height = cinfo.output_height;
    out->channels = cinfo.output_components;
    out->bytes.assign(size_t(out->width) * out->height * out->channels, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->bytes.data() + size_t(cinfo.output_scanline) * out->width * out->channels;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool ReadPnm(const std::string& path, SPicture* out) {
    std::vector<uint8_t> b = ReadFileBytes(path);
    size_t pos = 0;
    auto token = [&]() {
        std::string t;
        while (pos < b.size()) {
            if (b[pos] == '#') {
                while (pos < b.size() && b[pos] != '\n') ++pos;
            } else if (std::isspace(b[pos])) {
                if (!t.empty()) break;
                ++pos;
            } else {
                t += static_cast<char>(b[pos++]);
            }
        }
        return t;
    };
    const std::string magic = token();
    if (magic != "P5" && magic != "P6") return false;
    out->width = std::stoi(token());
    out->height = std::stoi(token());
    if (std::stoi(token()) != 255) return false;
    ++pos;  // the single whitespace byte before the samples
    out->channels = magic == "P6" ? 3 : 1;
    const size_t n = size_t(out->width) * out->height * out->channels;
    if (b.size() < pos + n) return false;
    out->bytes.assign(b.begin() + pos, b.begin() + pos + n);
    return true;
}

SPicture MakeTestPicture(int width, int height, uint32_t seed) {
    SPicture p;
    p.width = width;
    p.height = height;
    p.channels = 3;
    p.bytes.resize(size_t(width) * height * 3);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = static_cast<int>((state >> 16) & 15) - 8;
            uint8_t* px = &p.bytes[(size_t(y) * width + x) * 3];
            const int r = (x * 255) / (width > 1 ? width - 1 : 1);
            const int g = (y * 255) / (height > 1 ? height - 1 : 1);
            const int b = ((x / 8 + y / 8) & 1) ? 200 : 40;  // hard edges
            const int v[3] = {r + noise, g - noise, b + noise / 2};
            for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(v[c] < 0 ? 0 : v[c] > 255 ? 255 : v[c]);
        }
    }
    return p;
}

SDiff ComparePictures(const uint8_t* ours, int bytesPerPixel, const SPicture& ref) {
    SDiff d;
    double sum = 0;
    size_t count = 0;
    const size_t pixels = size_t(ref.width) * ref.height;
    for (size_t i = 0; i < pixels; ++i) {
        int o[3], r[3];
        if (bytesPerPixel == 4) {
            uint32_t p;
            std::memcpy(&p, ours + 4 * i, 4);
            o[0] = (p >> 16) & 255;
            o[1] = (p >> 8) & 255;
            o[2] = p & 255;
        } else {
            o[0] = o[1] = o[2] = ours[i];
        }
        for (int c = 0; c < 3; ++c) r[c] = ref.channels == 3 ? ref.bytes[i * 3 + c] : ref.bytes[i];
        const int channels = (ref.channels == 1 && bytesPerPixel == 1) ? 1 : 3;
        for (int c = 0; c < channels; ++c) {
            const int diff = std::abs(o[c] - r[c]);
            if (diff > d.maxDiff) d.maxDiff = diff;
            sum += double(diff) * diff;
            ++count;
        }
    }
    const double mse = count ? sum / count : 0;
    d.psnr = mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
    return d;
}

long FindMarker(const std::vector<uint8_t>& jpeg, int code) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code) return static_cast<long>(i);
    return -1;
}
