// Generates data files on demand into a temporary folder that lives as long as
// the test program, so each test makes only the files it looks at.
#pragma once

#include "qvn_DataFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace datas_test {

// Path of the generated file (seed 1), made on first use; empty on failure.
std::string Generated(const char* pszName);
// A fresh path in the temporary folder for tests that write files of their own.
std::string ScratchPath(const std::string& leaf);
std::vector<uint8_t> ReadAll(const std::string& path);
std::vector<const qvn_SDataFile*> FilesOfKind(qvn_eDataKind kind);

} // namespace datas_test
