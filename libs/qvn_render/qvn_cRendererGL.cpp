#include "qvn_cRendererGL.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "qvn_DisplayGL.h"
#include "qvn_cMesh.h"

namespace {

// Texture coordinates 0 .. 1 cover texels 0 .. 255 of a 256-texel texture,
// as the software fillers read them (u * 255, wrapping at 256), so the
// texture repeats every 256 / 255: s = u * 255 / 256. Bilinear filtering then
// centres texel i where the software rasteriser reads i + 0.5.
constexpr float kTexelScale = 255.0f / 256.0f;
constexpr int kSide = 256;

// Every GL renderer alive, for ForgetTexture (one in the program, a few in
// tests).
std::vector<qvn_cRendererGL*>& Renderers() {
    static std::vector<qvn_cRendererGL*> renderers;
    return renderers;
}

inline uint32_t Grey(int c) {
    const uint32_t v = static_cast<uint32_t>(c);
    return v | (v << 8) | (v << 16);  // R, G, B in memory order; alpha 0
}

}  // namespace

// ---------------------------------------------------------------- textures

qvn_cTextureGL::~qvn_cTextureGL() {
    qvn_cRendererGL::ForgetTexture(this);
    // The display frees every GL object with its context; a texture that
    // outlives its device has nothing left to free.
    if (m_nName && m_pDevice && m_pDevice == g_pGLDevice) m_pDevice->DeleteTexture(m_nName);
}

bool qvn_cTextureGL::loadIndexed(const uint8_t* indices, const uint8_t* palette, int width, int height) {
    qvn_cTextureSoft soft;
    if (!soft.loadIndexed(indices, palette, width, height)) return false;
    delete m_pImage;
    m_pImage = soft.m_pImage;
    soft.m_pImage = nullptr;
    m_nWidth = width;
    m_nHeight = height;
    m_Texels.clear();
    return true;
}

bool qvn_cTextureGL::BuildTexels() {
    if (!m_Texels.empty()) return true;
    const SIndexedImage* image = m_pImage;
    if (!image || !image->m_pIndices || !image->m_pPalette) return false;
    // The software cache's slot: the converted texels row after row at the
    // picture's own width, read as rows of 256; what the picture does not
    // fill keeps the block's 0xFF fill.
    const size_t count = static_cast<size_t>(image->m_nWidth) * image->m_nHeight;
    m_Texels.assign(kSide * kSide, 0xFFFF);
    const size_t n = count < m_Texels.size() ? count : m_Texels.size();
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* rgb = image->m_pPalette + 3 * image->m_pIndices[i];
        m_Texels[i] = static_cast<uint16_t>(((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3));
    }
    return true;
}

void* qvn_cTextureGL::lock() { return BuildTexels() ? m_Texels.data() : nullptr; }

void qvn_cTextureGL::SetHolesFrom(qvn_cTextureGL* mask) {
    if (!mask || !mask->BuildTexels()) return;
    m_Holes.assign(kSide * kSide, 0);
    m_bHoles = false;
    for (size_t i = 0; i < m_Holes.size(); ++i) {
        m_Holes[i] = mask->m_Texels[i] == 0;
        m_bHoles |= m_Holes[i] != 0;
    }
}

uint32_t qvn_cTextureGL::Name(qvn_cGLDevice* device) {
    if (m_nName || !device) return m_nName;
    if (!BuildTexels()) return 0;
    // Each 5-6-5 channel widened exactly (its top bits repeated), so a texel
    // read without filtering lands on the same 5-6-5 value in the target.
    std::vector<uint8_t> rgba(static_cast<size_t>(kSide) * kSide * 4);
    for (size_t i = 0; i < m_Texels.size(); ++i) {
        const uint32_t p = m_Texels[i];
        const uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
        rgba[4 * i + 0] = static_cast<uint8_t>((r << 3) | (r >> 2));
        rgba[4 * i + 1] = static_cast<uint8_t>((g << 2) | (g >> 4));
        rgba[4 * i + 2] = static_cast<uint8_t>((b << 3) | (b >> 2));
        rgba[4 * i + 3] = (!m_Holes.empty() && m_Holes[i]) ? 0 : 255;
    }
    m_nName = device->CreateTexture(rgba.data(), kSide, kSide);
    if (m_nName) {
        m_pDevice = device;
        // Uploaded once; the picture is not needed any more.
        delete m_pImage;
        m_pImage = nullptr;
        m_Texels.clear();
        m_Texels.shrink_to_fit();
    }
    return m_nName;
}

// ---------------------------------------------------------------- materials

void qvn_cMaterialGL::Finish() {
    qvn_cTextureGL* t0 = static_cast<qvn_cTextureGL*>(m_pTexture[0]);
    qvn_cTextureGL* t2 = static_cast<qvn_cTextureGL*>(m_pTexture[2]);
    if (t0 && t2) t0->SetHolesFrom(t2);
}

void qvn_cMaterialGL::Select() { SelectThrough(m_pRenderer); }

// ---------------------------------------------------------------- renderer

qvn_cRendererGL::qvn_cRendererGL(qvn_cGLDisplay* display) : m_pDisplay(display) { Renderers().push_back(this); }

qvn_cRendererGL::~qvn_cRendererGL() {
    std::vector<qvn_cRendererGL*>& all = Renderers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void qvn_cRendererGL::ForgetTexture(const qvn_cTextureGL* texture) {
    for (qvn_cRendererGL* r : Renderers())
        for (qvn_cTextureGL*& unit : r->m_pUnit)
            if (unit == texture) unit = nullptr;
}

qvn_cMaterial* qvn_cRendererGL::NewMaterial() { return new (std::nothrow) qvn_cMaterialGL(this); }

qvn_cTexture* qvn_cRendererGL::NewTexture() { return new (std::nothrow) qvn_cTextureGL(); }

void qvn_cRendererGL::Begin() {
    m_nCopied = m_nAdded = 0;
    m_nFaces = 0;
    m_pActive = m_pDisplay;
    m_pDevice = m_pActive ? m_pActive->BeginScene() : nullptr;
    if (m_pActive) {
        m_fWidth = static_cast<float>(m_pActive->m_nWidth);
        m_fHeight = static_cast<float>(m_pActive->m_nHeight);
        SetClipSize(m_pActive->m_nWidth, m_pActive->m_nHeight);
    }
}

void qvn_cRendererGL::End() {
    Flush();
    if (m_pActive && m_pDevice) m_pActive->EndScene();
    m_pActive = nullptr;
    m_pDevice = nullptr;
}

void qvn_cRendererGL::DrawFace(qvn_cFace* face) {
    qvn_cFace* poly = Clip(face);
    if (poly) Fill(poly);
}

qvn_cRendererGL::SBatchRun* qvn_cRendererGL::Run(const SPass& pass) {
    // Faces come sorted back to front. A copied face hides what is behind
    // it whether it is drawn early or late, since the depth test sorts that
    // out; so all copied faces of one state share a run, whatever lies
    // between them in the painter's order. An added face shows what was
    // drawn before it, so the added passes come after every copied one, in
    // order; the depth test still hides those behind copied faces.
    std::vector<SBatchRun>& runs = pass.additive ? m_Added : m_Copied;
    int& used = pass.additive ? m_nAdded : m_nCopied;
    if (pass.additive) {
        if (used > 0 && runs[used - 1].pass == pass) return &runs[used - 1];
    } else {
        for (int i = 0; i < used; ++i)
            if (runs[i].pass == pass) return &runs[i];
    }
    if (used == static_cast<int>(runs.size())) runs.emplace_back();
    SBatchRun& run = runs[used++];
    run.pass = pass;
    run.vertices.clear();
    return &run;
}

void qvn_cRendererGL::AddFan(const qvn_cFace* poly, SBatchRun* run, eCoords coords, bool fog) {
    const int n = poly->m_nVertexCount;
    qvn_cGLDevice::SVertex v[qvn_cFace::kMaxVertices];
    for (int i = 0; i < n; ++i) {
        const qvn_cVertex* vertex = poly->m_pVertex[i];
        const qvn_cCorner& c = poly->m_Corner[i];
        const float iz = c.iz;
        const float w = 1.0f / iz;
        // Pixel centres sit on whole coordinates here, half way in GL: the
        // half-pixel shift makes both cover the same pixels. Row 0 is the top
        // row of the frame and the first row of the target.
        const float nx = (vertex->m_Screen.x + 0.5f) * 2.0f / m_fWidth - 1.0f;
        const float ny = (vertex->m_Screen.y + 0.5f) * 2.0f / m_fHeight - 1.0f;
        // Depth 1 / z: larger is nearer, for the "nearer or equal wins" test.
        const float nz = 2.0f * iz - 1.0f;
        v[i].x = nx * w;
        v[i].y = ny * w;
        v[i].z = nz * w;
        v[i].w = w;
        if (coords == eCoords::kTexture) {
            v[i].s = c.uz * w * kTexelScale;
            v[i].t = c.vz * w * kTexelScale;
        } else {
            v[i].s = c.euz * w * kTexelScale;
            v[i].t = c.evz * w * kTexelScale;
        }
        if (fog) {
            // Grey 255 - 255 * fog, which the texel is multiplied by: the
            // software fog's darkening towards black.
            float f = vertex->m_Shade.fogOverZ * w;
            f = f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
            v[i].color = Grey(255 - static_cast<int>(255.0f * f));
        } else {
            v[i].color = Grey(255);
        }
    }
    for (int i = 1; i + 1 < n; ++i) {
        run->vertices.push_back(v[0]);
        run->vertices.push_back(v[i]);
        run->vertices.push_back(v[i + 1]);
    }
}

void qvn_cRendererGL::Fill(qvn_cFace* poly) {
    if (!poly || !m_pDevice) return;
    const int n = poly->m_nVertexCount;
    if (n < 3 || n > qvn_cFace::kMaxVertices) return;
    // Clipped polygons lie within the target and in front of the near plane;
    // anything else (NaN, infinities from a degenerate camera) is refused.
    for (int i = 0; i < n; ++i) {
        const qvn_cScreenPoint& s = poly->m_pVertex[i]->m_Screen;
        const float iz = poly->m_Corner[i].iz;
        if (!(s.x >= -1.0f && s.x <= m_fWidth + 1.0f && s.y >= -1.0f && s.y <= m_fHeight + 1.0f)) return;
        if (!(iz > 0.0f && iz <= 2.0f)) return;
    }
    qvn_cTextureGL* t0 = m_pUnit[0];
    qvn_cTextureGL* t1 = m_pUnit[1];
    // Only the units the mode reads are uploaded.
    const bool needs1 = m_nRenderMode == QVN_MODE_ENV || m_nRenderMode == QVN_MODE_TEX_ENV;
    const bool needs0 = m_nRenderMode != QVN_MODE_ENV;
    const uint32_t n0 = needs0 && t0 ? t0->Name(m_pDevice) : 0;
    const uint32_t n1 = needs1 && t1 ? t1->Name(m_pDevice) : 0;
    // A unit without a texture skips the faces that need it, as in the
    // software renderer.
    switch (m_nRenderMode) {
        case QVN_MODE_ADD: {
            if (!n0) return;
            const SPass p{n0, true, false};
            AddFan(poly, Run(p), eCoords::kTexture, false);
            break;
        }
        case QVN_MODE_MASK: {
            // The holes were cut into texture 0 from texture 2 at load.
            if (!n0 || !t1) return;
            const SPass p{n0, false, t0->HasHoles()};
            AddFan(poly, Run(p), eCoords::kTexture, false);
            break;
        }
        case QVN_MODE_ENV: {
            // The environment map alone, copied, as the software renderer
            // draws it (not whatever unit 0 held last).
            if (!n1) return;
            const SPass p{n1, false, false};
            AddFan(poly, Run(p), eCoords::kEnvironment, false);
            break;
        }
        case QVN_MODE_TEX_ENV: {
            if (n0 && n1) {
                const SPass p[2] = {{n0, false, false}, {n1, true, false}};
                AddFan(poly, Run(p[0]), eCoords::kTexture, false);
                AddFan(poly, Run(p[1]), eCoords::kEnvironment, false);
            } else if (n0 || n1) {
                const SPass p{n0 ? n0 : n1, !n0, false};
                AddFan(poly, Run(p), n0 ? eCoords::kTexture : eCoords::kEnvironment, false);
            }
            break;
        }
        case QVN_MODE_FOG: {
            if (!n0) return;
            const SPass p{n0, false, false};
            AddFan(poly, Run(p), eCoords::kTexture, true);
            break;
        }
        default: {
            if (!n0) return;
            const SPass p{n0, false, false};
            AddFan(poly, Run(p), eCoords::kTexture, false);
            break;
        }
    }
    ++m_nFaces;
}

void qvn_cRendererGL::Flush() {
    m_nLastFaces = m_nFaces;
    m_nLastDrawCalls = 0;
    if (!m_pDevice || m_nCopied + m_nAdded == 0) return;
    m_AllVertices.clear();
    m_DeviceRuns.clear();
    for (int i = 0; i < m_nCopied + m_nAdded; ++i) {
        const SBatchRun& run = i < m_nCopied ? m_Copied[i] : m_Added[i - m_nCopied];
        if (run.vertices.empty()) continue;
        qvn_cGLDevice::SRun r;
        r.first = static_cast<int32_t>(m_AllVertices.size());
        r.count = static_cast<int32_t>(run.vertices.size());
        r.texture = run.pass.texture;
        r.additive = run.pass.additive;
        r.keyed = run.pass.keyed;
        m_DeviceRuns.push_back(r);
        m_AllVertices.insert(m_AllVertices.end(), run.vertices.begin(), run.vertices.end());
    }
    const int before = m_pDevice->DrawCalls();
    m_pDevice->Draw(m_AllVertices.data(), static_cast<int>(m_AllVertices.size()), m_DeviceRuns.data(),
                    static_cast<int>(m_DeviceRuns.size()));
    m_nLastDrawCalls = m_pDevice->DrawCalls() - before;
    m_nCopied = m_nAdded = 0;
}
