// The screen: a 320 x 240 16-bit back surface that parts lock once per frame,
// write rows into, and present. One header for every backend; the DirectDraw
// one (qvn_DisplayDDraw.cpp), the SDL2 one and the capture one (a class of its
// own, since capture is chosen at run time) implement it.
#pragma once

#include <cstdint>
#include <vector>

#include "qvn_PictureFilter.h"
#include "qvn_PixelFormat.h"

struct qvn_SOverlayPicture;

// Opaque platform objects: the header names them so the class keeps its shape
// on every backend, but only the backend's own file knows what they are.
struct IDirectDraw;
struct IDirectDraw4;
struct IDirectDrawSurface4;
struct IDirectDrawClipper;

struct qvn_SRect {
    int32_t left, top, right, bottom;
};

class qvn_cDisplayBase {
public:
    qvn_cDisplayBase();
    virtual void Lock() = 0;
    virtual int32_t Unlock() = 0;
    // Stores the four values (and the clip rectangle); true.
    virtual bool Init(int width, int height, int bpp, int windowed);
    virtual void Clear() {}
    virtual void Flip() {}
    virtual ~qvn_cDisplayBase() = default;

    // Whether the locked surface is plain memory, as cheap to read as to
    // write: the picture parts then composite on it directly instead of on a
    // copy. Not for a surface on a graphics card, where reading is slow.
    virtual bool SurfaceInMemory() const { return false; }

    // The viewer, while paused: shows the last presented frame again, with
    // the overlay as it is now.
    virtual void Represent() {}
    // The last presented frame, exactly (5-6-5, m_nWidth x m_nHeight); false
    // when the display keeps none.
    virtual bool PresentedFrame(std::vector<uint16_t>* frame) {
        (void)frame;
        return false;
    }
    // The window's picture as shown (0x00RRGGBB, row 0 on top), overlay
    // included; false when there is no window.
    virtual bool WindowPicture(std::vector<uint32_t>* rgb, int* width, int* height) {
        (void)rgb, (void)width, (void)height;
        return false;
    }

    // The viewer's overlay: drawn over the window's picture at every
    // present until another is set (null: none). The caller keeps it alive;
    // displays without a window ignore it.
    void SetOverlay(const qvn_SOverlayPicture* overlay) { m_pOverlay = overlay; }
    // The refresh rate the display paces its frames to, in Hz (0: it does
    // not pace; known once Init has succeeded).
    int32_t RefreshHz() const { return m_nRefreshHz; }
    // How many refreshes the frame before the last flip stayed on the
    // screen (1: the last one was on time; 0: unknown, or the first after a
    // pause).
    int32_t LastPresentRefreshes() const { return m_nLastPresentRefreshes; }

    int32_t m_nHeight, m_nWidth, m_nBpp;
    int32_t m_bWindowed;  // 1 windowed, 0 full screen
    qvn_SRect m_rcClip;
    int32_t m_eRenderMode;  // 0 software, 1 hardware 3D, 2 not chosen
    int32_t m_nPitch;       // bytes per line of the locked surface
    int32_t m_nPitchPixels; // m_nPitch / (m_nBpp / 8)
    const qvn_SOverlayPicture* m_pOverlay = nullptr;
    int32_t m_nRefreshHz = 0;
    int32_t m_nLastPresentRefreshes = 0;
};

enum { QVN_RENDER_SOFTWARE = 0, QVN_RENDER_HARDWARE = 1, QVN_RENDER_NONE = 2 };

struct SDisplayMode {
    SDisplayMode(int w, int h, int bpp) : m_nWidth(w), m_nHeight(h), m_nBpp(bpp) {}
    virtual ~SDisplayMode() = default;
    int32_t m_nWidth, m_nHeight, m_nBpp;
};

// A growable array of owned pointers that grows by one per insertion.
template <class T>
struct qvn_SPtrArray {
    int32_t m_nCount = 0;
    T** m_ppItems = nullptr;
    T* Append(T* item);  // null when out of memory (item is then deleted)
    void Clear();
};

struct SDDrawDevice {
    SDDrawDevice(const char* description, const char* name, const uint8_t* guid);
    virtual ~SDDrawDevice();
    char m_szDescription[256];
    char m_szName[256];
    uint8_t m_Guid[16];  // all zero for the driver enumerated without a GUID
    qvn_SPtrArray<SDisplayMode> m_Modes;
};

struct SD3DDevice {
    SD3DDevice(const char* description, const char* name, const uint8_t* guid, uint32_t depthFlags);
    virtual ~SD3DDevice();
    char* m_pszDescription;
    char* m_pszName;
    uint8_t m_Guid[16];
    uint32_t m_nRenderDepths;  // DDBD_8/16/24/32 flags
    qvn_SPtrArray<SDisplayMode> m_Modes;
};

struct STextureFormatBlock {
    uint8_t m_Bytes[32];
};

class qvn_cDDrawEnum {
public:
    virtual ~qvn_cDDrawEnum();
    qvn_SPtrArray<SDDrawDevice> m_DDrawDevices;
    qvn_SPtrArray<SD3DDevice> m_D3DDevices;
    qvn_SPtrArray<STextureFormatBlock> m_TextureFormats;
};

class qvn_cEngDisplay : public qvn_cDisplayBase, public qvn_cDDrawEnum {
public:
    qvn_cEngDisplay();
    void Lock() override;
    int32_t Unlock() override;
    bool Init(int width, int height, int bpp, int windowed) override;
    void Clear() override;
    void Flip() override;
    ~qvn_cEngDisplay() override;
    void Represent() override;
    bool PresentedFrame(std::vector<uint16_t>* frame) override;
    bool WindowPicture(std::vector<uint32_t>* rgb, int* width, int* height) override;
    // Picks the device whose driver name is deviceName ("NoSelection": the
    // first one), takes the screen and builds the surfaces.
    virtual bool Init(const char* deviceName, int width, int height, int bpp, int windowed);

    uint16_t* m_pSurfacePixels;  // the locked back surface; null when unlocked
    IDirectDraw* m_pDD;
    IDirectDraw4* m_pDD4;
    IDirectDrawSurface4* m_pPrimary;
    IDirectDrawSurface4* m_pBackBuffer;
    IDirectDrawClipper* m_pClipper;
    qvn_SRect m_rcSrc;
    qvn_SRect m_rcDst;
    qvn_cPixelFormat m_PixelFormat;

    // The backend's private state (window, renderer, texture, pixel store).
    void* m_pBackend;

protected:
    bool InitSurfaces_FullScreen();
    bool InitSurfaces_Windowed();
    void ConvertDDFormat();
    // Allocates g_p16bitsScreenBuffer; false when out of memory.
    static bool AllocScreenBuffer();
};

// The 320 x 240 16-bit scratch frame parts compose into.
constexpr int QVN_SCREEN_WIDTH = 320;
constexpr int QVN_SCREEN_HEIGHT = 240;
constexpr int QVN_SCREEN_BUFFER_BYTES = QVN_SCREEN_WIDTH * QVN_SCREEN_HEIGHT * 2;
extern uint16_t* g_p16bitsScreenBuffer;

extern qvn_cEngDisplay* g_pDisplay;

// The device name Init asks for ("display" unless --display-device says otherwise).
extern const char* g_pszDisplayDevice;

// Windowed mode: the client area is this many times 320 x 240 (0: 640 x 480).
extern int g_nDisplayScale;

// The look of the frame on the screen (--filter); the exact screenshot and
// the capture's frames never have it.
extern qvn_eFilter g_eDisplayFilter;

// Keep the desktop's display mode and show the frame scaled in a borderless
// full-screen window (--desktop; what the SDL2 screens always do).
extern bool g_bDisplayDesktop;

// Pace to this many frames a second instead of the display's refresh and
// its vertical blank (--refresh; 0: the display's).
extern int g_nDisplayRefreshHz;
