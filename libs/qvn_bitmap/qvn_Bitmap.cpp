#include "qvn_Bitmap.h"

#include <cstring>
#include <new>
#include <vector>

#define BITMAP_LOG(...) qvn_MessageLogPrintf(m_pErrorLog, __VA_ARGS__)

namespace {

// Past this many pixels a picture cannot be a real one, and width x height x 4
// would no longer fit the sizes the rest of the engine computes in 32 bits.
constexpr int64_t kMaxPixels = int64_t(1) << 28;

uint32_t* NewPixels32(int64_t count) {
    if (count <= 0 || count > kMaxPixels) return nullptr;
    return new (std::nothrow) uint32_t[static_cast<size_t>(count)];
}

uint8_t* NewBytes(int64_t count) {
    if (count <= 0 || count > kMaxPixels * 4) return nullptr;
    return new (std::nothrow) uint8_t[static_cast<size_t>(count)];
}

}  // namespace

qvn_cBitmap::qvn_cBitmap(int sizeX, int sizeY, int eBpp)
    : m_pErrorLog(nullptr), m_p32bitsPixels(nullptr), m_pBitmapPixels(nullptr),
      m_eBpp(0), m_nSizeX(0), m_nSizeY(0), m_nBytesPerLine(0) {
    initBitmap(sizeX, sizeY, eBpp);
}

qvn_cBitmap::~qvn_cBitmap() { release(); }

void qvn_cBitmap::release() {
    delete[] m_p32bitsPixels;
    delete[] m_pBitmapPixels;
    m_p32bitsPixels = nullptr;
    m_pBitmapPixels = nullptr;
    m_eBpp = 0;
    m_nSizeX = 0;
    m_nSizeY = 0;
    m_nBytesPerLine = 0;
}

void qvn_cBitmap::convertRow(const uint32_t* src, uint8_t* dst, int count, int eBpp) {
    switch (eBpp) {
    case QVN_BPP_555: {
        uint16_t* out = reinterpret_cast<uint16_t*>(dst);
        for (int i = 0; i < count; ++i) out[i] = qvn_Rgb32To555(src[i]);
        break;
    }
    case QVN_BPP_565: {
        uint16_t* out = reinterpret_cast<uint16_t*>(dst);
        for (int i = 0; i < count; ++i) out[i] = qvn_Rgb32To565(src[i]);
        break;
    }
    case QVN_BPP_24:
    case QVN_BPP_32:
        std::memcpy(dst, src, size_t(count) * 4);
        break;
    default:
        break;
    }
}

bool qvn_cBitmap::initBitmap(int sizeX, int sizeY, int eBpp) {
    // Re-initialising a bitmap that holds a picture would leak it otherwise.
    release();
    m_pErrorLog = g_pMessageLog;
    if (sizeX <= 0 || sizeY <= 0) {
        BITMAP_LOG("qvn_cBitmap::initBitmap() : Bad size wanted (%dx%d)\n", sizeX, sizeY);
        return false;
    }
    m_nSizeX = sizeX;
    m_nSizeY = sizeY;
    m_eBpp = eBpp;
    const int bytesPerPixel = qvn_BytesPerPixel(eBpp);
    m_nBytesPerLine = sizeX * bytesPerPixel;
    if (bytesPerPixel == 0) {
        BITMAP_LOG("qvn_cBitmap::initBitmap() : Wanted eBpp(%d) is invalid.\n", eBpp);
        return false;
    }
    const int64_t pixels = int64_t(sizeX) * sizeY;
    m_p32bitsPixels = NewPixels32(pixels);
    if (m_p32bitsPixels) m_pBitmapPixels = NewBytes(pixels * bytesPerPixel);
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        release();
        BITMAP_LOG("qvn_cBitmap::initBitmap() : Not enough memory to allocate bitmap <%dx%dx%d>.\n", sizeX, sizeY,
                   eBpp);
        return false;
    }
    std::memset(m_p32bitsPixels, 0, size_t(pixels) * 4);
    std::memset(m_pBitmapPixels, 0, size_t(pixels) * bytesPerPixel);
    buildFadingTables();
    return true;
}

bool qvn_cBitmap::setNbpp(int eBpp) {
    if (!m_p32bitsPixels) {
        BITMAP_LOG("qvn_cBitmap::setNbpp() : m_p32bitsPixels is NULL Ptr\n");
        return false;
    }
    const int bytesPerPixel = qvn_BytesPerPixel(eBpp);
    if (bytesPerPixel == 0) {
        BITMAP_LOG("qvn_cBitmap::setNbpp() : Wanted eBpp(%d) is not supported.\n", eBpp);
        return false;
    }
    // A display copy of the same byte size is rewritten in place: parts
    // rebuild it every frame (a blur kept in the master) and must not
    // allocate while they play.
    const int bytesPerLine = m_nSizeX * bytesPerPixel;
    uint8_t* pixels = m_pBitmapPixels;
    if (!pixels || bytesPerLine != m_nBytesPerLine) {
        pixels = NewBytes(int64_t(m_nSizeX) * m_nSizeY * bytesPerPixel);
        if (!pixels) {
            BITMAP_LOG("qvn_cBitmap::setNbpp() : Not enough memory.\n");
            return false;
        }
    }
    for (int y = 0; y < m_nSizeY; ++y)
        convertRow(m_p32bitsPixels + size_t(y) * m_nSizeX, pixels + size_t(y) * bytesPerLine, m_nSizeX, eBpp);
    if (pixels != m_pBitmapPixels) delete[] m_pBitmapPixels;
    m_pBitmapPixels = pixels;
    m_eBpp = eBpp;
    m_nBytesPerLine = bytesPerLine;
    return true;
}

bool qvn_cBitmap::setSize(int sizeX, int sizeY) {
    if (sizeX <= 0 || sizeY <= 0) {
        BITMAP_LOG("qvn_cBitmap::setSize() : Bad size parameter (%dx%d)\n", sizeX, sizeY);
        return false;
    }
    if (sizeX == m_nSizeX && sizeY == m_nSizeY) return true;
    const int bytesPerPixel = qvn_BytesPerPixel(m_eBpp);
    if (bytesPerPixel == 0) {
        BITMAP_LOG("qvn_cBitmap::setSize() : Invalid eBpp.\n");
        return false;
    }
    // A bitmap left without buffers (a failed load) has nothing to sample.
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        BITMAP_LOG("qvn_cBitmap::setSize() : m_p32bitsPixels is NULL Ptr\n");
        return false;
    }
    const int64_t pixels = int64_t(sizeX) * sizeY;
    uint8_t* display = NewBytes(pixels * bytesPerPixel);
    if (!display) {
        BITMAP_LOG("qvn_cBitmap::setSize() : Not enough memory for scaled buffer.\n");
        return false;
    }
    uint32_t* master = NewPixels32(pixels);
    if (!master) {
        delete[] display;
        BITMAP_LOG("qvn_cBitmap::setSize() : Not enough memory for scaled 32 bits buffer.\n");
        return false;
    }
    // Positions grow by repeated single-precision addition, as the pictures
    // were always scaled; the clamp only guards against rounding drift on
    // very large enlargements.
    std::vector<int32_t> columns;
    try {
        columns.resize(size_t(sizeX));
    } catch (const std::bad_alloc&) {
        delete[] display;
        delete[] master;
        BITMAP_LOG("qvn_cBitmap::setSize() : Not enough memory for scaled buffer.\n");
        return false;
    }
    const float stepY = float(m_nSizeY) / float(sizeY);
    const float stepX = float(m_nSizeX) / float(sizeX);
    float colPos = 0.0f;
    for (int x = 0; x < sizeX; ++x, colPos += stepX) {
        int32_t c = static_cast<int32_t>(colPos);
        columns[size_t(x)] = c < m_nSizeX ? c : m_nSizeX - 1;
    }
    float rowPos = 0.0f;
    for (int y = 0; y < sizeY; ++y, rowPos += stepY) {
        int32_t r = static_cast<int32_t>(rowPos);
        if (r >= m_nSizeY) r = m_nSizeY - 1;
        const uint32_t* srcMaster = m_p32bitsPixels + size_t(r) * m_nSizeX;
        uint32_t* dstMaster = master + size_t(y) * sizeX;
        for (int x = 0; x < sizeX; ++x) dstMaster[x] = srcMaster[columns[size_t(x)]];
        if (bytesPerPixel == 2) {
            const uint16_t* src = reinterpret_cast<const uint16_t*>(m_pBitmapPixels) + size_t(r) * m_nSizeX;
            uint16_t* dst = reinterpret_cast<uint16_t*>(display) + size_t(y) * sizeX;
            for (int x = 0; x < sizeX; ++x) dst[x] = src[columns[size_t(x)]];
        } else {
            const uint32_t* src = reinterpret_cast<const uint32_t*>(m_pBitmapPixels) + size_t(r) * m_nSizeX;
            uint32_t* dst = reinterpret_cast<uint32_t*>(display) + size_t(y) * sizeX;
            for (int x = 0; x < sizeX; ++x) dst[x] = src[columns[size_t(x)]];
        }
    }
    delete[] m_pBitmapPixels;
    delete[] m_p32bitsPixels;
    m_pBitmapPixels = display;
    m_p32bitsPixels = master;
    m_nSizeX = sizeX;
    m_nSizeY = sizeY;
    m_nBytesPerLine = sizeX * bytesPerPixel;
    return true;
}

bool qvn_cBitmap::cropTo(uint32_t x, uint32_t y, uint32_t sizeX, uint32_t sizeY) {
    const uint32_t width = m_nSizeX > 0 ? uint32_t(m_nSizeX) : 0;
    const uint32_t height = m_nSizeY > 0 ? uint32_t(m_nSizeY) : 0;
    if (x >= width || y >= height) {
        BITMAP_LOG("qvn_cBitmap::cropTo() : Starting position outside of bitmap (x=%d, y=%d)\n", int(x), int(y));
        return false;
    }
    if (sizeX > width - x) {
        BITMAP_LOG("qvn_cBitmap::cropTo() : WARNING : nSizeX too big to fit in bitmap (nSizeX=%d)\n", int(sizeX));
        sizeX = width - x;
    }
    if (sizeY > height - y) {
        BITMAP_LOG("qvn_cBitmap::cropTo() : WARNING : nSizeY too big to fit in bitmap (nSizeY=%d)\n", int(sizeY));
        sizeY = height - y;
    }
    // A zero-sized crop goes on to initBitmap, which refuses it.
    uint32_t* temp = nullptr;
    if (sizeX && sizeY) {
        temp = NewPixels32(int64_t(sizeX) * sizeY);
        if (!temp) {
            BITMAP_LOG("qvn_cBitmap::cropTo() : Not enough mem\n");
            return false;
        }
    }
    if (!m_p32bitsPixels) {
        delete[] temp;
        BITMAP_LOG("qvn_cBitmap::cropTo() : pixels32 is NULL Ptr.\n");
        return false;
    }
    for (uint32_t row = 0; temp && row < sizeY; ++row)
        std::memcpy(temp + size_t(row) * sizeX, m_p32bitsPixels + size_t(y + row) * width + x, size_t(sizeX) * 4);
    const int eBpp = m_eBpp;
    release();
    if (!initBitmap(int(sizeX), int(sizeY), eBpp)) {
        delete[] temp;
        BITMAP_LOG("qvn_cBitmap::cropTo() : Can't init bitmap\n");
        return false;
    }
    if (!m_p32bitsPixels) {
        delete[] temp;
        BITMAP_LOG("qvn_cBitmap::cropTo() : Can't get newPixel32 Ptr.\n");
        return false;
    }
    std::memcpy(m_p32bitsPixels, temp, size_t(sizeX) * sizeY * 4);
    delete[] temp;
    if (!setNbpp(eBpp)) {
        BITMAP_LOG("qvn_cBitmap::cropTo() : Can't setNbpp().\n");
        return false;
    }
    return true;
}

bool qvn_cBitmap::copyFrom(const qvn_cBitmap* pSrcBitmap) {
    if (!pSrcBitmap) {
        BITMAP_LOG("qvn_cBitmap::copyFrom() : Can't copy a NULL Ptr.\n");
        return false;
    }
    // Releasing first would free the very buffers about to be copied.
    if (pSrcBitmap == this) return true;
    release();
    const int64_t pixels = int64_t(pSrcBitmap->m_nSizeX) * pSrcBitmap->m_nSizeY;
    if (pSrcBitmap->m_p32bitsPixels) {
        m_p32bitsPixels = NewPixels32(pixels);
        if (!m_p32bitsPixels) {
            BITMAP_LOG("qvn_cBitmap::copyFrom() : Not enough memory for m_p32bitsPixels.\n");
            return false;
        }
        std::memcpy(m_p32bitsPixels, pSrcBitmap->m_p32bitsPixels, size_t(pixels) * 4);
    }
    if (pSrcBitmap->m_pBitmapPixels) {
        const int64_t bytes = int64_t(pSrcBitmap->m_nBytesPerLine) * pSrcBitmap->m_nSizeY;
        m_pBitmapPixels = NewBytes(bytes);
        if (!m_pBitmapPixels) {
            release();
            BITMAP_LOG("qvn_cBitmap::copyFrom() : Not enough memory for m_pBitmapPixels.\n");
            return false;
        }
        std::memcpy(m_pBitmapPixels, pSrcBitmap->m_pBitmapPixels, size_t(bytes));
    }
    m_eBpp = pSrcBitmap->m_eBpp;
    m_nSizeX = pSrcBitmap->m_nSizeX;
    m_nSizeY = pSrcBitmap->m_nSizeY;
    m_nBytesPerLine = pSrcBitmap->m_nBytesPerLine;
    return true;
}

bool qvn_cBitmap::retrievePixels32(const void* pPixels, int eBpp, int sizeX, int sizeY) {
    if (!pPixels) {
        BITMAP_LOG("qvn_cBitmap::retrievePixels32() : pPixels is NULL Ptr.\n");
        return false;
    }
    if (sizeX != m_nSizeX || sizeY != m_nSizeY) {
        BITMAP_LOG("qvn_cBitmap::retrievePixels32() : pPixels is %dx%d instead of %dx%d.\n", sizeX, sizeY, m_nSizeX,
                   m_nSizeY);
        return false;
    }
    if (!m_p32bitsPixels) {
        BITMAP_LOG("qvn_cBitmap::retrievePixels32() : m_p32bitsPixels is NULL Ptr.\n");
        return false;
    }
    const size_t count = size_t(sizeX) * size_t(sizeY);
    switch (eBpp) {
    case QVN_BPP_24:
    case QVN_BPP_32:
        std::memmove(m_p32bitsPixels, pPixels, count * 4);
        break;
    case QVN_BPP_555: {
        const uint16_t* src = static_cast<const uint16_t*>(pPixels);
        for (size_t i = count; i-- > 0;) m_p32bitsPixels[i] = qvn_555ToRgb32(src[i]);
        break;
    }
    case QVN_BPP_565: {
        const uint16_t* src = static_cast<const uint16_t*>(pPixels);
        for (size_t i = count; i-- > 0;) m_p32bitsPixels[i] = qvn_565ToRgb32(src[i]);
        break;
    }
    default:
        BITMAP_LOG("qvn_cBitmap::retrievePixels32() : eBpp is invalid <%d>\n", eBpp);
        return false;
    }
    return setNbpp(eBpp);
}

bool qvn_cBitmap::syncPixels32() { return retrievePixels32(m_pBitmapPixels, m_eBpp, m_nSizeX, m_nSizeY); }

void qvn_cBitmap::invertColors() {
    if (!m_p32bitsPixels || !m_pBitmapPixels) {
        BITMAP_LOG("qvn_cBitmap::invertColors() : pixels Ptr are NULL Ptr.\n");
        return;
    }
    const size_t count = size_t(m_nSizeX) * size_t(m_nSizeY);
    const uint32_t* src = m_p32bitsPixels;
    switch (m_eBpp) {
    case QVN_BPP_555: {
        uint16_t* dst = pixels16();
        for (size_t i = 0; i < count; ++i) dst[i] = qvn_Rgb32To555(~src[i] & 0xFFFFFF);
        break;
    }
    case QVN_BPP_565: {
        uint16_t* dst = pixels16();
        for (size_t i = 0; i < count; ++i) dst[i] = qvn_Rgb32To565(~src[i] & 0xFFFFFF);
        break;
    }
    case QVN_BPP_24:
    case QVN_BPP_32: {
        uint32_t* dst = pixels32();
        for (size_t i = 0; i < count; ++i) dst[i] = ~src[i] & 0xFFFFFF;
        break;
    }
    default:
        BITMAP_LOG("qvn_cBitmap::invertColors() : Bad eBpp (%d)\n", m_eBpp);
        break;
    }
}

bool qvn_cBitmap::tile(int countX, int countY) {
    if (!m_p32bitsPixels) {
        BITMAP_LOG("qvn_cBitmap::tile() : m_p32bitsPixels=NULL !!\n");
        return false;
    }
    if (countX <= 0 || countY <= 0) {
        BITMAP_LOG("qvn_cBitmap::tile() : Bad count (%dx%d)\n", countX, countY);
        return false;
    }
    const int64_t newX = int64_t(countX) * m_nSizeX;
    const int64_t newY = int64_t(countY) * m_nSizeY;
    uint32_t* temp = (newX <= INT32_MAX && newY <= INT32_MAX) ? NewPixels32(newX * newY) : nullptr;
    if (!temp) {
        BITMAP_LOG("qvn_cBitmap::tile() : Not enough memory\n");
        return false;
    }
    const int width = m_nSizeX, height = m_nSizeY;
    for (int i = 0; i < countY; ++i)
        for (int row = 0; row < height; ++row) {
            const uint32_t* src = m_p32bitsPixels + size_t(row) * width;
            uint32_t* dst = temp + (size_t(i) * height + row) * size_t(newX);
            for (int j = 0; j < countX; ++j) std::memcpy(dst + size_t(j) * width, src, size_t(width) * 4);
        }
    const int eBpp = m_eBpp;
    release();
    if (!initBitmap(int(newX), int(newY), eBpp)) {
        delete[] temp;
        release();
        BITMAP_LOG("qvn_cBitmap::tile() : Not enough memory\n");
        return false;
    }
    std::memcpy(m_p32bitsPixels, temp, size_t(newX * newY) * 4);
    delete[] temp;
    if (!setNbpp(eBpp)) {
        BITMAP_LOG("qvn_cBitmap::tile() : Can't affect changes to 2nd bitmap buffer.\n");
        return false;
    }
    return true;
}
