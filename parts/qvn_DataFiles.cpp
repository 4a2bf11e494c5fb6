#include "qvn_DataFiles.h"

#include <cstring>

namespace {

const qvn_SDataFile s_aFiles[QVN_DF_COUNT] = {
#define QVN_DATA_FILE_ROW(id, name, kind, w, h, ms, users) {name, kind, w, h, ms, users},
    QVN_DATA_FILES(QVN_DATA_FILE_ROW)
#undef QVN_DATA_FILE_ROW
};

} // namespace

const qvn_SDataFile* qvn_GetDataFiles(int* pnCount) {
    if (pnCount) *pnCount = QVN_DF_COUNT;
    return s_aFiles;
}

const char* qvn_DataFileName(qvn_eDataFileId id) {
    return id >= 0 && id < QVN_DF_COUNT ? s_aFiles[id].pszName : nullptr;
}

const qvn_SDataFile* qvn_FindDataFile(const char* pszName) {
    if (!pszName) return nullptr;
    for (const qvn_SDataFile& f : s_aFiles)
        if (std::strcmp(f.pszName, pszName) == 0) return &f;
    return nullptr;
}

const char* qvn_DataFileBaseName(const qvn_SDataFile* pFile) {
    const char* p = std::strrchr(pFile->pszName, '/');
    return p ? p + 1 : pFile->pszName;
}
