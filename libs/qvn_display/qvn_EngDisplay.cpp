// The parts of the display every backend shares: the base class, the device
// lists and the scratch frame.
#include "qvn_EngDisplay.h"

#include <cstdlib>
#include <cstring>
#include <new>

uint16_t* g_p16bitsScreenBuffer = nullptr;
qvn_cEngDisplay* g_pDisplay = nullptr;
const char* g_pszDisplayDevice = "display";

qvn_cDisplayBase::qvn_cDisplayBase()
    : m_nHeight(0), m_nWidth(0), m_nBpp(0), m_bWindowed(1), m_rcClip{0, 0, 0, 0},
      m_eRenderMode(QVN_RENDER_NONE), m_nPitch(0), m_nPitchPixels(0) {}

bool qvn_cDisplayBase::Init(int width, int height, int bpp, int windowed) {
    m_nWidth = width;
    m_nHeight = height;
    m_nBpp = bpp;
    m_bWindowed = windowed;
    m_rcClip = {0, 0, width, height};
    return true;
}

template <class T>
T* qvn_SPtrArray<T>::Append(T* item) {
    if (!item) return nullptr;
    // Grows by one per insertion: the lists hold a handful of devices and modes.
    T** grown = static_cast<T**>(std::realloc(m_ppItems, sizeof(T*) * (m_nCount + 1)));
    if (!grown) {
        delete item;
        return nullptr;
    }
    m_ppItems = grown;
    m_ppItems[m_nCount++] = item;
    return item;
}

template <class T>
void qvn_SPtrArray<T>::Clear() {
    for (int i = 0; i < m_nCount; ++i) delete m_ppItems[i];
    std::free(m_ppItems);
    m_ppItems = nullptr;
    m_nCount = 0;
}

template struct qvn_SPtrArray<SDisplayMode>;
template struct qvn_SPtrArray<SDDrawDevice>;
template struct qvn_SPtrArray<SD3DDevice>;
template struct qvn_SPtrArray<STextureFormatBlock>;

static void CopyName(char (&dst)[256], const char* src) {
    std::strncpy(dst, src ? src : "", sizeof dst - 1);
    dst[sizeof dst - 1] = 0;
}

static char* HeapCopy(const char* src) {
    if (!src) src = "";
    size_t n = std::strlen(src) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy) std::memcpy(copy, src, n);
    return copy;
}

SDDrawDevice::SDDrawDevice(const char* description, const char* name, const uint8_t* guid) {
    CopyName(m_szDescription, description);
    CopyName(m_szName, name);
    if (guid) std::memcpy(m_Guid, guid, sizeof m_Guid);
    else std::memset(m_Guid, 0, sizeof m_Guid);
}

SDDrawDevice::~SDDrawDevice() { m_Modes.Clear(); }

SD3DDevice::SD3DDevice(const char* description, const char* name, const uint8_t* guid, uint32_t depthFlags)
    : m_pszDescription(HeapCopy(description)), m_pszName(HeapCopy(name)), m_nRenderDepths(depthFlags) {
    if (guid) std::memcpy(m_Guid, guid, sizeof m_Guid);
    else std::memset(m_Guid, 0, sizeof m_Guid);
}

SD3DDevice::~SD3DDevice() {
    delete[] m_pszDescription;
    delete[] m_pszName;
    m_Modes.Clear();
}

qvn_cDDrawEnum::~qvn_cDDrawEnum() {
    m_DDrawDevices.Clear();
    m_D3DDevices.Clear();
    m_TextureFormats.Clear();
}

bool qvn_cEngDisplay::AllocScreenBuffer() {
    if (!g_p16bitsScreenBuffer)
        g_p16bitsScreenBuffer = static_cast<uint16_t*>(std::calloc(QVN_SCREEN_BUFFER_BYTES, 1));
    return g_p16bitsScreenBuffer != nullptr;
}

bool qvn_cEngDisplay::Init(int width, int height, int bpp, int windowed) {
    return Init("NoSelection", width, height, bpp, windowed);
}

qvn_cEngDisplay::qvn_cEngDisplay()
    : m_pSurfacePixels(nullptr), m_pDD(nullptr), m_pDD4(nullptr), m_pPrimary(nullptr), m_pBackBuffer(nullptr),
      m_pClipper(nullptr), m_rcSrc{0, 0, 0, 0}, m_rcDst{0, 0, 0, 0}, m_pBackend(nullptr) {}

int g_nDisplayScale = 0;
qvn_eFilter g_eDisplayFilter = qvn_eFilter::kNearest;
bool g_bDisplayDesktop = false;
int g_nDisplayRefreshHz = 0;
