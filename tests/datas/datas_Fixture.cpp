#include "datas_Fixture.h"

#include "mkd_Generate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <unistd.h>

namespace datas_test {

namespace {

std::string s_sDir;
std::map<std::string, std::string> s_Made;
std::vector<std::string> s_Scratch;
std::mutex s_Mutex;

const std::string& Dir() {
    if (s_sDir.empty()) {
        char tmpl[] = "/tmp/qvn_datas_XXXXXX";
        if (mkdtemp(tmpl)) s_sDir = tmpl;
    }
    return s_sDir;
}

class cCleanup : public ::testing::Environment {
public:
    void TearDown() override {
        std::lock_guard<std::mutex> lock(s_Mutex);
        for (auto& kv : s_Made) std::remove(kv.second.c_str());
        for (auto& p : s_Scratch) std::remove(p.c_str());
        if (!s_sDir.empty()) rmdir(s_sDir.c_str());
    }
};
::testing::Environment* const s_pCleanup = ::testing::AddGlobalTestEnvironment(new cCleanup);

} // namespace

std::string Generated(const char* pszName) {
    std::lock_guard<std::mutex> lock(s_Mutex);
    auto it = s_Made.find(pszName);
    if (it != s_Made.end()) return it->second;
    const qvn_SDataFile* f = qvn_FindDataFile(pszName);
    if (!f || Dir().empty()) return "";
    std::string path = Dir() + "/" + qvn_DataFileBaseName(f);
    if (!mkd::GenerateFile(*f, 1, path, nullptr)) return "";
    s_Made[pszName] = path;
    return path;
}

std::string ScratchPath(const std::string& leaf) {
    std::lock_guard<std::mutex> lock(s_Mutex);
    std::string p = Dir() + "/" + leaf;
    s_Scratch.push_back(p);
    return p;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> v;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return v;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
    std::fclose(f);
    return v;
}

std::vector<const qvn_SDataFile*> FilesOfKind(qvn_eDataKind kind) {
    int n = 0;
    const qvn_SDataFile* f = qvn_GetDataFiles(&n);
    std::vector<const qvn_SDataFile*> out;
    for (int i = 0; i < n; ++i)
        if (f[i].eKind == kind) out.push_back(&f[i]);
    return out;
}

} // namespace datas_test
