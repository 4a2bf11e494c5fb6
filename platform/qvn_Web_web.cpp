#include "qvn_Web.h"

#include <emscripten.h>

// Each function asks the page's hook when there is one. Module is the
// program's module object, which the page made and filled with its hooks.
EM_JS(double, qvn_WebTickMs, (), {
    return Module.qvnTickMs ? Module.qvnTickMs() : performance.now();
});

EM_JS(int, qvn_WebHasPage, (), { return Module.qvnPresent ? 1 : 0; });

EM_JS(void, qvn_WebPresent, (const uint16_t* pixels, int width, int height), {
    if (Module.qvnPresent) Module.qvnPresent(HEAPU16.subarray(pixels >> 1, (pixels >> 1) + width * height), width, height);
});

EM_JS(void, qvn_WebOverlay, (const uint32_t* argb, int width, int height), {
    if (!Module.qvnOverlay) return;
    if (width <= 0) Module.qvnOverlay(null, 0, 0);
    else Module.qvnOverlay(HEAPU32.subarray(argb >> 2, (argb >> 2) + width * height), width, height);
});

// An asynchronous import goes by a name of its own, which only this file's
// declaration knows: the others call through the function below.
EM_ASYNC_JS(void, qvn_WebWaitFrameAsync, (), {
    if (Module.qvnWaitFrame) await Module.qvnWaitFrame();
    else await new Promise(function(resolve) { setTimeout(resolve, 0); });
});

void qvn_WebWaitFrame() { qvn_WebWaitFrameAsync(); }

EM_JS(int, qvn_WebNextKey, (), { return Module.qvnNextKey ? Module.qvnNextKey() : 0; });

EM_JS(int, qvn_WebAudioOpen, (int sampleRate), {
    return Module.qvnAudioOpen ? (Module.qvnAudioOpen(sampleRate) ? 1 : 0) : 0;
});

EM_JS(void, qvn_WebAudioQueue, (const int16_t* pcm, int frames, int sampleRate, double atTickMs), {
    if (Module.qvnAudioQueue)
        Module.qvnAudioQueue(HEAP16.subarray(pcm >> 1, (pcm >> 1) + frames * 2), sampleRate, atTickMs);
});

EM_JS(void, qvn_WebAudioStop, (), { if (Module.qvnAudioStop) Module.qvnAudioStop(); });

EM_JS(void, qvn_WebMessage, (const char* caption, const char* text, int error), {
    if (Module.qvnMessage) Module.qvnMessage(UTF8ToString(caption), UTF8ToString(text), !!error);
});

EM_JS(void, qvn_WebToggleFullscreen, (), { if (Module.qvnToggleFullscreen) Module.qvnToggleFullscreen(); });

EM_JS(void, qvn_WebExited, (int code), { if (Module.qvnExited) Module.qvnExited(code); });
