// The bitmap's picture loaders: thin layers over the JPEG decoder and the BMP
// and TGA parsing cores, turning their results into the bitmap's buffers and
// their failures into the bitmap's messages.
#include <cstdio>
#include <cstring>
#include <memory>

#include "qvn_Bitmap.h"
#include "qvn_ErrorLog.h"
#include "qvn_JpegDecoder.h"
#include "qvn_PictureReaders.h"
#include "qvn_PixelFormat.h"
#include "qvn_DataPath.h"

#define BITMAP_LOG(...) qvn_MessageLogPrintf(m_pErrorLog, __VA_ARGS__)

bool qvn_cBitmap::loadFromFile(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadFromFile() : szFileName is NULL.\n");
        return false;
    }
    FILE* f = qvn_fopen(szFileName, "rb");
    if (!f) {
        BITMAP_LOG("qvn_cBitmap::loadFromFile() : file <%s> doesn't exist.\n", szFileName);
        return false;
    }
    uint8_t head[2] = {0, 0};
    const size_t got = std::fread(head, 1, 2, f);
    std::fclose(f);
    // The content decides, not the name: "PHOTO.JPG" is a JPEG too.
    if (got == 2 && head[0] == 0xFF && head[1] == 0xD8) return decodeJPG(szFileName);
    if (got == 2 && head[0] == 'B' && head[1] == 'M') return loadBMP(szFileName);
    if (got >= 1 && head[0] == 0x0A) return loadPCX(szFileName);
    release();
    BITMAP_LOG("qvn_cBitmap::loadFromFile() : <%s> is neither a JPEG, a BMP nor a PCX picture.\n", szFileName);
    return false;
}

bool qvn_cBitmap::loadJPG(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadJPG() : szFileName is NULL.\n");
        return false;
    }
    // Case-sensitive on purpose: callers rely on other names being passed by.
    if (!std::strstr(szFileName, ".jpg")) return false;
    return decodeJPG(szFileName);
}

bool qvn_cBitmap::decodeJPG(const char* szFileName) {
    SJpegInfo info;
    std::unique_ptr<SJpegImage, void (*)(SJpegImage*)> image(qvn_JpegDecode(szFileName, QVN_JPEG_RGB32, &info),
                                                              qvn_JpegFree);
    if (!image) {
        // Why, naming the file, then the line callers look for.
        if (info.szReason[0]) BITMAP_LOG("qvn_cBitmap::loadJPG() : <%s> : %s.\n", szFileName, info.szReason);
        BITMAP_LOG("qvn_cBitmap::loadJPG() : Can't load file.\n");
        return false;
    }
    release();
    if (!initBitmap(image->nWidth, image->nHeight, QVN_BPP_565)) {
        release();
        BITMAP_LOG("qvn_cBitmap::loadJPG() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    }
    const size_t count = static_cast<size_t>(image->nWidth) * static_cast<size_t>(image->nHeight);
    if (image->nBytesPerPixel == 4) {
        std::memcpy(m_p32bitsPixels, image->pPixels, count * 4);
    } else {
        // One-component pictures come out as grey bytes.
        for (size_t i = 0; i < count; ++i) m_p32bitsPixels[i] = image->pPixels[i] * 0x010101u;
    }
    // The decoder's copy goes before the display copy is rebuilt, so the
    // picture is never held three times over.
    image.reset();
    if (!setNbpp(QVN_BPP_24)) {
        BITMAP_LOG("qvn_cBitmap::loadJPG() : Can't affect changes to 2nd bitmap buffer.\n");
        return false;
    }
    return true;
}

bool qvn_cBitmap::loadBMP(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadBMP() : szFileName is NULL.\n");
        return false;
    }
    release();
    FILE* f = qvn_fopen(szFileName, "rb");
    if (!f) {
        BITMAP_LOG("qvn_cBitmap::loadBMP() : File <%s> doesn't exist.\n", szFileName);
        return false;
    }
    std::fclose(f);
    size_t size = 0;
    std::unique_ptr<uint8_t[]> file(qvn_ReadWholeFile(szFileName, &size));
    if (!file) {
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    }
    SBmpImage image;
    switch (qvn_ParseBmp(file.get(), size, &image)) {
    case qvn_eBmpStatus::Ok:
        break;
    case qvn_eBmpStatus::NotBmp:
        return false;
    case qvn_eBmpStatus::UndefinedDepth:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Undefined nbpp !\n");
        return false;
    case qvn_eBmpStatus::TooLarge:
    case qvn_eBmpStatus::NoMemory:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    case qvn_eBmpStatus::Rle8:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : <%s> uses BMP_COMPRESSION_RLE8....Can't read it.\n", szFileName);
        return false;
    case qvn_eBmpStatus::Rle4:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : <%s> uses BMP_COMPRESSION_RLE4....Can't read it.\n", szFileName);
        return false;
    case qvn_eBmpStatus::UnknownCompression:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : <%s> uses unknown comrpession format....Can't read it.\n", szFileName);
        return false;
    case qvn_eBmpStatus::Damaged:
        BITMAP_LOG("qvn_cBitmap::loadBMP() : <%s> is damaged (%s)....Can't read it.\n", szFileName,
                   image.pszProblem ? image.pszProblem : "?");
        return false;
    }
    // Decoded straight into the master copy: a 1-bit file grows 32 times, so
    // no second copy of the picture is made on the way.
    if (!initBitmap(image.nWidth, image.nHeight, QVN_BPP_24)) {
        release();
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    }
    qvn_DecodeBmp(file.get(), image, m_p32bitsPixels);
    // The display copy of an eBpp 24 bitmap is the master's words.
    std::memcpy(m_pBitmapPixels, m_p32bitsPixels, static_cast<size_t>(m_nSizeX) * m_nSizeY * 4);
    return true;
}

bool qvn_cBitmap::loadPCX(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadPCX() : szFileName is NULL.\n");
        return false;
    }
    release();
    size_t size = 0;
    std::unique_ptr<uint8_t[]> file(qvn_ReadWholeFile(szFileName, &size));
    if (!file) {
        BITMAP_LOG("qvn_cBitmap::loadPCX() : Can't read file <%s>\n", szFileName);
        return false;
    }
    SPcxImage image;
    switch (qvn_ParsePcx(file.get(), size, &image)) {
    case qvn_ePcxStatus::Ok:
        break;
    case qvn_ePcxStatus::NotPcx:
        BITMAP_LOG("qvn_cBitmap::loadPCX() : <%s> is not a PCX file.\n", szFileName);
        return false;
    case qvn_ePcxStatus::TooLarge:
    case qvn_ePcxStatus::NoMemory:
        BITMAP_LOG("qvn_cBitmap::loadPCX() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    case qvn_ePcxStatus::Unsupported:
        BITMAP_LOG("qvn_cBitmap::loadPCX() : <%s> is a kind of PCX this reader does not take (%s).\n", szFileName,
                   image.pszProblem);
        return false;
    case qvn_ePcxStatus::Damaged:
        BITMAP_LOG("qvn_cBitmap::loadPCX() : <%s> is damaged (%s)....Can't read it.\n", szFileName, image.pszProblem);
        return false;
    }
    if (!initBitmap(image.nWidth, image.nHeight, QVN_BPP_24)) {
        release();
        BITMAP_LOG("qvn_cBitmap::loadPCX() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    }
    if (!qvn_DecodePcx(file.get(), size, image, m_p32bitsPixels)) {
        release();
        BITMAP_LOG("qvn_cBitmap::loadPCX() : <%s> is damaged (coded data cut short)....Can't read it.\n", szFileName);
        return false;
    }
    std::memcpy(m_pBitmapPixels, m_p32bitsPixels, static_cast<size_t>(m_nSizeX) * m_nSizeY * 4);
    return true;
}

uint16_t* loadMapTGA(const char* szFileName, int screenFormatCode) {
    size_t size = 0;
    std::unique_ptr<uint8_t[]> file(qvn_ReadWholeFile(szFileName, &size));
    if (!file) {
        LogMessage("loadMapTGA() : File <%s> doesn't exist.\n", szFileName ? szFileName : "(null)");
        return nullptr;
    }
    uint16_t* map = qvn_ReadMapTga(file.get(), size, screenFormatCode);
    if (!map)
        LogMessage("loadMapTGA() : <%s> holds %lu bytes instead of %lu.\n", szFileName,
                   static_cast<unsigned long>(size), static_cast<unsigned long>(kQvnMapTgaBytes));
    return map;
}

uint16_t* loadMapTGA(const char* szFileName) {
    // Until a display has described the screen, 5-6-5 is the likely one.
    const int code = g_PixelFormat.m_nBitCount ? g_PixelFormat.ScreenFormatCode() : 16;
    return loadMapTGA(szFileName, code);
}
