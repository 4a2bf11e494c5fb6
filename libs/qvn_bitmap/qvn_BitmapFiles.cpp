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
    std::fclose(f);
    if (loadJPG(szFileName)) return true;
    if (loadBMP(szFileName)) return true;
    return loadPCX(szFileName);
}

bool qvn_cBitmap::loadJPG(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadJPG() : szFileName is NULL.\n");
        return false;
    }
    // Case-sensitive on purpose: this is how loadFromFile passes other
    // pictures on to the next loader.
    if (!std::strstr(szFileName, ".jpg")) return false;
    std::unique_ptr<SJpegImage, void (*)(SJpegImage*)> image(qvn_JpegDecode(szFileName, QVN_JPEG_RGB32),
                                                              qvn_JpegFree);
    if (!image) {
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
    const qvn_eBmpStatus status = qvn_ReadBmp(file.get(), size, &image);
    std::unique_ptr<uint32_t[]> pixels(image.pPixels);
    switch (status) {
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
    if (!initBitmap(image.nWidth, image.nHeight, QVN_BPP_24)) {
        release();
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Not enough memory to load file <%s>\n", szFileName);
        return false;
    }
    std::memcpy(m_p32bitsPixels, pixels.get(), static_cast<size_t>(image.nWidth) * image.nHeight * 4);
    if (!setNbpp(QVN_BPP_24)) {
        BITMAP_LOG("qvn_cBitmap::loadBMP() : Can't affect changes to 2nd bitmap buffer.\n");
        return false;
    }
    return true;
}

bool qvn_cBitmap::loadPCX(const char* szFileName) {
    if (!szFileName) {
        BITMAP_LOG("qvn_cBitmap::loadPCX() : szFileName is NULL.\n");
        return false;
    }
    // There is no PCX reader: the entry point accepts the file and leaves the
    // bitmap as the loaders before it left it.
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
