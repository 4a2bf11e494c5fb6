// demo_hw's screen on OpenGL. The frame lives in two places: the GL target
// the 3D scenes are drawn into, and the CPU copy the picture parts composite
// into. Lock reads the target back into the CPU copy when the target is
// newer; Unlock leaves the CPU copy newer, and the next scene (or the Flip of
// the live screen) uploads it first. So a frame costs one read-back and one
// upload at most, and none when it has no 3D.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qvn_EngDisplay.h"
#include "qvn_GLDevice.h"

class qvn_cGLDisplay : public qvn_cEngDisplay {
public:
    qvn_cGLDisplay();
    ~qvn_cGLDisplay() override;

    void Lock() override;
    int32_t Unlock() override;
    // Colour and depth of the target, and the CPU copy: all cleared, so a
    // frame without 3D needs no read-back.
    void Clear() override;

    // Bracket a scene's drawing (the renderer's Begin and End): the context
    // is made current and the target takes the CPU copy when that is newer.
    // Null when there is no usable target.
    qvn_cGLDevice* BeginScene();
    void EndScene();

    qvn_cGLDevice& Device() { return m_Device; }
    // The CPU copy as it is now (tests and the capture look at it).
    const std::vector<uint16_t>& Frame() const { return m_Frame; }

protected:
    // The part of Init every GL display shares, once its context is current:
    // the target, the CPU copy, the scratch frame and the 5-6-5 format.
    bool InitTarget(int width, int height, int bpp, int windowed);
    // Makes the display's context current; false when it has none.
    virtual bool MakeCurrent() = 0;
    // Brings the CPU copy up to date (reads the target back when it is newer).
    void SyncToCpu();
    // Brings the target up to date (uploads the CPU copy when it is newer).
    void SyncToGpu();
    void ReleaseTarget();

    enum class eNewer { kSame, kCpu, kGpu };
    qvn_cGLDevice m_Device;
    std::vector<uint16_t> m_Frame;
    eNewer m_eNewer = eNewer::kSame;
};

// Capture mode and tests: the same renderer on a context with no display
// (EGL, Mesa's software renderer where there is no GPU). Every Flip hands
// the frame to the capture session, as the software capture display does.
class qvn_cHeadlessGL;
class qvn_cCaptureGLDisplay : public qvn_cGLDisplay {
public:
    qvn_cCaptureGLDisplay();
    ~qvn_cCaptureGLDisplay() override;
    bool Init(const char* deviceName, int width, int height, int bpp, int windowed) override;
    void Flip() override;
    const std::vector<uint16_t>& Presented() const { return m_Presented; }
    bool PresentedFrame(std::vector<uint16_t>* frame) override {
        if (m_Presented.empty()) return false;
        *frame = m_Presented;
        return true;
    }
    int FlipCount() const { return m_nFlips; }
    // What the context is ("llvmpipe ... | OpenGL ES 3.2 Mesa ..."), empty
    // before Init.
    const std::string& ContextDescription() const { return m_Description; }

protected:
    bool MakeCurrent() override;

private:
    qvn_cHeadlessGL* m_pContext = nullptr;
    std::vector<uint16_t> m_Presented;
    std::string m_Description;
    int m_nFlips = 0;
};

// The live screen: the SDL2 window with a GL context, presented as demo_sw
// presents (at 4:3, letterboxed, Alt+Enter, paced to the display's refresh),
// in the look --filter chose. demo_sw takes it for the sharp and crt looks:
// with software frames the show draws into the CPU copy only, and the GL
// side just shows it.
class qvn_cScreenGLDisplay : public qvn_cGLDisplay {
public:
    explicit qvn_cScreenGLDisplay(bool softwareFrames = false);
    ~qvn_cScreenGLDisplay() override;
    bool Init(const char* deviceName, int width, int height, int bpp, int windowed) override;
    void Flip() override;
    void Represent() override;
    bool PresentedFrame(std::vector<uint16_t>* frame) override;
    bool WindowPicture(std::vector<uint32_t>* rgb, int* width, int* height) override;

protected:
    bool MakeCurrent() override;

private:
    // The window's picture of the target: scaled, letterboxed, the overlay
    // over it; false when the window has no size.
    bool Compose(int* outW, int* outH);

    void* m_pWindowState = nullptr;  // the backend's own record
    // (The browser's screen has neither: the page shows the frame and its look.)
    [[maybe_unused]] bool m_bSoftwareFrames = false;
    [[maybe_unused]] bool m_bFilterNoted = false;
};

// Whether a GL context can be had for the screen (a hidden window is made
// and dropped to find out); false with the reason in *why.
bool qvn_ScreenGLAvailable(std::string* why);

// A GL context that needs no window or display server.
class qvn_cHeadlessGL {
public:
    // A GLES 3 context (GL 3.3 core when GLES is missing) on the EGL device
    // of no display; null with the reason in *why.
    static qvn_cHeadlessGL* Create(std::string* why);
    virtual ~qvn_cHeadlessGL() = default;
    virtual bool MakeCurrent() = 0;
};
