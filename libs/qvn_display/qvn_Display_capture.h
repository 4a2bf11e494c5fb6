// The display of capture mode: the same contract as the screen, backed by a
// plain 5-6-5 frame in memory that every Flip hands to the capture session.
#pragma once

#include <vector>

#include "qvn_EngDisplay.h"

class qvn_cCaptureDisplay : public qvn_cEngDisplay {
public:
    // The surface's channel masks; 5-6-5 unless a test asks for 5-5-5.
    explicit qvn_cCaptureDisplay(uint32_t maskR = 0xF800, uint32_t maskG = 0x07E0, uint32_t maskB = 0x001F);
    ~qvn_cCaptureDisplay() override;

    bool Init(const char* deviceName, int width, int height, int bpp, int windowed) override;
    void Lock() override;
    int32_t Unlock() override;
    void Clear() override;
    void Flip() override;
    bool SurfaceInMemory() const override { return true; }

    // The last presented frame (what a viewer would see).
    const std::vector<uint16_t>& Presented() const { return m_Presented; }
    bool PresentedFrame(std::vector<uint16_t>* frame) override {
        if (m_nFlips == 0) return false;
        *frame = m_Presented;
        return true;
    }
    int FlipCount() const { return m_nFlips; }

private:
    uint32_t m_aMasks[3];
    std::vector<uint16_t> m_Surface;
    std::vector<uint16_t> m_Presented;
    int m_nFlips = 0;
};
