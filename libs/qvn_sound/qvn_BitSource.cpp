#include "qvn_BitSource.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include "qvn_DataPath.h"

SBitSource* g_pActiveBitSource = nullptr;

SBitSource* SBitSource::Open(const char* fileName) {
    if (!fileName) return nullptr;
    FILE* f = qvn_fopen(fileName, "rb");
    if (!f) return nullptr;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0 || size > kMaxDataBytes || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    SBitSource* s = new (std::nothrow) SBitSource;
    if (!s) {
        std::fclose(f);
        return nullptr;
    }
    s->pFile = f;
    s->nFileBytes = static_cast<int32_t>(size);
    return s;
}

SBitSource* SBitSource::OpenAndLoad(const char* fileName) {
    SBitSource* s = Open(fileName);
    if (s && s->Load() != kLoadOk) {
        Free(s);
        return nullptr;
    }
    return s;
}

SBitSource* SBitSource::OpenMemory(const void* data, size_t size) {
    if (size > static_cast<size_t>(kMaxDataBytes) || (!data && size)) return nullptr;
    SBitSource* s = new (std::nothrow) SBitSource;
    if (!s) return nullptr;
    s->pBuffer = static_cast<uint8_t*>(std::calloc(size + kSpareBytes, 1));
    if (!s->pBuffer) {
        delete s;
        return nullptr;
    }
    if (size) std::memcpy(s->pBuffer, data, size);
    s->nFileBytes = s->nDataBytes = static_cast<int32_t>(size);
    s->nDataBits = s->nDataBytes * 8;
    s->Prime();
    return s;
}

void SBitSource::Free(SBitSource* s) {
    if (!s) return;
    if (s->pFile) std::fclose(s->pFile);
    std::free(s->pBuffer);
    if (g_pActiveBitSource == s) g_pActiveBitSource = nullptr;
    delete s;
}

int SBitSource::Load() {
    if (!pFile) return pBuffer ? kLoadOk : kLoadReadFailed;
    // calloc: the spare bytes must be zero, they are what reads past the end return.
    pBuffer = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(nFileBytes) + kSpareBytes, 1));
    int status = kLoadOk;
    if (!pBuffer) {
        status = kLoadNoMemory;
    } else if (nFileBytes > 0 && std::fread(pBuffer, 1, nFileBytes, pFile) != static_cast<size_t>(nFileBytes)) {
        status = kLoadReadFailed;
        std::free(pBuffer);
        pBuffer = nullptr;
    }
    std::fclose(pFile);
    pFile = nullptr;
    if (status != kLoadOk) return status;
    nDataBytes = nFileBytes;
    nDataBits = nDataBytes * 8;
    nBitPos = 0;
    bOverrun = false;
    Prime();
    return kLoadOk;
}

void SBitSource::Activate() { g_pActiveBitSource = this; }

void SBitSource::Prime() {
    pRead = pBuffer + (nBitPos >> 3);
    nWindow = (static_cast<uint32_t>(pRead[0]) << 24) | (static_cast<uint32_t>(pRead[1]) << 16) |
              (static_cast<uint32_t>(pRead[2]) << 8) | pRead[3];
}

void SBitSource::SeekBit(int64_t pos) {
    if (pos < 0) pos = 0;
    if (pos > nDataBits) bOverrun = true;
    const int32_t maxPos = MaxBitPos();
    if (pos > maxPos) pos = maxPos;
    const int32_t oldByte = nBitPos >> 3;
    nBitPos = static_cast<int32_t>(pos);
    const int32_t step = (nBitPos >> 3) - oldByte;
    if (step == 0) return;
    if (step > 0 && step <= 4) {
        for (int32_t i = 0; i < step; ++i) {
            ++pRead;
            nWindow = (nWindow << 8) | pRead[3];
        }
    } else {
        Prime();
    }
}

int SBitSource::readBytes(void* dst, int n) {
    AlignToByte();
    if (n <= 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(dst);
    const int32_t start = nBitPos >> 3;
    int real = 0;
    if (start < nDataBytes) real = (nDataBytes - start) < n ? (nDataBytes - start) : n;
    if (real > 0) std::memcpy(out, pBuffer + start, real);
    if (n > real) std::memset(out + real, 0, n - real);
    SkipBits(static_cast<int64_t>(n) * 8);
    return real;
}
