// One headless GL display for a whole test program: making a context is the
// slow part. It goes before the program ends, while the GL library is still
// whole. Register it at start-up:
//   gltest::cDisplayEnvironment* const s_pDisplays = gltest::AddDisplayEnvironment(320, 240);
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "qvn_DisplayGL.h"

namespace gltest {

class cDisplayEnvironment : public ::testing::Environment {
public:
    cDisplayEnvironment(int width, int height) : m_nWidth(width), m_nHeight(height) {}
    // Null when there is no GL context without a display on this machine.
    qvn_cCaptureGLDisplay* Get() {
        if (!m_bTried) {
            m_bTried = true;
            m_pDisplay.reset(new qvn_cCaptureGLDisplay);
            if (!m_pDisplay->Init("display", m_nWidth, m_nHeight, 16, 0)) m_pDisplay.reset();
        }
        return m_pDisplay.get();
    }
    void TearDown() override { m_pDisplay.reset(); }

private:
    int m_nWidth, m_nHeight;
    std::unique_ptr<qvn_cCaptureGLDisplay> m_pDisplay;
    bool m_bTried = false;
};

inline cDisplayEnvironment* AddDisplayEnvironment(int width, int height) {
    return static_cast<cDisplayEnvironment*>(
        ::testing::AddGlobalTestEnvironment(new cDisplayEnvironment(width, height)));
}

}  // namespace gltest
