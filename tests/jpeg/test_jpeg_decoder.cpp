// The JPEG decoder against libjpeg-turbo (float IDCT, replicating upsampling)
// on the third-party vectors and on pictures encoded here, its refusals, and
// its behaviour on damaged and truncated data.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <png.h>
#include <sys/wait.h>

#include "../peak_memory.h"
#include "jpeg_oracle.h"
#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"

namespace {

using namespace qvntest;

using ImagePtr = std::unique_ptr<SJpegImage, void (*)(SJpegImage*)>;

ImagePtr Decode(const std::vector<uint8_t>& bytes, int32_t format = QVN_JPEG_RGB32, SJpegInfo* info = nullptr,
                const SJpegOptions* options = nullptr) {
    return ImagePtr(qvn_JpegDecodeMemory(bytes.data(), bytes.size(), format, info, options), qvn_JpegFree);
}

const std::string kVectors = QVN_VECTORS_DIR "/jpeg/";

struct SFatal {
    std::string message;
};
void ThrowFatal(const char* message) { throw SFatal{message}; }

// The FatalError text a decode ends with, or "" when it returns.
std::string FatalTextOf(const std::vector<uint8_t>& bytes) {
    qvn_SetFatalHook(ThrowFatal);
    std::string text;
    try {
        Decode(bytes);
    } catch (const SFatal& f) {
        text = f.message;
    }
    qvn_SetFatalHook(nullptr);
    return text;
}

// The bit-by-bit DECODE procedure of T.81 (F.2.2.3): the reference the lookup
// decoder must follow exactly, in symbols and in bits consumed.
int ReferenceDecodeSymbol(SJpegBitReader& r, const SJpegHuffTable& t) {
    int32_t code = 0;
    for (int l = 1; l <= 16; ++l) {
        code = (code << 1) | static_cast<int32_t>(r.ReadBit());
        if (code <= t.nMaxCode[l]) return t.nHuffVal[t.nValPtr[l] + code - t.nMinCode[l]];
    }
    return -1;
}

SPicture Encoded(int w, int h, const SEncodeSettings& s, std::vector<uint8_t>* jpeg, uint32_t seed = 7) {
    SPicture source = MakeTestPicture(w, h, seed);
    *jpeg = OracleEncode(source, s);
    SPicture reference;
    EXPECT_TRUE(OracleDecode(*jpeg, &reference));
    return reference;
}

const char* const kBaseline[] = {"testimg_old", "testimgcrop", "testimgflt-nosimd", "testimgflt", "testimgfst",
                                 "testimgfst100", "testimggray", "testimgint", "testorig"};

}  // namespace

// ---------------------------------------------------------------------------
// Third-party vectors.

TEST(JpegVectors, BaselineFilesMatchTheFloatReference) {
    if (!VectorsPresent()) GTEST_SKIP() << "no vectors in " << kVectors;
    for (const char* name : kBaseline) {
        SCOPED_TRACE(name);
        SJpegInfo info;
        ImagePtr image(qvn_JpegDecode((kVectors + "baseline/" + name + ".jpg").c_str(), QVN_JPEG_RGB32, &info),
                       qvn_JpegFree);
        ASSERT_TRUE(image) << info.szReason;
        SPicture ref;
        ASSERT_TRUE(ReadPnm(kVectors + "ref/" + name + ".float_nosmooth.pnm", &ref));
        ASSERT_EQ(image->nWidth, ref.width);
        ASSERT_EQ(image->nHeight, ref.height);
        EXPECT_FALSE(info.bTruncated);
        EXPECT_FALSE(info.bMissingEoi);
        const SDiff d = ComparePictures(image->pPixels, image->nBytesPerPixel, ref);
        std::printf("  %-18s max |diff| %d  PSNR %.2f dB\n", name, d.maxDiff, d.psnr);
        EXPECT_LE(d.maxDiff, 4);
        EXPECT_GE(d.psnr, 45.0);
    }
}

TEST(JpegVectors, JpgdecToolWritesTheReferencePicture) {
    if (!VectorsPresent()) GTEST_SKIP() << "no vectors in " << kVectors;
    const std::string tool = QVN_BINARY_DIR "/tools/jpgdec/jpgdec";
    for (const char* name : kBaseline) {
        SCOPED_TRACE(name);
        const std::string out = std::string(QVN_BINARY_DIR "/tests/jpeg/jpgdec_") + name + ".png";
        const std::string cmd = tool + " " + kVectors + "baseline/" + name + ".jpg " + out + " >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        png_image png;
        std::memset(&png, 0, sizeof png);
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, out.c_str()));
        png.format = PNG_FORMAT_BGRA;  // little-endian words 0xAARRGGBB
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
        ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr));
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;
        SPicture ref;
        ASSERT_TRUE(ReadPnm(kVectors + "ref/" + name + ".float_nosmooth.pnm", &ref));
        ASSERT_EQ(int(png.width), ref.width);
        const SDiff d = ComparePictures(pixels.data(), 4, ref);
        EXPECT_LE(d.maxDiff, 4);
        EXPECT_GE(d.psnr, 45.0);
        std::remove(out.c_str());
    }
    // A refused file: exit code 1 and the reason on the error stream.
    const std::string refuse = tool + " " + kVectors + "reject/testimgl_lossless.jpg /dev/null >/dev/null 2>&1";
    const int status = std::system(refuse.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

TEST(JpegVectors, RejectedFilesEndAsTheirKindRequires) {
    if (!VectorsPresent()) GTEST_SKIP() << "no vectors in " << kVectors;
    const std::string reject = kVectors + "reject/";
    // Progressive and arithmetic-coded frames end the program.
    EXPECT_EQ(FatalTextOf(ReadFileBytes(reject + "testprog.jpg")), "-JPEG- Frame type 0x2 unsupported");
    EXPECT_EQ(FatalTextOf(ReadFileBytes(reject + "testimgp.jpg")), "-JPEG- Frame type 0x2 unsupported");
    EXPECT_EQ(FatalTextOf(ReadFileBytes(reject + "test_optimize_12b.jpg")), "-JPEG- Frame type 0x2 unsupported");
    EXPECT_EQ(FatalTextOf(ReadFileBytes(reject + "testimgari.jpg")), "-JPEG- Arithmetic coding unsupported");
    // Lossless data and 4:1:1 sampling: a clean refusal.
    for (const char* name : {"testimgl_lossless.jpg", "reject_g411.jpg"}) {
        SCOPED_TRACE(name);
        SJpegInfo info;
        EXPECT_FALSE(Decode(ReadFileBytes(reject + name), QVN_JPEG_RGB32, &info));
        EXPECT_STRNE(info.szReason, "");
    }
}

TEST(JpegVectors, AcceptedOddFilesDecode) {
    if (!VectorsPresent()) GTEST_SKIP() << "no vectors in " << kVectors;
    const std::string reject = kVectors + "reject/";
    // 4:4:0 is within the factors of 1 and 2: it must match libjpeg.
    std::vector<uint8_t> g440 = ReadFileBytes(reject + "reject_g440.jpg");
    ImagePtr image = Decode(g440);
    ASSERT_TRUE(image);
    SPicture ref;
    ASSERT_TRUE(OracleDecode(g440, &ref));
    SDiff d = ComparePictures(image->pPixels, 4, ref);
    EXPECT_LE(d.maxDiff, 4);
    EXPECT_GE(d.psnr, 45.0);
    // 12-bit frames: the same photograph as testorig, brought down to 8 bits.
    ImagePtr twelve = Decode(ReadFileBytes(reject + "testorig12.jpg"));
    ASSERT_TRUE(twelve);
    ASSERT_TRUE(ReadPnm(kVectors + "ref/testorig.float_nosmooth.pnm", &ref));
    d = ComparePictures(twelve->pPixels, 4, ref);
    EXPECT_GE(d.psnr, 28.0) << "max diff " << d.maxDiff;
    EXPECT_TRUE(Decode(ReadFileBytes(reject + "monkey12.jpg")));
}

// ---------------------------------------------------------------------------
// Pictures encoded here.

TEST(JpegGenerated, SamplingSizesRestartsAndTablesMatchLibjpeg) {
    struct SCase {
        int components, h0, v0;
    } const layouts[] = {{3, 1, 1}, {3, 2, 1}, {3, 2, 2}, {3, 1, 2}, {1, 1, 1}};
    const int sizes[][2] = {{1, 1}, {8, 8}, {17, 9}, {33, 47}, {64, 16}};
    int checked = 0;
    for (const SCase& layout : layouts) {
        for (const auto& size : sizes) {
            for (int variant = 0; variant < 4; ++variant) {
                SEncodeSettings s;
                s.components = layout.components;
                s.h0 = layout.h0;
                s.v0 = layout.v0;
                s.restartInterval = variant == 1 ? 1 : variant == 3 ? 3 : 0;
                s.optimize = variant >= 2;
                s.quality = variant == 2 ? 100 : 80;
                std::vector<uint8_t> jpeg;
                SPicture ref = Encoded(size[0], size[1], s, &jpeg, variant + 1);
                SCOPED_TRACE(testing::Message() << layout.components << " comp " << layout.h0 << "x" << layout.v0
                                                << " " << size[0] << "x" << size[1] << " variant " << variant);
                SJpegInfo info;
                ImagePtr image = Decode(jpeg, QVN_JPEG_RGB32, &info);
                ASSERT_TRUE(image) << info.szReason;
                EXPECT_EQ(info.nRestartInterval, s.restartInterval);
                EXPECT_FALSE(info.bTruncated);
                const SDiff d = ComparePictures(image->pPixels, image->nBytesPerPixel, ref);
                EXPECT_LE(d.maxDiff, 4);
                EXPECT_GE(d.psnr, 45.0);
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 100);
}

TEST(JpegGenerated, NonInterleavedScansPlaceSubsampledBlocks) {
    // One scan per component: the luminance scan of a 4:2:0 file runs over the
    // component's own block grid, not the MCU grid.
    for (int variant = 0; variant < 4; ++variant) {
        SEncodeSettings s;
        s.h0 = s.v0 = 1 + variant % 2;
        s.restartInterval = variant >= 2 ? 3 : 0;  // counted in blocks in such scans
        s.separateScans = true;
        std::vector<uint8_t> jpeg;
        SPicture ref = Encoded(45, 29, s, &jpeg);
        SJpegInfo info;
        ImagePtr image = Decode(jpeg, QVN_JPEG_RGB32, &info);
        ASSERT_TRUE(image) << info.szReason;
        EXPECT_EQ(info.nScans, 3);
        const SDiff d = ComparePictures(image->pPixels, 4, ref);
        EXPECT_LE(d.maxDiff, 4);
        EXPECT_GE(d.psnr, 45.0);
        // The same coefficients in one interleaved scan take the direct path;
        // the picture must not change by a single bit.
        s.separateScans = false;
        std::vector<uint8_t> interleaved;
        Encoded(45, 29, s, &interleaved);
        ImagePtr once = Decode(interleaved);
        ASSERT_TRUE(once);
        EXPECT_EQ(0, std::memcmp(once->pPixels, image->pPixels, image->nBytes));
    }
}

TEST(JpegGenerated, MidGreyWithoutChromaIsExact) {
    SPicture flat;
    flat.width = 20;
    flat.height = 20;
    flat.channels = 3;
    flat.bytes.assign(20 * 20 * 3, 128);
    for (int components : {3, 1}) {
        SEncodeSettings s;
        s.components = components;
        ImagePtr image = Decode(OracleEncode(flat, s));
        ASSERT_TRUE(image);
        for (int i = 0; i < 400; ++i) {
            uint32_t p = image->pPixels[i];
            if (image->nBytesPerPixel == 4) std::memcpy(&p, image->pPixels + 4 * i, 4);
            ASSERT_EQ(p, components == 3 ? 0x00808080u : 128u) << i;
        }
    }
}

TEST(JpegGenerated, EveryOutputFormatPacksTheSameChannels) {
    std::vector<uint8_t> jpeg;
    Encoded(19, 11, SEncodeSettings(), &jpeg);
    ImagePtr base = Decode(jpeg);
    ASSERT_TRUE(base);
    const int n = 19 * 11;
    const int32_t formats[] = {QVN_JPEG_RGB332, QVN_JPEG_555,    QVN_JPEG_565, QVN_JPEG_BGR24,
                               QVN_JPEG_555_32, QVN_JPEG_565_32, QVN_JPEG_777, 0x0123};
    for (int32_t format : formats) {
        SCOPED_TRACE(format);
        ImagePtr image = Decode(jpeg, format);
        ASSERT_TRUE(image);
        const int bpp = format < 0x1000 ? 1 : format >> 12;
        ASSERT_EQ(image->nBytesPerPixel, bpp);
        ASSERT_EQ(image->nBytes, n * bpp);
        for (int i = 0; i < n; ++i) {
            uint32_t p;
            std::memcpy(&p, base->pPixels + 4 * i, 4);
            const uint32_t r = p >> 16, g = (p >> 8) & 255, b = p & 255;
            uint32_t want = 0, got = 0;
            std::memcpy(&got, image->pPixels + size_t(i) * bpp, bpp);
            switch (format) {
            case QVN_JPEG_RGB332: want = (r & 0xE0) | ((g >> 5) << 2) | (b >> 6); break;
            case QVN_JPEG_555:
            case QVN_JPEG_555_32: want = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); break;
            case QVN_JPEG_565:
            case QVN_JPEG_565_32: want = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); break;
            case QVN_JPEG_BGR24: want = b | (g << 8) | (r << 16); break;
            case QVN_JPEG_777: want = ((r >> 1) << 16) | ((g >> 1) << 8) | (b >> 1); break;
            default: want = (r + g + b) / 3; break;
            }
            ASSERT_EQ(got, want) << "pixel " << i;
        }
    }
    // A code of 0x1000 or more outside the table has no defined pixel.
    SJpegInfo info;
    EXPECT_FALSE(Decode(jpeg, 0x4999, &info));
}

TEST(JpegGenerated, ZeroQuantisationEntryTakesThePreviousZigzagEntry) {
    SEncodeSettings s;
    s.components = 1;
    s.quality = 50;
    std::vector<uint8_t> jpeg;
    Encoded(16, 16, s, &jpeg);
    const long dqt = FindMarker(jpeg, 0xDB);
    ASSERT_GE(dqt, 0);
    const size_t table = dqt + 5;  // marker, length, Pq/Tq, then 64 bytes in zigzag order
    // Zero at zigzag 5 acts as entry 4; zero in the first position acts as 16.
    std::vector<uint8_t> zeroed = jpeg, spelled = jpeg;
    zeroed[table + 5] = 0;
    spelled[table + 5] = spelled[table + 4];
    zeroed[table] = 0;
    spelled[table] = 16;
    ImagePtr a = Decode(zeroed), b = Decode(spelled), c = Decode(jpeg);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(0, std::memcmp(a->pPixels, b->pPixels, a->nBytes));
    EXPECT_NE(0, std::memcmp(a->pPixels, c->pPixels, a->nBytes));
}

// ---------------------------------------------------------------------------
// Huffman decoding: the lookup table against the bit-by-bit walk.

TEST(JpegBitReader, SkipsStuffingAndStopsAtMarkers) {
    const uint8_t data[] = {0xAB, 0xFF, 0x00, 0xCD, 0xFF, 0xD9, 0x12};
    SJpegBitReader r;
    r.Init(data, data + sizeof data);
    r.Fill();
    EXPECT_EQ(r.Peek(24), 0xABFFCDu);  // the stuffed zero is gone
    r.Skip(24);
    EXPECT_FALSE(r.Overrun());
    EXPECT_EQ(r.Peek(8), 0u);  // zeros in place of the marker
    EXPECT_EQ(r.pNext, data + 4);  // left on the marker for the search
    r.Skip(1);
    EXPECT_TRUE(r.Overrun());
    // A lone 0xFF at the very end is no data either.
    const uint8_t tail[] = {0x80, 0xFF};
    r.Init(tail, tail + 2);
    r.Fill();
    EXPECT_EQ(r.Peek(16), 0x8000u);
    r.Skip(8);
    EXPECT_FALSE(r.Overrun());
    r.Skip(1);
    EXPECT_TRUE(r.Overrun());
}

TEST(JpegHuffman, LookupDecoderFollowsTheBitByBitWalk) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        // Random counts that fit the code space, leaving some codes unused
        // now and then so invalid strings occur.
        uint8_t bits[17] = {};
        int32_t space = 1, total = 0;
        for (int l = 1; l <= 16; ++l) {
            space *= 2;
            const int32_t limit = std::min<int32_t>(space - (round % 3 == 0 ? 1 : 0), 256 - total);
            const int32_t count = limit > 0 ? int32_t(rng() % (std::min(limit, 40) + 1)) : 0;
            bits[l] = static_cast<uint8_t>(count);
            total += count;
            space -= count;
        }
        uint8_t values[256];
        for (int i = 0; i < 256; ++i) values[i] = static_cast<uint8_t>(rng());
        SJpegHuffTable table;
        ASSERT_TRUE(qvn_JpegBuildHuffTable(bits, values, &table));
        std::vector<uint8_t> stream(512);
        for (auto& b : stream) {
            b = static_cast<uint8_t>(rng());
            if (b == 0xFF) b = 0xFE;  // no markers in this data
        }
        SJpegBitReader fast, slow;
        fast.Init(stream.data(), stream.data() + stream.size());
        slow = fast;
        for (int i = 0; i < 300; ++i) {
            if (fast.nBits < 32) fast.Fill();
            if (slow.nBits < 32) slow.Fill();
            const int a = qvn_JpegDecodeSymbol(fast, table);
            const int b = ReferenceDecodeSymbol(slow, table);
            ASSERT_EQ(a, b) << "round " << round << " symbol " << i;
            ASSERT_EQ(fast.nBits, slow.nBits);
            ASSERT_EQ(fast.nAcc, slow.nAcc);
        }
    }
}

TEST(JpegHuffman, WholePicturesAreBitIdenticalWithTheReferenceWalk) {
    SJpegOptions reference;
    reference.pfnDecodeSymbol = ReferenceDecodeSymbol;
    std::vector<std::vector<uint8_t>> files;
    for (int layout = 0; layout < 3; ++layout) {
        SEncodeSettings s;
        s.h0 = s.v0 = layout == 0 ? 1 : 2;
        s.components = layout == 2 ? 1 : 3;
        s.optimize = layout == 1;
        s.quality = 95;
        s.restartInterval = layout == 1 ? 2 : 0;
        std::vector<uint8_t> jpeg;
        Encoded(50, 38, s, &jpeg);
        files.push_back(jpeg);
    }
    if (VectorsPresent())
        for (const char* name : kBaseline) files.push_back(ReadFileBytes(kVectors + "baseline/" + name + ".jpg"));
    for (const auto& file : files) {
        ImagePtr fast = Decode(file), slow = Decode(file, QVN_JPEG_RGB32, nullptr, &reference);
        ASSERT_TRUE(fast && slow);
        ASSERT_EQ(fast->nBytes, slow->nBytes);
        EXPECT_EQ(0, std::memcmp(fast->pPixels, slow->pPixels, fast->nBytes));
    }
}

TEST(JpegHuffman, ImpossibleCountsAreRefused) {
    uint8_t values[256] = {};
    uint8_t bits[17] = {};
    bits[1] = 2;  // "0" and "1": the whole space, valid
    SJpegHuffTable t;
    EXPECT_TRUE(qvn_JpegBuildHuffTable(bits, values, &t));
    bits[1] = 3;  // three one-bit codes cannot exist
    EXPECT_FALSE(qvn_JpegBuildHuffTable(bits, values, &t));
    uint8_t many[17] = {};
    many[16] = 255;
    many[15] = 2;  // 257 codes
    EXPECT_FALSE(qvn_JpegBuildHuffTable(many, values, &t));
    uint8_t late[17] = {};
    late[1] = 1;
    late[2] = 2;
    late[3] = 1;  // 0, 10, 11, then no room for a third-length code
    EXPECT_FALSE(qvn_JpegBuildHuffTable(late, values, &t));
}

// ---------------------------------------------------------------------------
// Damaged data.

namespace {

std::vector<uint8_t> SmallFile(int restartInterval = 0) {
    SEncodeSettings s;
    s.restartInterval = restartInterval;
    std::vector<uint8_t> jpeg;
    Encoded(40, 24, s, &jpeg);
    return jpeg;
}

void ExpectRefused(const std::vector<uint8_t>& bytes, const char* what) {
    SCOPED_TRACE(what);
    SJpegInfo info;
    ImagePtr image = Decode(bytes, QVN_JPEG_RGB32, &info);
    EXPECT_FALSE(image);
    EXPECT_STRNE(info.szReason, "");
}

}  // namespace

TEST(JpegRobust, BadHeadersAreCleanFailures) {
    const std::vector<uint8_t> good = SmallFile();
    ASSERT_TRUE(Decode(good));
    const long sof = FindMarker(good, 0xC0), sos = FindMarker(good, 0xDA), dht = FindMarker(good, 0xC4);
    ASSERT_GT(sof, 0);
    ASSERT_GT(sos, 0);
    ASSERT_GT(dht, 0);
    auto patched = [&](long at, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[at] = value;
        return b;
    };
    // SOF: FF C0 len(2) P Y(2) X(2) Nf, then id HV Tq per component.
    ExpectRefused(patched(sof + 11, 0x00), "sampling factor 0");
    ExpectRefused(patched(sof + 11, 0x31), "sampling factor 3");
    ExpectRefused(patched(sof + 12, 4), "quantisation selector 4");
    ExpectRefused(patched(sof + 9, 2), "two components");
    ExpectRefused(patched(sof + 9, 4), "four components");
    ExpectRefused(patched(sof + 4, 16), "16-bit samples");
    {
        std::vector<uint8_t> b = patched(sof + 5, 0);
        b[sof + 6] = 0;
        ExpectRefused(b, "zero lines");
        b = patched(sof + 7, 0);
        b[sof + 8] = 0;
        ExpectRefused(b, "zero columns");
        b = patched(sof + 5, 0xFF);
        b[sof + 6] = 0xFF;
        b[sof + 7] = 0xFF;
        b[sof + 8] = 0xFF;
        ExpectRefused(b, "65535 x 65535");
    }
    // SOS: FF DA len(2) Ns, then id and Td/Ta per component.
    ExpectRefused(patched(sos + 6, 0x40), "DC table 4");
    ExpectRefused(patched(sos + 6, 0x05), "AC table 5");
    ExpectRefused(patched(sos + 6, 0x22), "undefined tables");
    ExpectRefused(patched(sos + 5, 9), "unknown component");
    ExpectRefused(patched(sos + 4, 0), "empty scan");
    // DHT: FF C4 len(2) Tc/Th, 16 counts, symbols.
    ExpectRefused(patched(dht + 4, 0x04), "Huffman table 4");
    {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 16; ++i) b[dht + 5 + i] = 0xFF;
        ExpectRefused(b, "4080 codes");
        b = patched(dht + 5, 3);
        ExpectRefused(b, "three one-bit codes");
        // The first DHT of a libjpeg file is the DC table of luminance.
        ASSERT_EQ(good[dht + 4], 0x00);
        b = patched(dht + 5 + 16, 16);
        ExpectRefused(b, "DC category 16");
    }
    // A scan before its frame header, no scan at all, an empty file.
    ExpectRefused({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9},
                  "scan before frame");
    {
        std::vector<uint8_t> b(good.begin(), good.begin() + sos);
        b.push_back(0xFF);
        b.push_back(0xD9);
        ExpectRefused(b, "no scan");
    }
    ExpectRefused({0xFF, 0xD8, 0xFF, 0xD9}, "nothing but SOI and EOI");
    ExpectRefused({}, "empty file");
    ExpectRefused({0x12, 0x34, 0x56}, "not a JPEG");
    // Segment lengths below their minimum.
    {
        std::vector<uint8_t> b(good.begin(), good.begin() + 2);
        const uint8_t badDri[] = {0xFF, 0xDD, 0x00, 0x05, 0x00, 0x01, 0x00};
        b.insert(b.end(), badDri, badDri + sizeof badDri);
        b.insert(b.end(), good.begin() + 2, good.end());
        ExpectRefused(b, "DRI length 5");
        b.assign(good.begin(), good.begin() + 2);
        const uint8_t badCom[] = {0xFF, 0xFE, 0x00, 0x01};
        b.insert(b.end(), badCom, badCom + sizeof badCom);
        b.insert(b.end(), good.begin() + 2, good.end());
        ExpectRefused(b, "COM length 1");
    }
}

TEST(JpegRobust, UnsupportedFramesEndThroughFatalError) {
    const std::vector<uint8_t> good = SmallFile();
    const long sof = FindMarker(good, 0xC0);
    std::vector<uint8_t> b = good;
    b[sof + 1] = 0xC2;
    EXPECT_EQ(FatalTextOf(b), "-JPEG- Frame type 0x2 unsupported");
    b[sof + 1] = 0xC7;
    EXPECT_EQ(FatalTextOf(b), "-JPEG- Frame type 0x7 unsupported");
    b[sof + 1] = 0xCA;
    EXPECT_EQ(FatalTextOf(b), "-JPEG- Arithmetic coding unsupported");
    b[sof + 1] = 0xCC;
    EXPECT_EQ(FatalTextOf(b), "-M_DAC- Arithmetic coding unsupported");
    b[sof + 1] = 0xDC;
    EXPECT_EQ(FatalTextOf(b), "-M_DNL- dynamic resizing unsupported");
}

TEST(JpegRobust, EveryTruncationKeepsTheDecodedPartAndNothingElse) {
    for (int restart : {0, 2}) {
        SCOPED_TRACE(restart);
        const std::vector<uint8_t> good = SmallFile(restart);
        ImagePtr full = Decode(good);
        ASSERT_TRUE(full);
        const int pixels = full->nWidth * full->nHeight;
        int lastKept = 0;
        const long sos = FindMarker(good, 0xDA);
        for (size_t length = 0; length <= good.size(); ++length) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + length);
            SJpegInfo info;
            ImagePtr image = Decode(cut, QVN_JPEG_RGB32, &info);
            // The 40 x 24 4:2:0 frame has 15 + 6 + 6 blocks of at least two
            // bits each: a file with fewer than 7 bytes after the 14 of the
            // scan header cannot hold them and is refused before anything is
            // allocated; from there on the decoded part is kept.
            if (static_cast<long>(length) < sos + 14 + 7) {
                EXPECT_FALSE(image) << length;
                continue;
            }
            ASSERT_TRUE(image) << length << ": " << info.szReason;
            ASSERT_EQ(image->nBytes, full->nBytes);
            // Every pixel is the full picture's or was never written.
            int kept = 0;
            const uint32_t* a = reinterpret_cast<const uint32_t*>(image->pPixels);
            const uint32_t* b = reinterpret_cast<const uint32_t*>(full->pPixels);
            for (int i = 0; i < pixels; ++i) {
                ASSERT_TRUE(a[i] == b[i] || a[i] == 0) << "length " << length << " pixel " << i;
                kept += a[i] == b[i] && a[i] != 0;
            }
            EXPECT_GE(kept, lastKept) << length;
            lastKept = kept;
            if (length >= good.size() - 2) {
                EXPECT_EQ(0, std::memcmp(a, b, full->nBytes)) << length;
                EXPECT_EQ(info.bMissingEoi, length < good.size());
            }
        }
    }
}

TEST(JpegRobust, BrokenRestartMarkersEndTheScanCleanly) {
    const std::vector<uint8_t> good = SmallFile(1);
    ImagePtr full = Decode(good);
    ASSERT_TRUE(full);
    // Turn the second restart marker into another marker code.
    long rst = -1;
    int seen = 0;
    for (size_t i = 0; i + 1 < good.size(); ++i)
        if (good[i] == 0xFF && good[i + 1] >= 0xD0 && good[i + 1] <= 0xD7 && ++seen == 2) rst = long(i);
    ASSERT_GT(rst, 0);
    for (uint8_t code : {uint8_t(0xD9), uint8_t(0xC4), uint8_t(0x00)}) {
        std::vector<uint8_t> b = good;
        b[rst + 1] = code;
        SJpegInfo info;
        ImagePtr image = Decode(b, QVN_JPEG_RGB32, &info);
        if (!image) continue;  // also clean
        const uint32_t* a = reinterpret_cast<const uint32_t*>(image->pPixels);
        const uint32_t* f = reinterpret_cast<const uint32_t*>(full->pPixels);
        // The first two MCUs (16 x 16 each) came before the damage.
        EXPECT_EQ(a[0], f[0]);
        EXPECT_EQ(a[20], f[20]);
    }
}

// ---------------------------------------------------------------------------
// Memory on hostile files

namespace {

std::vector<uint8_t> Segment(int marker, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> s = {0xFF, static_cast<uint8_t>(marker), static_cast<uint8_t>((body.size() + 2) >> 8),
                              static_cast<uint8_t>((body.size() + 2) & 255)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

// A frame of side x side, three components (luma sampled hv), whose every
// block is two bits: a one-symbol DC table and a one-symbol AC table (end of
// block). `scans` lists the components given a scan of their own.
std::vector<uint8_t> TwoBitBlocks(int side, uint8_t hv, const std::vector<int>& scans) {
    std::vector<uint8_t> f = {0xFF, 0xD8};
    auto add = [&](const std::vector<uint8_t>& s) { f.insert(f.end(), s.begin(), s.end()); };
    std::vector<uint8_t> dqt(65, 1);
    dqt[0] = 0;
    add(Segment(0xDB, dqt));
    const uint8_t hi = static_cast<uint8_t>(side >> 8), lo = static_cast<uint8_t>(side & 255);
    add(Segment(0xC0, {8, hi, lo, hi, lo, 3, 1, hv, 0, 2, 0x11, 0, 3, 0x11, 0}));
    std::vector<uint8_t> table(18, 0);
    table[1] = 1;
    add(Segment(0xC4, table));
    table[0] = 0x10;
    add(Segment(0xC4, table));
    const int lumaUp = hv == 0x22 ? 4 : 1;
    for (int c : scans) {
        add(Segment(0xDA, {1, static_cast<uint8_t>(c), 0x00, 0, 63, 0}));
        const size_t blocks = size_t(side) * side / 64 / (c == 1 ? 1 : lumaUp);
        f.resize(f.size() + blocks * 2 / 8, 0);
    }
    f.push_back(0xFF);
    f.push_back(0xD9);
    return f;
}

}  // namespace

TEST(JpegRobust, HostileFramesStayWithinTheirPicture) {
    // 8192 x 8192 with the data of one of its three scans: a 256 KiB file
    // that once took the decoder past 1 GB. It cannot hold the blocks its
    // frame declares and is refused before anything is allocated.
    const std::vector<uint8_t> oneScan = TwoBitBlocks(8192, 0x11, {1});
    ASSERT_LT(oneScan.size(), 300000u);
    SJpegOptions big;
    big.nMaxPixels = int64_t(8192) * 8192;
    const SPeak refused = PeakOf([&] {
        SJpegInfo info;
        ImagePtr image = Decode(oneScan, QVN_JPEG_RGB32, &info, &big);
        return image ? 1 : (std::strstr(info.szReason, "cannot hold") ? 0 : 2);
    });
    ASSERT_TRUE(refused.bRan);
    EXPECT_EQ(refused.nResult, 0);
    EXPECT_LT(refused.nGrowthKb, 8 * 1024 * kSanitizerSlack);

    // The same frame with all three scans (4:2:0, one scan per component) is
    // a picture: decoded in the memory of its output and little more, not a
    // work buffer per MCU waiting for the later scans.
    const int side = 2048;
    const std::vector<uint8_t> split = TwoBitBlocks(side, 0x22, {1, 2, 3});
    const SPeak decoded = PeakOf([&] {
        SJpegInfo info;
        ImagePtr image = Decode(split, QVN_JPEG_RGB32, &info);
        if (!image || info.nScans != 3 || info.bTruncated) return 0;
        // Every block is DC 0: mid grey everywhere.
        const uint32_t* p = reinterpret_cast<const uint32_t*>(image->pPixels);
        return p[0] == 0x808080 && p[side * side - 1] == 0x808080 ? 1 : 0;
    });
    ASSERT_TRUE(decoded.bRan);
    EXPECT_EQ(decoded.nResult, 1);
    const int64_t outputKb = int64_t(side) * side * 4 / 1024;
    EXPECT_LT(decoded.nGrowthKb, (outputKb + 4 * 1024) * kSanitizerSlack);
}
