// A GL context with no window: EGL on Mesa's surfaceless platform (which
// takes the GPU's driver when there is one and the software rasteriser
// otherwise), drawing only into framebuffer objects.
#include <epoxy/egl.h>

#include <cstdio>

#include "qvn_DisplayGL.h"

namespace {

class qvn_cEglContext : public qvn_cHeadlessGL {
public:
    ~qvn_cEglContext() override {
        if (m_Display == EGL_NO_DISPLAY) return;
        eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (m_Context != EGL_NO_CONTEXT) eglDestroyContext(m_Display, m_Context);
        // No eglTerminate: the display is shared by the whole process (EGL
        // hands out the same one to every caller), and terminating it
        // unloads the driver under whoever else still uses it.
    }
    bool MakeCurrent() override {
        if (m_Context == EGL_NO_CONTEXT) return false;
        if (eglGetCurrentContext() == m_Context) return true;
        return eglMakeCurrent(m_Display, EGL_NO_SURFACE, EGL_NO_SURFACE, m_Context) == EGL_TRUE;
    }

    bool Open(std::string* why) {
        const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (clientExtensions && epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
            m_Display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (m_Display == EGL_NO_DISPLAY) m_Display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (m_Display == EGL_NO_DISPLAY) return Fail(why, "no EGL display");
        EGLint major = 0, minor = 0;
        if (!eglInitialize(m_Display, &major, &minor)) {
            m_Display = EGL_NO_DISPLAY;
            return Fail(why, "eglInitialize failed");
        }
        if (!epoxy_has_egl_extension(m_Display, "EGL_KHR_surfaceless_context"))
            return Fail(why, "EGL cannot make a context current without a surface");
        // GLES 3 first; the same shaders run on GL 3.3 core.
        if (TryContext(EGL_OPENGL_ES_API, EGL_OPENGL_ES3_BIT, 3, 0)) return true;
        if (TryContext(EGL_OPENGL_API, EGL_OPENGL_BIT, 3, 3)) return true;
        char text[64];
        std::snprintf(text, sizeof text, "no GLES 3 or GL 3.3 context (EGL error 0x%x)", eglGetError());
        return Fail(why, text);
    }

private:
    bool Fail(std::string* why, const char* text) {
        if (why) *why = text;
        return false;
    }

    bool TryContext(EGLenum api, EGLint renderable, EGLint major, EGLint minor) {
        if (!eglBindAPI(api)) return false;
        const EGLint configAttribs[] = {EGL_SURFACE_TYPE, 0, EGL_RENDERABLE_TYPE, renderable, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        if (!eglChooseConfig(m_Display, configAttribs, &config, 1, &count) || count < 1) config = nullptr;
        if (!config && !epoxy_has_egl_extension(m_Display, "EGL_KHR_no_config_context")) return false;
        EGLint contextAttribs[] = {EGL_CONTEXT_MAJOR_VERSION, major, EGL_CONTEXT_MINOR_VERSION, minor,
                                   EGL_NONE, EGL_NONE, EGL_NONE};
        if (api == EGL_OPENGL_API) {
            contextAttribs[4] = EGL_CONTEXT_OPENGL_PROFILE_MASK;
            contextAttribs[5] = EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT;
        }
        m_Context = eglCreateContext(m_Display, config ? config : EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttribs);
        if (m_Context == EGL_NO_CONTEXT) return false;
        if (!MakeCurrent()) {
            eglDestroyContext(m_Display, m_Context);
            m_Context = EGL_NO_CONTEXT;
            return false;
        }
        return true;
    }

    EGLDisplay m_Display = EGL_NO_DISPLAY;
    EGLContext m_Context = EGL_NO_CONTEXT;
};

}  // namespace

qvn_cHeadlessGL* qvn_cHeadlessGL::Create(std::string* why) {
    qvn_cEglContext* context = new qvn_cEglContext;
    if (!context->Open(why)) {
        delete context;
        return nullptr;
    }
    return context;
}
