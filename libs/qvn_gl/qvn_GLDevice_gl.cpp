#include "qvn_GLDevice.h"

#include "qvn_GLApi_gl.h"

#include <cstring>

qvn_cGLDevice* g_pGLDevice = nullptr;

namespace {

// Every render mode is "texel times diffuse colour", with the colour key as a
// discard; blending does the rest. GLES 3 and GL 3.3 core take the same body.
const char kVertexShader[] = R"(
in vec4 aPosition;
in vec2 aTexCoord;
in vec4 aColor;
out vec2 vTexCoord;
out vec4 vColor;
void main() {
    gl_Position = aPosition;
    vTexCoord = aTexCoord;
    vColor = aColor;
}
)";

const char kFragmentShader[] = R"(
uniform sampler2D uTexture;
uniform int uKeyed;
in vec2 vTexCoord;
in vec4 vColor;
out vec4 oColor;
void main() {
    vec4 t = texture(uTexture, vTexCoord);
    // Bilinear filtering blends the key into its neighbours' alpha; half
    // way is where the hole's edge runs.
    if (uKeyed != 0 && t.a < 0.5) discard;
    oColor = vec4(t.rgb * vColor.rgb, 1.0);
}
)";

// The sharp and crt looks' shaders (kPresentVertexShader,
// kPresentFragmentShader), made from the files the web page reads too.
#include "qvn_PictureFilterShaders.h"

// An RGBA8 texture of width x height as a framebuffer's colour; false (both
// made all the same, for the caller to free) when the pair is not complete.
bool MakeColourTarget(int width, int height, GLuint* texture, GLuint* framebuffer) {
    glGenTextures(1, texture);
    glBindTexture(GL_TEXTURE_2D, *texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, *framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, *texture, 0);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

GLuint Compile(GLenum kind, const char* body, std::string* log) {
    const char* header = qvn_GLIsDesktop() ? "#version 330 core\n"
                                               : "#version 300 es\nprecision highp float;\nprecision highp int;\n";
    GLuint shader = glCreateShader(kind);
    const char* parts[2] = {header, body};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char text[1024] = {0};
        glGetShaderInfoLog(shader, sizeof text - 1, nullptr, text);
        *log = text;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

qvn_cGLDevice::~qvn_cGLDevice() {
    if (g_pGLDevice == this) g_pGLDevice = nullptr;
}

bool qvn_cGLDevice::Fail(const std::string& why) {
    m_Error = why;
    Shutdown();
    return false;
}

std::string qvn_cGLDevice::Description() const {
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return std::string(renderer ? renderer : "?") + " | " + (version ? version : "?");
}

bool qvn_cGLDevice::Init(int width, int height) {
    Shutdown();
    m_Error.clear();
    if (width <= 0 || height <= 0) return Fail("bad target size");
    if (qvn_GLVersion() < (qvn_GLIsDesktop() ? 33 : 30)) return Fail("needs GLES 3 or GL 3.3");
    m_nWidth = width;
    m_nHeight = height;

    // The target: a 5-6-5 colour texture (so the CPU frame can be uploaded
    // into it and the window can show it) and a 16-bit depth buffer.
    glGenTextures(1, &m_nColor);
    glBindTexture(GL_TEXTURE_2D, m_nColor);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB565, width, height, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenRenderbuffers(1, &m_nDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, m_nDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, width, height);
    glGenFramebuffers(1, &m_nFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, m_nFramebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_nColor, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_nDepth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return Fail("the RGB565 + 16-bit depth target is not supported");
    if (!qvn_GLIsDesktop()) {
        // GLES reads back in RGBA8 always, and in one more format of the
        // implementation's choice; Mesa offers packed 5-6-5 for this target.
        GLint format = 0, type = 0;
        glGetIntegerv(GL_IMPLEMENTATION_COLOR_READ_FORMAT, &format);
        glGetIntegerv(GL_IMPLEMENTATION_COLOR_READ_TYPE, &type);
        m_bReadRgb565 = format == GL_RGB && type == GL_UNSIGNED_SHORT_5_6_5;
    }

    std::string log;
    GLuint vs = Compile(GL_VERTEX_SHADER, kVertexShader, &log);
    if (!vs) return Fail("vertex shader: " + log);
    GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader, &log);
    if (!fs) {
        glDeleteShader(vs);
        return Fail("fragment shader: " + log);
    }
    m_nProgram = glCreateProgram();
    glAttachShader(m_nProgram, vs);
    glAttachShader(m_nProgram, fs);
    glBindAttribLocation(m_nProgram, 0, "aPosition");
    glBindAttribLocation(m_nProgram, 1, "aTexCoord");
    glBindAttribLocation(m_nProgram, 2, "aColor");
    glLinkProgram(m_nProgram);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(m_nProgram, GL_LINK_STATUS, &linked);
    if (!linked) return Fail("the shaders do not link");
    m_nKeyedLocation = glGetUniformLocation(m_nProgram, "uKeyed");
    m_nSamplerLocation = glGetUniformLocation(m_nProgram, "uTexture");

    glGenVertexArrays(1, &m_nVertexArray);
    glBindVertexArray(m_nVertexArray);
    glGenBuffers(1, &m_nBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_nBuffer);
    m_nBufferBytes = 0;
    const GLsizei stride = sizeof(SVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(SVertex, x)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(SVertex, s)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride, reinterpret_cast<void*>(offsetof(SVertex, color)));
    if (glGetError() != GL_NO_ERROR) return Fail("setting up the target failed");
    g_pGLDevice = this;
    return true;
}

void qvn_cGLDevice::Shutdown() {
    if (m_nOverlayFramebuffer) glDeleteFramebuffers(1, &m_nOverlayFramebuffer);
    if (m_nOverlayTexture) glDeleteTextures(1, &m_nOverlayTexture);
    m_nOverlayFramebuffer = m_nOverlayTexture = 0;
    m_nOverlayW = m_nOverlayH = 0;
    if (m_nBuffer) glDeleteBuffers(1, &m_nBuffer);
    if (m_nVertexArray) glDeleteVertexArrays(1, &m_nVertexArray);
    if (m_nProgram) glDeleteProgram(m_nProgram);
    if (m_nPresentProgram) glDeleteProgram(m_nPresentProgram);
    if (m_nPresentArray) glDeleteVertexArrays(1, &m_nPresentArray);
    m_nPresentProgram = m_nPresentArray = 0;
    m_bPresentFailed = false;
    if (m_nFramebuffer) glDeleteFramebuffers(1, &m_nFramebuffer);
    if (m_nDepth) glDeleteRenderbuffers(1, &m_nDepth);
    if (m_nColor) glDeleteTextures(1, &m_nColor);
    m_nBuffer = m_nVertexArray = m_nProgram = m_nFramebuffer = m_nDepth = m_nColor = 0;
    m_nBufferBytes = 0;
    if (g_pGLDevice == this) g_pGLDevice = nullptr;
}

void qvn_cGLDevice::ClearTarget() {
    if (!m_nFramebuffer) return;
    glBindFramebuffer(GL_FRAMEBUFFER, m_nFramebuffer);
    glViewport(0, 0, m_nWidth, m_nHeight);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepthf(0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void qvn_cGLDevice::Upload(const uint16_t* pixels) {
    if (!m_nColor || !pixels) return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    glBindTexture(GL_TEXTURE_2D, m_nColor);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_nWidth, m_nHeight, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, pixels);
}

void qvn_cGLDevice::ReadBack(uint16_t* pixels) {
    if (!m_nFramebuffer || !pixels) return;
    glBindFramebuffer(GL_FRAMEBUFFER, m_nFramebuffer);
    if (m_bReadRgb565) {
        glPixelStorei(GL_PACK_ALIGNMENT, 2);
        glReadPixels(0, 0, m_nWidth, m_nHeight, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, pixels);
        return;
    }
    // RGBA8 of a 5-6-5 target holds each channel widened; its top bits are
    // the channel again.
    const size_t count = static_cast<size_t>(m_nWidth) * m_nHeight;
    m_ReadScratch.resize(count * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, m_nWidth, m_nHeight, GL_RGBA, GL_UNSIGNED_BYTE, m_ReadScratch.data());
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &m_ReadScratch[i * 4];
        pixels[i] = static_cast<uint16_t>(((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3));
    }
}

void qvn_cGLDevice::Draw(const SVertex* vertices, int vertexCount, const SRun* runs, int runCount) {
    if (!m_nFramebuffer || vertexCount <= 0 || runCount <= 0) return;
    glBindFramebuffer(GL_FRAMEBUFFER, m_nFramebuffer);
    glViewport(0, 0, m_nWidth, m_nHeight);
    // Rows are stored top first, so the target is upside down for GL: faces
    // clockwise on the screen (y down) are the ones GL sees as front faces,
    // and those are the ones rejected.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glCullFace(GL_FRONT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_GEQUAL);
    glDepthMask(GL_TRUE);
    // Dithering would make the frames depend on the driver's pattern.
    glDisable(GL_DITHER);
    glBlendFunc(GL_ONE, GL_ONE);
    glUseProgram(m_nProgram);
    glUniform1i(m_nSamplerLocation, 0);
    glActiveTexture(GL_TEXTURE0);
    glBindVertexArray(m_nVertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, m_nBuffer);
    const size_t bytes = static_cast<size_t>(vertexCount) * sizeof(SVertex);
    if (bytes > m_nBufferBytes) {
        m_nBufferBytes = bytes * 2;
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_nBufferBytes), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), vertices);
    int keyed = -1, additive = -1;
    uint32_t texture = 0;
    for (int i = 0; i < runCount; ++i) {
        const SRun& r = runs[i];
        if (!r.texture || r.count <= 0 || r.first < 0 || r.first + r.count > vertexCount) continue;
        if (r.texture != texture) glBindTexture(GL_TEXTURE_2D, texture = r.texture);
        if (int(r.keyed) != keyed) glUniform1i(m_nKeyedLocation, keyed = r.keyed);
        if (int(r.additive) != additive) {
            if ((additive = r.additive)) glEnable(GL_BLEND);
            else glDisable(GL_BLEND);
        }
        glDrawArrays(GL_TRIANGLES, r.first, r.count);
        ++m_nDrawCalls;
    }
    glDisable(GL_BLEND);
    glBindVertexArray(0);
}

void qvn_cGLDevice::Present(int outW, int outH, int x, int y, int w, int h, qvn_eFilter filter) {
    PresentInto(0, outW, outH, x, y, w, h, filter);
}

bool qvn_cGLDevice::PresentProgram() {
    if (m_nPresentProgram) return true;
    if (m_bPresentFailed) return false;
    std::string log;
    GLuint vs = Compile(GL_VERTEX_SHADER, kPresentVertexShader, &log);
    GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, kPresentFragmentShader, &log) : 0;
    GLuint program = 0;
    if (vs && fs) {
        program = glCreateProgram();
        glAttachShader(program, vs);
        glAttachShader(program, fs);
        glLinkProgram(program);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) {
            glDeleteProgram(program);
            program = 0;
            log = "the filter's shaders do not link";
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (!program) {
        m_bPresentFailed = true;
        m_Error = "filter shader: " + log;
        return false;
    }
    m_nPresentProgram = program;
    static const char* const kNames[] = {"uFrame", "uFrameSize", "uRect", "uOut", "uPrescale", "uKind", "uCrt"};
    for (int i = 0; i < kPresentUniforms; ++i) m_aPresentUniform[i] = glGetUniformLocation(program, kNames[i]);
    glGenVertexArrays(1, &m_nPresentArray);
    return true;
}

void qvn_cGLDevice::PresentInto(uint32_t framebuffer, int outW, int outH, int x, int y, int w, int h,
                                qvn_eFilter filter) {
    if (!m_nFramebuffer) return;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    glViewport(0, 0, outW, outH);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (filter == qvn_eFilter::kNearest || w <= 0 || h <= 0 || !PresentProgram()) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_nFramebuffer);
        // The target's row 0 is the top row; the window's is the bottom one.
        glBlitFramebuffer(0, 0, m_nWidth, m_nHeight, x, outH - y, x + w, outH - y - h, GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        return;
    }
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glUseProgram(m_nPresentProgram);
    const int32_t* u = m_aPresentUniform;
    glUniform1i(u[0], 0);
    glUniform2i(u[1], m_nWidth, m_nHeight);
    glUniform4f(u[2], float(x), float(y), float(w), float(h));
    glUniform2f(u[3], float(outW), float(outH));
    glUniform2i(u[4], qvn_SharpPrescale(w, m_nWidth), qvn_SharpPrescale(h, m_nHeight));
    glUniform1i(u[5], filter == qvn_eFilter::kSharp ? 1 : 2);
    glUniform3f(u[6], kQvnCrtScanDepth, kQvnCrtMaskDim, kQvnCrtGain);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_nColor);
    glBindVertexArray(m_nPresentArray);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

bool qvn_cGLDevice::FilteredPicture(qvn_eFilter filter, int outW, int outH, const qvn_SFilterRect& rect,
                                    std::vector<uint32_t>* rgb) {
    if (!m_nFramebuffer || outW <= 0 || outH <= 0) return false;
    GLuint texture = 0, framebuffer = 0;
    bool ok = MakeColourTarget(outW, outH, &texture, &framebuffer);
    if (ok) {
        PresentInto(framebuffer, outW, outH, rect.x, rect.y, rect.w, rect.h, filter);
        ok = ReadFramebuffer(framebuffer, outW, outH, rgb);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    return ok;
}

void qvn_cGLDevice::PresentOverlay(const uint32_t* argb, int width, int height, int outH, int x, int y, int w,
                                   int h) {
    if (!argb || width <= 0 || height <= 0) return;
    if (!m_nOverlayTexture || width != m_nOverlayW || height != m_nOverlayH) {
        if (m_nOverlayFramebuffer) glDeleteFramebuffers(1, &m_nOverlayFramebuffer);
        if (m_nOverlayTexture) glDeleteTextures(1, &m_nOverlayTexture);
        m_nOverlayFramebuffer = m_nOverlayTexture = 0;
        GLuint texture = 0, framebuffer = 0;
        const bool ok = MakeColourTarget(width, height, &texture, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        m_nOverlayTexture = texture;
        m_nOverlayFramebuffer = framebuffer;
        m_nOverlayW = width;
        m_nOverlayH = height;
        if (!ok) return;
    }
    // Rows bottom first, bytes R, G, B, A: the blit below turns it upright.
    m_OverlayScratch.resize(static_cast<size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const uint32_t p = argb[static_cast<size_t>(row) * width + col];
            uint8_t* d = &m_OverlayScratch[(static_cast<size_t>(row) * width + col) * 4];
            d[0] = uint8_t(p >> 16), d[1] = uint8_t(p >> 8), d[2] = uint8_t(p), d[3] = 0xFF;
        }
    glBindTexture(GL_TEXTURE_2D, m_nOverlayTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, m_OverlayScratch.data());
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_nOverlayFramebuffer);
    glBlitFramebuffer(0, 0, width, height, x, outH - y, x + w, outH - y - h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

bool qvn_cGLDevice::ReadWindow(int outW, int outH, std::vector<uint32_t>* rgb) {
    return ReadFramebuffer(0, outW, outH, rgb);
}

bool qvn_cGLDevice::ReadFramebuffer(uint32_t framebuffer, int outW, int outH, std::vector<uint32_t>* rgb) {
    if (outW <= 0 || outH <= 0) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(outW) * outH * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, outW, outH, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    if (glGetError() != GL_NO_ERROR) return false;
    rgb->assign(static_cast<size_t>(outW) * outH, 0);
    for (int row = 0; row < outH; ++row)
        for (int col = 0; col < outW; ++col) {
            const uint8_t* p = &bytes[(static_cast<size_t>(outH - 1 - row) * outW + col) * 4];
            (*rgb)[static_cast<size_t>(row) * outW + col] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    return true;
}

uint32_t qvn_cGLDevice::CreateTexture(const uint8_t* rgba, int width, int height) {
    if (!rgba || width <= 0 || height <= 0) return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    if (!name) return 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        return 0;
    }
    return name;
}

void qvn_cGLDevice::DeleteTexture(uint32_t name) {
    if (name) glDeleteTextures(1, &name);
}
