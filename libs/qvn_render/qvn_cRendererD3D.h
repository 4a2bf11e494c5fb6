// demo_hw's renderer on Windows: the same clipper and render modes as the
// software rasteriser, each clipped polygon drawn as a pre-transformed
// triangle fan on the Direct3D device with its textures and blend states.
#pragma once

#include <cstdint>

#include "qvn_cMaterial.h"
#include "qvn_cRenderer.h"

class qvn_cEngDisplay3D;
class qvn_cRendererD3D;
class qvn_cTextureD3D;
struct IDirect3DMaterial3;

class qvn_cMaterialD3D : public qvn_cMaterial {
public:
    explicit qvn_cMaterialD3D(qvn_cRendererD3D* renderer);
    ~qvn_cMaterialD3D() override;
    // Texture 2 is the mask of texture 0: where it is 1 (black), texture 0
    // gets keyed holes.
    void Finish() override;
    // The software material's rules; binding stores the texture objects.
    void Select() override;
    // The material's colours onto its device material (nothing in the scene
    // path calls it).
    void ApplyColors() override;

    IDirect3DMaterial3* m_pMaterial = nullptr;
    qvn_cRendererD3D* m_pRenderer;
};

class qvn_cRendererD3D : public qvn_cRenderer {
public:
    // display: the device drawn on; null: the current Direct3D display.
    explicit qvn_cRendererD3D(qvn_cEngDisplay3D* display = nullptr);
    ~qvn_cRendererD3D() override;

    void DrawFace(qvn_cFace* face) override;
    void Fill(qvn_cFace* polygon) override;
    void Begin() override;
    void End() override;
    qvn_cMaterial* NewMaterial() override;
    qvn_cTexture* NewTexture() override;

    void BindTexture(qvn_cTexture* texture, int unit);

    qvn_cEngDisplay3D* m_pDisplay;
    qvn_cTextureD3D* m_pUnit[2] = {nullptr, nullptr};

private:
    static void ForgetTexture(const qvn_cTextureD3D* texture);
    void SetBlend(int blend);

    bool m_bInScene = false;
    int m_nBlend = -1;  // the blend last set on the device; -1 unknown
};
