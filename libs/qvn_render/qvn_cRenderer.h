// What the scene sees of a renderer: per-face drawing between Begin and End,
// and the factories for the materials and textures of this build.
#pragma once

#include <cstdint>

#include "qvn_cClipper.h"

class qvn_cMaterial;
class qvn_cTexture;

class qvn_cRenderer : public qvn_cClipper {
public:
    // Clips the face and fills what is left.
    virtual void DrawFace(qvn_cFace* face) = 0;
    virtual void Fill(qvn_cFace* polygon) = 0;
    // Bracket one frame's faces (the software renderer locks the screen).
    virtual void Begin() = 0;
    virtual void End() = 0;
    virtual qvn_cMaterial* NewMaterial() = 0;
    virtual qvn_cTexture* NewTexture() = 0;
    ~qvn_cRenderer() override = default;

    // Both copies of the mode move together; the clipper carries the values
    // named by its high byte.
    void SetRenderMode(int32_t mode) {
        m_nRenderMode = m_nRenderMode2 = mode;
        m_nAttribSet = mode & 0x700;
    }

    int32_t m_nRenderMode = 0x100;
    int32_t m_nRenderMode2 = 0x100;
    qvn_cMaterial* m_pCurrentMaterial = nullptr;
    int32_t m_nUnknown = -1;
};
