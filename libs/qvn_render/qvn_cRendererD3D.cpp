#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "qvn_D3DFaces.h"
#include "qvn_DisplayD3D.h"
#include "qvn_TextureD3D.h"
#include "qvn_cRendererD3D.h"

namespace {

// Every Direct3D renderer alive, for ForgetTexture (one in the program).
std::vector<qvn_cRendererD3D*>& Renderers() {
    static std::vector<qvn_cRendererD3D*> renderers;
    return renderers;
}

}  // namespace

// ---------------------------------------------------------------- materials

qvn_cMaterialD3D::qvn_cMaterialD3D(qvn_cRendererD3D* renderer) : m_pRenderer(renderer) {
    qvn_cEngDisplay3D* display = renderer ? renderer->m_pDisplay : nullptr;
    if (display && display->m_pD3D) display->m_pD3D->CreateMaterial(&m_pMaterial, nullptr);
}

qvn_cMaterialD3D::~qvn_cMaterialD3D() {
    if (m_pMaterial) m_pMaterial->Release();
    if (m_pRenderer && m_pRenderer->m_pCurrentMaterial == this) m_pRenderer->m_pCurrentMaterial = nullptr;
}

void qvn_cMaterialD3D::Finish() {
    qvn_cTextureD3D* t0 = static_cast<qvn_cTextureD3D*>(m_pTexture[0]);
    qvn_cTextureD3D* t2 = static_cast<qvn_cTextureD3D*>(m_pTexture[2]);
    if (!t0 || !t2) return;
    const uint16_t* mask = static_cast<const uint16_t*>(t2->lock());
    if (!mask) return;
    t0->applyMask(mask, t2->getPitchPixels(), t2->m_nWidth, t2->m_nHeight);
    t2->unlock();
}

// The one selection rule the software and OpenGL renderers follow too.
void qvn_cMaterialD3D::Select() { SelectThrough(m_pRenderer); }

void qvn_cMaterialD3D::ApplyColors() {
    if (!m_pMaterial) return;
    D3DMATERIAL m;
    std::memset(&m, 0, sizeof m);
    m.dwSize = sizeof m;
    // The base's float block: eleven colours (positions 1 to 11), then the
    // unset one (12).
    const float* f = m_fColors;
    m.diffuse.r = f[8];
    m.diffuse.g = f[9];
    m.diffuse.b = f[10];
    m.diffuse.a = m_fUnset;
    m.ambient.r = f[0];
    m.ambient.g = f[1];
    m.ambient.b = f[2];
    m.ambient.a = f[3];
    m.specular.b = f[6];
    m.specular.a = f[7];
    m.power = 50.0f;
    m_pMaterial->SetMaterial(&m);
}

// ---------------------------------------------------------------- renderer

qvn_cRendererD3D::qvn_cRendererD3D(qvn_cEngDisplay3D* display)
    : m_pDisplay(display ? display : qvn_CurrentDisplay3D()) {
    Renderers().push_back(this);
    qvn_cTextureD3D::s_pfnForget = ForgetTexture;
}

qvn_cRendererD3D::~qvn_cRendererD3D() {
    std::vector<qvn_cRendererD3D*>& all = Renderers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (all.empty()) qvn_cTextureD3D::s_pfnForget = nullptr;
}

void qvn_cRendererD3D::ForgetTexture(const qvn_cTextureD3D* texture) {
    for (qvn_cRendererD3D* r : Renderers())
        for (qvn_cTextureD3D*& unit : r->m_pUnit)
            if (unit == texture) unit = nullptr;
}

void qvn_cRendererD3D::BindTexture(qvn_cTexture* texture, int unit) {
    m_pUnit[unit & 1] = static_cast<qvn_cTextureD3D*>(texture);
}

qvn_cMaterial* qvn_cRendererD3D::NewMaterial() { return new (std::nothrow) qvn_cMaterialD3D(this); }

qvn_cTexture* qvn_cRendererD3D::NewTexture() { return new (std::nothrow) qvn_cTextureD3D(m_pDisplay); }

void qvn_cRendererD3D::Begin() {
    m_bInScene = false;
    if (!m_pDisplay || !m_pDisplay->m_pDevice) return;
    SetClipSize(m_pDisplay->m_nWidth, m_pDisplay->m_nHeight);
    m_bInScene = SUCCEEDED(m_pDisplay->m_pDevice->BeginScene());
    // Another caller may have changed the states between frames.
    m_nBlend = -1;
}

void qvn_cRendererD3D::End() {
    if (m_bInScene) m_pDisplay->m_pDevice->EndScene();
    m_bInScene = false;
}

void qvn_cRendererD3D::DrawFace(qvn_cFace* face) {
    qvn_cFace* poly = Clip(face);
    if (poly) Fill(poly);
}

void qvn_cRendererD3D::SetBlend(int blend) {
    if (blend == m_nBlend) return;
    SD3DRenderState states[4];
    const int n = qvn_D3DBlendStates(static_cast<eD3DBlend>(blend), states);
    for (int i = 0; i < n; ++i)
        m_pDisplay->m_pDevice->SetRenderState(static_cast<D3DRENDERSTATETYPE>(states[i].state), states[i].value);
    m_nBlend = blend;
}

void qvn_cRendererD3D::Fill(qvn_cFace* poly) {
    if (!poly || !m_bInScene) return;
    const bool unit0 = m_pUnit[0] && m_pUnit[0]->Ready();
    const bool unit1 = m_pUnit[1] && m_pUnit[1]->Ready();
    SD3DPass passes[2];
    const int count = qvn_D3DPasses(m_nRenderMode, unit0, unit1, passes);
    IDirect3DDevice3* device = m_pDisplay->m_pDevice;
    for (int p = 0; p < count; ++p) {
        SD3DVertex v[qvn_cFace::kMaxVertices];
        const int n = qvn_D3DFan(poly, passes[p], v);
        if (n == 0) return;
        m_pUnit[passes[p].unit]->setTexture(passes[p].unit);
        SetBlend(static_cast<int>(passes[p].blend));
        device->DrawPrimitive(D3DPT_TRIANGLEFAN, QVN_D3D_FVF, v, static_cast<DWORD>(n), D3DDP_WAIT | D3DDP_DONOTCLIP);
    }
}
