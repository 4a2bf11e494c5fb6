// Where the GL functions come from: libepoxy on the desktops (GL 3.3 core or
// GLES 3, whichever the context is), the browser's WebGL 2 (GLES 3) through
// Emscripten's headers in the web build.
#pragma once

#if defined(__EMSCRIPTEN__)
#include <GLES3/gl3.h>
inline bool qvn_GLIsDesktop() { return false; }
inline int qvn_GLVersion() { return 30; }
#else
#include <epoxy/gl.h>
inline bool qvn_GLIsDesktop() { return epoxy_is_desktop_gl(); }
inline int qvn_GLVersion() { return epoxy_gl_version(); }
#endif
