// demo_hw's screens in the browser: a WebGL 2 context (GLES 3) on a canvas of
// the page's that is never shown. The 3D scenes are drawn into the 320 x 240
// target there; the frame is read back and shown as demo_sw's is (the page
// scales and letterboxes it), and the capture display takes it from the same
// context. Without a page (Node) there is no WebGL, and demo_hw says so.
#include <emscripten/html5.h>

#include <cstring>
#include <string>

#include "qvn_DisplayGL.h"
#include "qvn_ErrorLog.h"
#include "qvn_Overlay.h"
#include "qvn_Web.h"

namespace {

// The canvas the page keeps for the GL context.
constexpr const char* kCanvas = "#qvn-gl";

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE CreateWebGL2(std::string* why) {
    if (!qvn_WebHasPage()) {
        *why = "no WebGL without a page (demo_hw runs in the browser; demo_sw also under Node)";
        return 0;
    }
    EmscriptenWebGLContextAttributes attrs;
    emscripten_webgl_init_context_attributes(&attrs);
    attrs.majorVersion = 2;
    attrs.minorVersion = 0;
    attrs.alpha = false;
    attrs.depth = false;  // the target has its own depth buffer
    attrs.stencil = false;
    attrs.antialias = false;
    attrs.preserveDrawingBuffer = false;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context(kCanvas, &attrs);
    if (context <= 0) *why = "the browser gives no WebGL 2 context";
    return context;
}

class cWebGLContext : public qvn_cHeadlessGL {
public:
    explicit cWebGLContext(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context) : m_Context(context) {}
    ~cWebGLContext() override { emscripten_webgl_destroy_context(m_Context); }
    bool MakeCurrent() override {
        if (emscripten_webgl_get_current_context() == m_Context) return true;
        return emscripten_webgl_make_context_current(m_Context) == EMSCRIPTEN_RESULT_SUCCESS;
    }

private:
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE m_Context;
};

struct SWebGLScreen {
    cWebGLContext* context = nullptr;
    std::vector<uint16_t> presented;
};

}  // namespace

qvn_cHeadlessGL* qvn_cHeadlessGL::Create(std::string* why) {
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = CreateWebGL2(why);
    if (context <= 0) return nullptr;
    cWebGLContext* gl = new cWebGLContext(context);
    if (!gl->MakeCurrent()) {
        *why = "the WebGL 2 context cannot be made current";
        delete gl;
        return nullptr;
    }
    return gl;
}

qvn_cScreenGLDisplay::qvn_cScreenGLDisplay(bool softwareFrames) : m_bSoftwareFrames(softwareFrames) {}

qvn_cScreenGLDisplay::~qvn_cScreenGLDisplay() {
    ReleaseTarget();
    SWebGLScreen* s = static_cast<SWebGLScreen*>(m_pWindowState);
    if (s) {
        delete s->context;
        delete s;
        m_pWindowState = nullptr;
    }
}

bool qvn_cScreenGLDisplay::MakeCurrent() {
    SWebGLScreen* s = static_cast<SWebGLScreen*>(m_pWindowState);
    return s && s->context && s->context->MakeCurrent();
}

bool qvn_cScreenGLDisplay::Init(const char* deviceName, int width, int height, int bpp, int windowed) {
    if (m_DDrawDevices.m_nCount == 0) {
        SDDrawDevice* device = m_DDrawDevices.Append(new SDDrawDevice("The page's canvas (WebGL 2)", "display", nullptr));
        if (device) device->m_Modes.Append(new SDisplayMode(width, height, 16));
    }
    const char* wanted = deviceName ? deviceName : "";
    if (std::strcmp(wanted, "NoSelection") != 0 && std::strcmp(wanted, "display") != 0) return false;
    std::string why;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = CreateWebGL2(&why);
    if (context <= 0) {
        QVN_LOG_LOCATION();
        LogMessage("qvn_cEngDisplay::InitDirect3d : CreateDevice failed ! (%s)\n", why.c_str());
        return false;
    }
    SWebGLScreen* s = new SWebGLScreen;
    m_pWindowState = s;
    s->context = new cWebGLContext(context);
    if (!MakeCurrent()) return false;
    if (!InitTarget(width, height, bpp, windowed)) return false;
    m_nRefreshHz = 60;
    return true;
}

// The page composes the window's picture; the program has none of its own.
bool qvn_cScreenGLDisplay::Compose(int*, int*) { return false; }

void qvn_cScreenGLDisplay::Represent() {
    SWebGLScreen* s = static_cast<SWebGLScreen*>(m_pWindowState);
    if (!s || s->presented.empty()) return;
    if (m_pOverlay && m_pOverlay->width > 0)
        qvn_WebOverlay(m_pOverlay->argb.data(), m_pOverlay->width, m_pOverlay->height);
    else
        qvn_WebOverlay(nullptr, 0, 0);
    qvn_WebPresent(s->presented.data(), m_nWidth, m_nHeight);
}

bool qvn_cScreenGLDisplay::PresentedFrame(std::vector<uint16_t>* frame) {
    SWebGLScreen* s = static_cast<SWebGLScreen*>(m_pWindowState);
    if (!s || s->presented.empty()) return false;
    *frame = s->presented;
    return true;
}

bool qvn_cScreenGLDisplay::WindowPicture(std::vector<uint32_t>*, int*, int*) { return false; }

void qvn_cScreenGLDisplay::Flip() {
    SWebGLScreen* s = static_cast<SWebGLScreen*>(m_pWindowState);
    if (!s || m_Frame.empty()) return;
    SyncToCpu();
    s->presented = m_Frame;
    Represent();
    qvn_WebWaitFrame();
}
