// The program as a whole: exit codes, the error log of a run, options.
#include <gtest/gtest.h>

#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fake_program.h"
#include "qvn_Main.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the built demo_sw in a fresh folder; returns its exit code.
int RunDemo(const fs::path& dir, const std::string& args, std::string* output = nullptr) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' " + args + " > out.txt 2>&1";
    int status = std::system(cmd.c_str());
    if (output) *output = ReadFile(dir / "out.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char kPixelFormatLines[] = "ConvertDDFormat\n  16 BitCount\nShiftR 11 3\nShiftG 5 2\nShiftB 0 3\n";

TEST(Program, CaptureWithoutDataSkipsBothHalvesAndTheLogSaysWhy) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_empty_run";
    ASSERT_EQ(RunDemo(dir, "--capture cap"), 0);
    std::string log = ReadFile(dir / "qvn_engine.errorlog");
    ASSERT_EQ(log.rfind("----- Quorvane error log -----\nDate : ", 0), 0u) << log;
    size_t body = log.find("\n\n\n");
    ASSERT_NE(body, std::string::npos);
    const std::string missing1 =
        "datas/fantom.mp3 is missing: half 1 is skipped. The default data set is made by ./play.sh, or by "
        "build/tools/mkdatas/mkdatas DIR (then --datas DIR).\n";
    const std::string missing2 =
        "datas/tarnelle.mp3 is missing: half 2 is skipped. The default data set is made by ./play.sh, or by "
        "build/tools/mkdatas/mkdatas DIR (then --datas DIR).\n";
    EXPECT_EQ(log.substr(body + 3), std::string(kPixelFormatLines) + missing1 +
                                        "qvn_cSequencer : cannot play the track datas/fantom.mp3; half 1 is skipped.\n" +
                                        missing2 +
                                        "qvn_cSequencer : cannot play the track datas/tarnelle.mp3; half 2 is skipped.\n");
    EXPECT_TRUE(fs::exists(dir / "cap" / "frames.txt"));
    // The terminal says it too, once per track, naming where it looked.
    EXPECT_EQ(ReadFile(dir / "out.txt"), "demo_sw: " + missing1 + "demo_sw: " + missing2);
    // With --datas the lines name that folder; a track that is there but
    // unreadable as MP3 is no missing file.
    fs::create_directories(dir / "mine");
    { std::ofstream(dir / "mine" / "fantom.mp3") << "not an mp3"; }
    std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --capture cap --datas mine > out.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string out = ReadFile(dir / "out.txt");
    EXPECT_EQ(out.find("fantom.mp3 is missing"), std::string::npos) << out;
    EXPECT_NE(out.find("demo_sw: mine/tarnelle.mp3 is missing: half 2 is skipped."), std::string::npos) << out;
}

TEST(Program, UnknownDisplayDeviceExitsWithOne) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_no_device";
    EXPECT_EQ(RunDemo(dir, "--capture cap --display-device NoSuchDriver --log my.log"), 1);
    // The log went where --log said, and only there.
    EXPECT_TRUE(fs::exists(dir / "my.log"));
    EXPECT_FALSE(fs::exists(dir / "qvn_engine.errorlog"));
}

TEST(Program, HelpListsEveryOptionAndBadOptionsAreRefused) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_help";
    std::string out;
    ASSERT_EQ(RunDemo(dir, "--help", &out), 0);
    // Asking for help is not a run: no log is made.
    EXPECT_FALSE(fs::exists(dir / "qvn_engine.errorlog"));
    for (const char* option : {"--window", "--scale", "--display-device", "--datas", "--log", "--verbose", "--capture",
                               "--fps", "--frames", "--quit-at", "--help", "--version"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
    EXPECT_EQ(RunDemo(dir, "--version", &out), 0);
    EXPECT_NE(out.find("0.1.0"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "qvn_engine.errorlog"));
    // Nor does it wipe the log of the run before.
    {
        std::ofstream previous(dir / "qvn_engine.errorlog");
        previous << "previous run\n";
    }
    std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --help > out.txt";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(ReadFile(dir / "qvn_engine.errorlog"), "previous run\n");
    EXPECT_EQ(RunDemo(dir, "--fps nope", &out), 2);
    EXPECT_NE(out.find("--fps"), std::string::npos);
}

TEST(Program, DisplayFailureEndsWithOneAndItsMessageLogged) {
    std::string logPath = testing::TempDir() + "qvn_display_fail.errorlog";
    std::string capDir = testing::TempDir() + "qvn_display_fail";
    g_bFakeDisplayFails = true;
    const char* argv[] = {"test_program", "--capture", capDir.c_str(), "--log", logPath.c_str()};
    EXPECT_EQ(qvn_ProgramMain(5, argv, nullptr, 1, ""), 1);
    g_bFakeDisplayFails = false;
    EXPECT_NE(ReadFile(logPath).find("qvn_cEngDisplay::InitSurfaces_FullScreen : SetDisplayMode failed\n"),
              std::string::npos);
}

}  // namespace

namespace {

TEST(Program, DatasOptionPointsEveryReaderElsewhere) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_datas_option";
    fs::remove_all(dir);
    fs::create_directories(dir / "elsewhere" / "files");
    fs::copy_file(fs::path(QVN_SOURCE_DIR) / "tests/fuzz/corpus/fuzz_mp3/joint44k_128kbps.mp3",
                  dir / "elsewhere" / "files" / "fantom.mp3");
    std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --capture cap --datas elsewhere/files > out.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    // The show still names its track "datas/...", found where --datas says.
    EXPECT_NE(ReadFile(dir / "qvn_engine.errorlog").find("MP3: datas/fantom.mp3 loaded... 44100:Hz 16:Bits 128:Rate Channel(s):2\n"),
              std::string::npos)
        << ReadFile(dir / "qvn_engine.errorlog");
}

}  // namespace

namespace {

// One second of a tone as an MPEG-2 Layer III stream: LAME picks MPEG-2 for
// a 22.05 kHz output rate.
std::vector<unsigned char> EncodeMpeg2Track() {
    lame_t lame = lame_init();
    lame_set_in_samplerate(lame, 22050);
    lame_set_out_samplerate(lame, 22050);
    lame_set_num_channels(lame, 1);
    lame_set_mode(lame, MONO);
    lame_set_brate(lame, 32);
    lame_set_bWriteVbrTag(lame, 0);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        return {};
    }
    std::vector<short> pcm(22050);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<short>(8000 * std::sin(i * 0.0627));
    std::vector<unsigned char> out(pcm.size() * 2 + 16384);
    int n = lame_encode_buffer(lame, pcm.data(), pcm.data(), static_cast<int>(pcm.size()), out.data(),
                               static_cast<int>(out.size()));
    if (n >= 0) n += lame_encode_flush(lame, out.data() + n, static_cast<int>(out.size()) - n);
    lame_close(lame);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// The decoder refuses MPEG-2 with a fatal error. A windowed program has no
// standard error, so the reason must reach the log before the exit code 1.
TEST(Program, Mpeg2TrackEndsWithOneAndTheReasonInTheLog) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_mpeg2_track";
    fs::remove_all(dir);
    fs::create_directories(dir / "datas");
    std::vector<unsigned char> mp3 = EncodeMpeg2Track();
    ASSERT_GT(mp3.size(), 4u);
    // Sync, then ID bit 0 (MPEG-2), layer III.
    ASSERT_EQ(mp3[0], 0xFF);
    ASSERT_EQ(mp3[1] & 0xFE, 0xF2);
    {
        std::ofstream f(dir / "datas" / "fantom.mp3", std::ios::binary);
        f.write(reinterpret_cast<const char*>(mp3.data()), static_cast<std::streamsize>(mp3.size()));
    }
    std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --capture cap > out.txt 2>&1";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    // The file on a line of its own, then the decoder's own message, in the
    // log and on the terminal alike; nothing else on the terminal.
    const std::string lines = "In the file \"datas/fantom.mp3\":\nError:MPEG2.0 unsupported\n";
    std::string log = ReadFile(dir / "qvn_engine.errorlog");
    ASSERT_GE(log.size(), lines.size());
    EXPECT_EQ(log.substr(log.size() - lines.size()), lines) << log;
    EXPECT_EQ(ReadFile(dir / "out.txt"), lines);
}

// A picture the JPEG decoder ends the program on (here a frame whose marker
// says arithmetic coding) is named before the decoder's message.
TEST(Program, AFatalPictureIsNamedOnItsOwnLine) {
    fs::path dir = fs::path(testing::TempDir()) / "qvn_fatal_picture";
    fs::remove_all(dir);
    fs::create_directories(dir / "datas");
    const fs::path corpus = fs::path(QVN_SOURCE_DIR) / "tests/fuzz/corpus";
    fs::copy_file(corpus / "fuzz_mp3/joint44k_128kbps.mp3", dir / "datas" / "fantom.mp3");
    std::string jpeg = ReadFile(corpus / "fuzz_jpeg/rgb420.jpg");
    const size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    jpeg[sof + 1] = static_cast<char>(0xC9);  // SOF9: arithmetic-coded baseline
    // The loading screen's picture is the first one the show reads.
    { std::ofstream(dir / "datas" / "loading.jpg", std::ios::binary) << jpeg; }
    for (const char* extra : {"", " --verbose"}) {
        SCOPED_TRACE(extra);
        std::string cmd = "cd '" + dir.string() + "' && '" QVN_DEMO_SW "' --capture cap" + extra +
                          " > out.txt 2> err.txt";
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string lines = "In the file \"datas/loading.jpg\":\nError:-JPEG- Arithmetic coding unsupported\n";
        const std::string log = ReadFile(dir / "qvn_engine.errorlog");
        ASSERT_GE(log.size(), lines.size());
        EXPECT_EQ(log.substr(log.size() - lines.size()), lines) << log;
        // --verbose echoes the log to the terminal: the lines still come once.
        const std::string err = ReadFile(dir / "err.txt");
        ASSERT_GE(err.size(), lines.size());
        EXPECT_EQ(err.substr(err.size() - lines.size()), lines) << err;
        EXPECT_EQ(err.find("Error:"), err.size() - lines.size() + lines.find("Error:")) << err;
        if (!*extra) {
            EXPECT_EQ(err, lines);
        }
    }
}

}  // namespace
