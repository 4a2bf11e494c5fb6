# The browser build: Debian's Emscripten, the web backend. zlib comes from
# scripts/web/zlib.sh (ZLIB_ROOT given on the command line).
if(DEFINED ENV{EMSCRIPTEN_ROOT})
  set(QVN_EMSCRIPTEN_ROOT $ENV{EMSCRIPTEN_ROOT})
else()
  set(QVN_EMSCRIPTEN_ROOT /usr/share/emscripten)
endif()
include(${QVN_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
set(QVN_BACKEND web CACHE STRING "" FORCE)
# zlib's own folder is outside the Emscripten sysroot the toolchain searches.
if(ZLIB_ROOT)
  set(ZLIB_INCLUDE_DIR ${ZLIB_ROOT}/include CACHE PATH "")
  set(ZLIB_LIBRARY ${ZLIB_ROOT}/lib/libz.a CACHE FILEPATH "")
endif()
# WebAssembly's 128-bit SIMD, with the SSE2 intrinsics the engine's vector
# paths are written in mapped onto it (the same lane-by-lane IEEE operations).
set(CMAKE_C_FLAGS_INIT "-msimd128 -msse2")
set(CMAKE_CXX_FLAGS_INIT "-msimd128 -msse2")
