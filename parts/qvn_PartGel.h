// The gel: one picture fading in from black, once the shadow part's black
// ending has stood on screen until its start.
#pragma once

#include "qvn_FramePart.h"
#include "qvn_PartTools.h"

class qvn_cPartGel : public qvn_cFramePart {
public:
    bool load() override;
    static void resetState();

protected:
    bool beginRun() override;
    bool waiting(int32_t t) override { return t < 116200; }
    bool endsBeforeDrawing(int32_t t) override { return t >= 133000; }
    bool frame(int32_t t) override;

private:
    int32_t m_nLayer = 0;
};
