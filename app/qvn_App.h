// The application object: creates the engine-wide objects in their fixed
// order (display, keyboard, music, renderer, texture store) and frees what it
// owns at shutdown.
#pragma once

class qvn_cEngDisplay;
class qvn_cSoundPlayer;

// What differs between the two programs and between live and capture runs.
struct qvn_SAppFactories {
    qvn_cEngDisplay* (*createDisplay)();
    qvn_cSoundPlayer* (*createMusic)();
    // Creates g_pRenderer; never fails the start-up (a null renderer is allowed).
    void (*createRenderer)();
    // Frees g_pRenderer (after the texture store, before the display it
    // draws into); may be null.
    void (*freeRenderer)();
    // Creates g_pTextureStore; false ends the start-up.
    bool (*createTextureStore)();
    void (*freeTextureStore)();
    // Puts the parts' program-lifetime state back to a fresh program's; may be null.
    void (*resetShow)();
};

class qvn_cApp {
public:
    qvn_cApp();  // publishes g_pApp, clears the engine-wide pointers
    virtual bool Init() { return false; }
    virtual ~qvn_cApp();
};

class qvn_cDemoApp : public qvn_cApp {
public:
    explicit qvn_cDemoApp(const qvn_SAppFactories& factories) : m_Factories(factories) {}
    bool Init() override;
    ~qvn_cDemoApp() override;
    // Before the show is played again in the same program (a viewer's seek):
    // everything a run leaves behind goes back to what Init made, so the new
    // run draws what a fresh program draws. False when the texture store
    // cannot be made again.
    bool ResetShow();

    // Display arguments of the start-up (the show asks for full screen).
    int m_bWindowed = 0;

private:
    qvn_SAppFactories m_Factories;
};

extern qvn_cApp* g_pApp;
