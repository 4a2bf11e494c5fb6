// The OpenGL side of demo_hw's screen: a 320 x 240 RGB565 target with a
// 16-bit depth buffer (a framebuffer object, so the frame never depends on the
// window's own format), the one shader pair every render mode shares, and the
// batched drawing of a frame's faces. GL names are plain integers here so
// that only the *_gl.cpp file sees the GL headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qvn_PictureFilter.h"

class qvn_cGLDevice {
public:
    // One pre-transformed corner: clip-space position (x, y, z and w = camera
    // depth, so the device interpolates texture coordinates with perspective),
    // texture coordinates in texels / 256, and the diffuse colour 0xAABBGGRR
    // in memory order R, G, B, A.
    struct SVertex {
        float x, y, z, w;
        float s, t;
        uint32_t color;
    };
    // A run of triangles drawn with one state: what a draw call covers.
    struct SRun {
        int32_t first, count;  // vertices
        uint32_t texture;      // 0: the run is skipped
        bool additive;         // added to the frame with saturation, else copied
        bool keyed;            // texels with alpha 0 are transparent
    };

    qvn_cGLDevice() = default;
    ~qvn_cGLDevice();
    qvn_cGLDevice(const qvn_cGLDevice&) = delete;
    qvn_cGLDevice& operator=(const qvn_cGLDevice&) = delete;

    // Needs a current context (GLES 3, or GL 3.3 core). Builds the target,
    // the shaders and the vertex buffer; false with the reason in Error().
    bool Init(int width, int height);
    // Frees the GL objects; the context must still be current.
    void Shutdown();
    bool Ready() const { return m_nFramebuffer != 0; }
    const std::string& Error() const { return m_Error; }
    // "renderer | version" of the context, for the log.
    std::string Description() const;

    // Colour 0, depth 0.0: the farthest value under the "nearer or equal
    // wins" test.
    void ClearTarget();
    // The CPU frame (5-6-5, rows top first, pitch = width) into the target,
    // and back.
    void Upload(const uint16_t* pixels);
    void ReadBack(uint16_t* pixels);
    // Draws the runs in order into the target.
    void Draw(const SVertex* vertices, int vertexCount, const SRun* runs, int runCount);
    // Shows the target in the window's framebuffer at (x, y, w, h) of an
    // output of outW x outH, top-left origin, black around, with the look
    // asked for (nearest when the filter's shaders cannot be built; Error()
    // says why).
    void Present(int outW, int outH, int x, int y, int w, int h, qvn_eFilter filter = qvn_eFilter::kNearest);
    // What Present would show, drawn off the window and read back
    // (0x00RRGGBB, row 0 on top).
    bool FilteredPicture(qvn_eFilter filter, int outW, int outH, const qvn_SFilterRect& rect,
                         std::vector<uint32_t>* rgb);
    // Over what Present drew: a picture (0xAARRGGBB, row 0 on top) shown
    // opaque at (x, y, w, h), nearest neighbour.
    void PresentOverlay(const uint32_t* argb, int width, int height, int outH, int x, int y, int w, int h);
    // The window's framebuffer as Present left it (0x00RRGGBB, row 0 on top).
    bool ReadWindow(int outW, int outH, std::vector<uint32_t>* rgb);

    // A 256 x 256 texture from texels in memory order R, G, B, A; repeating,
    // bilinear. 0 when it cannot be made.
    uint32_t CreateTexture(const uint8_t* rgba, int width, int height);
    void DeleteTexture(uint32_t name);

    int DrawCalls() const { return m_nDrawCalls; }

private:
    bool Fail(const std::string& why);
    bool PresentProgram();
    void PresentInto(uint32_t framebuffer, int outW, int outH, int x, int y, int w, int h, qvn_eFilter filter);
    bool ReadFramebuffer(uint32_t framebuffer, int outW, int outH, std::vector<uint32_t>* rgb);

    std::string m_Error;
    int m_nWidth = 0, m_nHeight = 0;
    uint32_t m_nFramebuffer = 0, m_nColor = 0, m_nDepth = 0;
    uint32_t m_nProgram = 0, m_nVertexArray = 0, m_nBuffer = 0;
    int32_t m_nKeyedLocation = -1, m_nSamplerLocation = -1;
    size_t m_nBufferBytes = 0;
    bool m_bReadRgb565 = true;  // the target reads back as packed 5-6-5
    std::vector<uint8_t> m_ReadScratch;
    int m_nDrawCalls = 0;
    uint32_t m_nPresentProgram = 0, m_nPresentArray = 0;
    // The filter program's uniforms, in the order PresentProgram names them.
    static constexpr int kPresentUniforms = 7;
    int32_t m_aPresentUniform[kPresentUniforms] = {};
    bool m_bPresentFailed = false;
    uint32_t m_nOverlayTexture = 0, m_nOverlayFramebuffer = 0;
    int m_nOverlayW = 0, m_nOverlayH = 0;
    std::vector<uint8_t> m_OverlayScratch;
};

// The device of the display that owns the current context; textures reach
// it through here when they are uploaded or freed.
extern qvn_cGLDevice* g_pGLDevice;
