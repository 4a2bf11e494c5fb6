#include "qvn_Overlay.h"


qvn_SOverlayRect qvn_OverlayRect(int frameX, int frameY, int frameW, int frameH, int overlayW, int overlayH) {
    int scale = frameW / 320;
    if (frameH / 240 < scale) scale = frameH / 240;
    if (scale < 1) scale = 1;
    if (scale > 3) scale = 3;
    return {frameX + 4 * scale, frameY + 4 * scale, overlayW * scale, overlayH * scale};
}
