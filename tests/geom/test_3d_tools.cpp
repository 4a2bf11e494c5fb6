// The scene tools as a user runs them: qvninfo reports or refuses, qvnview
// writes the same frames on every run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "qvn_TestScene.h"

namespace {

namespace fs = std::filesystem;

struct ProcessResult {
    int code;
    std::string out;
};

ProcessResult Exec(const std::string& cmd) {
    ProcessResult r{-1, ""};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) r.out += buf;
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qvn_3d_tools_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    const std::string info_ = std::string(QVN_BINARY_DIR) + "/tools/qvninfo/qvninfo";
    const std::string view_ = std::string(QVN_BINARY_DIR) + "/tools/qvnview/qvnview";
};

TEST_F(Tools, InfoReportsCountsAndRefusesBadFiles) {
    qvntest::Scene s = qvntest::BasicScene(1 | 2);
    s.fog = true;
    const std::string good = (dir_ / "good.qvn").string();
    ASSERT_TRUE(qvntest::WriteFile(good, s.Build(), true));
    ProcessResult r = Exec(info_ + " " + good);
    EXPECT_EQ(r.code, 0) << r.out;
    for (const char* line : {"materials: 1\n", "textures: 2\n", "objects: 3\n", "tracks: 3\n", "keys: 3\n",
                             "cameras: 1\n", "targets: 1\n", "meshes: 1\n", "vertices: 4\n", "faces: 2\n",
                             "fog: on\n", "render mode 0x307\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
    // The loader's own lines (one per animation track) only on request.
    EXPECT_EQ(r.out.find("AddAnim"), std::string::npos) << r.out;
    EXPECT_NE(Exec(info_ + " --verbose " + good).out.find("AddAnim"), std::string::npos);

    s.magic = 0;
    const std::string bad = (dir_ / "bad.qvn").string();
    ASSERT_TRUE(qvntest::WriteFile(bad, s.Build(), false));
    r = Exec(info_ + " " + bad);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("LoadHeader failed"), std::string::npos) << r.out;
    const std::string missing = (dir_ / "missing.qvn").string();
    r = Exec(info_ + " " + missing);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.rfind("qvninfo: cannot open " + missing + ": ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << "one message: " << r.out;
}

TEST_F(Tools, ViewWritesIdenticalFramesOnEveryRun) {
    qvntest::Scene s = qvntest::BasicScene(1);
    qvntest::Track t;
    t.isStatic = false;
    t.keys.clear();
    for (int k = 0; k < 8; ++k) t.keys.push_back(qvntest::Key{0, 0, 0, k * 0.15f, 0, 0, 1});
    s.objects[2].tracks = {t};
    const std::string scene = (dir_ / "scene.qvn").string();
    ASSERT_TRUE(qvntest::WriteFile(scene, s.Build(), true));
    for (const char* run : {"a", "b"}) {
        fs::create_directories(dir_ / run);
        const ProcessResult r = Exec(view_ + " " + scene + " --frames 2:4 --out " + (dir_ / run).string());
        ASSERT_EQ(r.code, 0) << r.out;
    }
    for (int f = 2; f <= 4; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", f);
        const std::string a = Slurp(dir_ / "a" / name), b = Slurp(dir_ / "b" / name);
        EXPECT_GT(a.size(), 100u) << name;
        EXPECT_EQ(a, b) << name;
    }
    EXPECT_NE(Slurp(dir_ / "a" / "frame_000002.png"), Slurp(dir_ / "a" / "frame_000004.png"));
    EXPECT_FALSE(fs::exists(dir_ / "a" / "frame_000005.png"));
    EXPECT_EQ(Exec(view_ + " " + scene + " --frames 5:1 --out " + dir_.string()).code, 2);
}

}  // namespace
