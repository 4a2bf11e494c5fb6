# The music player and its sound devices (the backend's and capture's).
set(QVN_MUSIC_DIR ${PROJECT_SOURCE_DIR}/libs/qvn_sound)

# The resampler the capture's sound file needs for a track at another rate:
# libswresample natively, the system's ACM on Windows.
if(QVN_BACKEND STREQUAL "win32")
  qvn_library(qvn_resample SOURCES ${QVN_MUSIC_DIR}/qvn_Resampler_win32.cpp HEADERS ${QVN_MUSIC_DIR}/qvn_Resampler.h
    DEPS msacm32)
elseif(QVN_SWRESAMPLE_FOUND)
  qvn_library(qvn_resample SOURCES ${QVN_MUSIC_DIR}/qvn_Resampler_ffmpeg.cpp HEADERS ${QVN_MUSIC_DIR}/qvn_Resampler.h
    DEPS PkgConfig::QVN_SWRESAMPLE)
else()
  qvn_library(qvn_resample SOURCES ${QVN_MUSIC_DIR}/qvn_Resampler_none.cpp HEADERS ${QVN_MUSIC_DIR}/qvn_Resampler.h)
endif()

add_library(qvn_music STATIC
  ${QVN_MUSIC_DIR}/qvn_MP3Player.cpp
  ${QVN_MUSIC_DIR}/qvn_StreamDevice_capture.cpp
  ${QVN_MUSIC_DIR}/qvn_StreamDevice_${QVN_BACKEND}.cpp)
qvn_expose_headers(qvn_music ${QVN_MUSIC_DIR}/qvn_MP3Player.h ${QVN_MUSIC_DIR}/qvn_StreamDevice.h
  ${QVN_MUSIC_DIR}/qvn_StreamDevice_capture.h)
target_link_libraries(qvn_music PUBLIC qvn_sound qvn_diagnostics qvn_capture qvn_resample)
if(QVN_BACKEND STREQUAL "sdl2")
  target_link_libraries(qvn_music PUBLIC SDL2::SDL2 qvn_sdlcontext)
elseif(QVN_BACKEND STREQUAL "web")
  target_link_libraries(qvn_music PUBLIC qvn_web)
else()
  target_link_libraries(qvn_music PUBLIC dsound dxguid winmm)
endif()
qvn_warnings(qvn_music)
