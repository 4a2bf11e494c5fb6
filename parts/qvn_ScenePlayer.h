// The scene side of every 3D part: one scene from a .qvn file, advanced by the
// frame-speed factor and drawn onto the display's back surface.
#pragma once

#include "qvn_Part.h"

class qvn_cScene;

class qvn_cScenePlayer : public qvn_cPart {
public:
    qvn_cScenePlayer();
    ~qvn_cScenePlayer() override;

    // Creates the empty scene; false when it cannot be allocated.
    bool load() override;
    // load(), then fills the scene from the file; the import's result.
    bool loadScene(const char* path);
    // Advances the animation by this player's speed factor and draws a frame.
    void run() override;
    // Deletes the scene.
    void finish() override;

    // Gives the scene's textures to the software texture cache when the
    // display renders in software (emptying the cache first if asked); the
    // hardware build keeps its textures on the device.
    void registerTextures(bool resetCache);

    qvn_cScene* m_pScene;
    // The animation position in scene frames. It grows by the speed factor
    // each drawn frame and the scene shows its whole part, so the authored
    // speed holds at any frame rate (rounding the factor up would play 5
    // frames for every 3 shown at 60 Hz when the factor wobbles above 1).
    double m_dPosition;
};
