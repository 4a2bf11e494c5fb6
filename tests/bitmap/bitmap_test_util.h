// Helpers shared by the imaging tests: a message log that keeps what it is
// told, and small pictures built in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "qvn_Bitmap.h"
#include "qvn_BitmapFilters.h"
#include "qvn_MessageLog.h"

class CapturedLog : public qvn_cMessageLog {
public:
    CapturedLog() : m_pPrevious(g_pMessageLog) { g_pMessageLog = this; }
    ~CapturedLog() override { g_pMessageLog = m_pPrevious; }
    void Write(const char* text) override { m_Lines.push_back(text); }
    bool Has(const std::string& text) const {
        for (const auto& line : m_Lines)
            if (line == text) return true;
        return false;
    }
    std::vector<std::string> m_Lines;

private:
    qvn_cMessageLog* m_pPrevious;
};

// Runs body with the effects' and merges' plain inner loops and again with
// their AVX2 copies where the processor has them: the two must give the same
// pixels.
template <class Body>
void WithEachRowCopy(Body body) {
    for (bool plain : {true, false}) {
        SCOPED_TRACE(plain ? "plain row kernels" : "AVX2 row kernels");
        const bool second = qvn_ForceGenericBitmapRows(plain);
        if (!plain && !second) break;
        body();
    }
    qvn_ForceGenericBitmapRows(false);
}

// A bitmap whose master pixel (x, y) is fn(x, y), display copy in eBpp.
template <class Fn>
inline void FillMaster(qvn_cBitmap& b, Fn fn) {
    for (int y = 0; y < b.m_nSizeY; ++y)
        for (int x = 0; x < b.m_nSizeX; ++x) b.m_p32bitsPixels[y * b.m_nSizeX + x] = fn(x, y);
}

inline uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return (r << 16) | (g << 8) | b; }
