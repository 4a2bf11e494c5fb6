// The show names its files "datas/...". They are found in the working
// directory's datas/ folder, else beside the program, or wherever --datas
// says; every reader opens files through here.
#pragma once

#include <cstdio>
#include <string>

// dir: the folder that stands for "datas/" (empty: the working directory's).
void qvn_SetDataDir(const std::string& dir);
const std::string& qvn_DataDir();
// "datas/x.jpg" becomes "<dir>/x.jpg" when a folder is set; other names stay.
std::string qvn_ResolveDataPath(const char* name);
// fopen through the resolver.
FILE* qvn_fopen(const char* name, const char* mode);
