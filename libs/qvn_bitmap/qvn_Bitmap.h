// The image object: a 32-bit master copy of the picture and a display copy in
// the bitmap's own pixel format. Effects read the master and write the display
// copy, so they can run every frame with a new parameter and never lose the
// source picture.
#pragma once

#include <cstdint>

#include "qvn_MessageLog.h"

// Display formats (m_eBpp).
enum {
    QVN_BPP_555 = 15,  // 0RRRRRGGGGGBBBBB
    QVN_BPP_565 = 16,  // RRRRRGGGGGGBBBBB
    QVN_BPP_24 = 24,   // 0x00RRGGBB in four bytes (what the loaders produce)
    QVN_BPP_32 = 32,   // 0x00RRGGBB in four bytes
};

// 0x00RRGGBB to a 16-bit screen pixel, dropping the low bits of each channel.
inline uint16_t qvn_Rgb32To555(uint32_t p) {
    return static_cast<uint16_t>(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}
inline uint16_t qvn_Rgb32To565(uint32_t p) {
    return static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x001F));
}
// And back: the fields go to the top of each byte, the low bits stay zero.
inline uint32_t qvn_555ToRgb32(uint32_t p) {
    return ((p & 0x7C00) << 9) | ((p & 0x03E0) << 6) | ((p & 0x001F) << 3);
}
inline uint32_t qvn_565ToRgb32(uint32_t p) {
    return ((p >> 11) << 19) | ((p & 0x07E0) << 5) | ((p & 0x001F) << 3);
}

// Bytes of one display pixel for a valid eBpp, 0 for an invalid one.
inline int qvn_BytesPerPixel(int eBpp) {
    return (eBpp == QVN_BPP_555 || eBpp == QVN_BPP_565) ? 2 : (eBpp == QVN_BPP_24 || eBpp == QVN_BPP_32) ? 4 : 0;
}

class qvn_cBitmap {
public:
    // Static placeholder pictures are 1 x 1 x 32 until a loader fills them.
    qvn_cBitmap(int sizeX = 1, int sizeY = 1, int eBpp = QVN_BPP_32);
    ~qvn_cBitmap();
    qvn_cBitmap(const qvn_cBitmap&) = delete;  // copies are explicit: copyFrom
    qvn_cBitmap& operator=(const qvn_cBitmap&) = delete;

    // Frees both buffers; every field but m_pErrorLog goes to zero.
    void release();
    // Allocates both copies, cleared to black. Buffers the bitmap already holds
    // are freed first.
    bool initBitmap(int sizeX, int sizeY, int eBpp);
    // Rebuilds the display copy from the master copy in (possibly) another format.
    bool setNbpp(int eBpp);
    // Nearest-neighbour rescale of both copies.
    bool setSize(int sizeX, int sizeY);
    bool cropTo(uint32_t x, uint32_t y, uint32_t sizeX, uint32_t sizeY);
    // Deep copy of both buffers, format and size.
    bool copyFrom(const qvn_cBitmap* pSrcBitmap);
    // Takes sizeX x sizeY pixels (16-bit for eBpp 15/16, 32-bit for 24/32) as
    // the new master copy, then setNbpp(eBpp).
    bool retrievePixels32(const void* pPixels, int eBpp, int sizeX, int sizeY);
    // The current display copy, effects included, becomes the master copy.
    bool syncPixels32();
    // Display copy := negative of the master copy.
    void invertColors();
    // Replaces the picture by countX x countY copies of itself.
    bool tile(int countX, int countY);

    // Per-frame effects (qvn_BitmapFilters.cpp): master copy in, display copy
    // out, no allocation.
    void horizontalBlurFast(int nRadius);
    void verticalBlurFast(int nRadius);
    void horizontalBlur(int nRadius);
    void fadePixels(float fR, float fG, float fB, float fAmount);
    void fadePixels(const qvn_cBitmap* pDstBitmap, float fAmount);
    void zoom(float fZoomX, float fZoomY);

    // Picture files (qvn_BitmapFiles.cpp). Loaded pictures have eBpp 24.
    // By the file's first bytes, whatever its name: JPEG, then BMP, then PCX;
    // anything else is refused with a message naming the file.
    bool loadFromFile(const char* szFileName);
    bool loadJPG(const char* szFileName);  // only names containing ".jpg"
    bool loadBMP(const char* szFileName);
    bool loadPCX(const char* szFileName);  // ZSoft version 5, 8-bit paletted or 24-bit

    // The display copy seen as 16-bit or 32-bit pixels.
    uint16_t* pixels16() const { return reinterpret_cast<uint16_t*>(m_pBitmapPixels); }
    uint32_t* pixels32() const { return reinterpret_cast<uint32_t*>(m_pBitmapPixels); }

    // The two 64 x 64 x 64 fading tables shared with the layer compositor,
    // indexed [i][j][k]; null until the first successful initBitmap builds them.
    // Difference table: F1[i][j][k] = trunc((j - i) * k/63 * 4).
    static int16_t (*m_pppArrayFadingValues)[64][64];
    // Sum table: F2[i][j][k] = trunc(clamp((i + j * k/63) * 4, 0, 255)).
    static int16_t (*m_pppArrayAdditiveValues)[64][64];
    // Builds both tables once; later calls do nothing.
    static void buildFadingTables();

    // Both buffers come from new[] (uint32_t[] and uint8_t[]) and go back
    // through delete[]; a loader that installs its own buffer must match that.
    qvn_cMessageLog* m_pErrorLog;  // g_pMessageLog, taken at every initBitmap
    uint32_t* m_p32bitsPixels;     // master copy: m_nSizeX * m_nSizeY pixels 0x00RRGGBB
    uint8_t* m_pBitmapPixels;      // display copy: m_nBytesPerLine * m_nSizeY bytes in m_eBpp
    int32_t m_eBpp;
    int32_t m_nSizeX;
    int32_t m_nSizeY;
    int32_t m_nBytesPerLine;

private:
    // loadJPG without the name test.
    bool decodeJPG(const char* szFileName);
    // Converts count master pixels into the display format at dst.
    static void convertRow(const uint32_t* src, uint8_t* dst, int count, int eBpp);
};

// Reads the 256 x 256 16-bit TGA texture map into a new array of 65,536 pixels,
// top row first, in the screen's 16-bit flavour; the caller owns the array
// (free it with delete[]). Null when the file cannot be used.
uint16_t* loadMapTGA(const char* szFileName);
