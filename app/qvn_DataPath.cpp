#include "qvn_DataPath.h"

#include <cstring>

static std::string g_DataDir;

void qvn_SetDataDir(const std::string& dir) {
    g_DataDir = dir;
    while (g_DataDir.size() > 1 && (g_DataDir.back() == '/' || g_DataDir.back() == '\\')) g_DataDir.pop_back();
}

const std::string& qvn_DataDir() { return g_DataDir; }

std::string qvn_ResolveDataPath(const char* name) {
    if (!name) return std::string();
    if (!g_DataDir.empty() && (std::strncmp(name, "datas/", 6) == 0 || std::strncmp(name, "datas\\", 6) == 0))
        return g_DataDir + "/" + (name + 6);
    return name;
}

FILE* qvn_fopen(const char* name, const char* mode) {
    if (!name) return nullptr;
    return std::fopen(qvn_ResolveDataPath(name).c_str(), mode);
}
