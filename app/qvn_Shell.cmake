include(${PROJECT_SOURCE_DIR}/libs/qvn_sound/qvn_Music.cmake)

# The application shell: part interface, sequencer, application object,
# window, keyboard, options; and the two programs.
add_library(qvn_app STATIC
  qvn_App.cpp qvn_Main.cpp qvn_Options.cpp qvn_Part.cpp qvn_Sequencer.cpp qvn_Window.cpp)
qvn_backend_sources(qvn_app qvn_Window qvn_Input)
target_sources(qvn_app PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvn_System_${QVN_BACKEND}.cpp)
qvn_expose_headers(qvn_app qvn_App.h qvn_Input.h qvn_Main.h qvn_Options.h qvn_Part.h qvn_Sequencer.h
  ${PROJECT_SOURCE_DIR}/platform/qvn_NativeSystem.h)
if(QVN_BACKEND STREQUAL "sdl2")
  target_link_libraries(qvn_app PUBLIC qvn_sdlcontext SDL2::SDL2)
elseif(QVN_BACKEND STREQUAL "web")
  target_link_libraries(qvn_app PUBLIC qvn_web)
else()
  target_link_libraries(qvn_app PUBLIC ddraw dinput dxguid dsound winmm user32 gdi32)
endif()
target_link_libraries(qvn_app PUBLIC qvn_diagnostics qvn_run qvn_features qvn_window_api qvn_capture qvn_video qvn_display qvn_pixelformat qvn_sound qvn_music)
qvn_warnings(qvn_app)

add_executable(demo_sw qvn_Entry_${QVN_BACKEND}.cpp qvn_DemoSw.cpp)
target_link_libraries(demo_sw PRIVATE qvn_parts qvn_app qvn_render qvn_material qvn_geom qvn_importer)
if(QVN_BACKEND STREQUAL "sdl2")
  # The sharp and crt looks go through the GL screen.
  target_link_libraries(demo_sw PRIVATE qvn_gl)
  target_compile_definitions(demo_sw PRIVATE QVN_GL_SCREEN=1)
endif()
qvn_warnings(demo_sw)
if(QVN_BACKEND STREQUAL "win32")
  target_link_options(demo_sw PRIVATE -mwindows)
endif()
set_target_properties(demo_sw PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

if(QVN_BACKEND STREQUAL "web")
  include(${PROJECT_SOURCE_DIR}/web/qvn_WebLink.cmake)
  qvn_web_program(demo_sw)
endif()

# demo_hw: the same show with the 3D scenes on OpenGL (SDL2 desktops and the
# headless capture mode) or on Direct3D (Windows, live and capture).
if(QVN_BACKEND MATCHES "^(sdl2|web)$")
  add_executable(demo_hw qvn_Entry_${QVN_BACKEND}.cpp qvn_DemoHw.cpp)
  target_link_libraries(demo_hw PRIVATE qvn_parts qvn_app qvn_render_gl qvn_gl qvn_render qvn_material qvn_geom qvn_importer)
else()
  add_executable(demo_hw qvn_Entry_${QVN_BACKEND}.cpp qvn_DemoHw_win32.cpp)
  target_link_libraries(demo_hw PRIVATE qvn_parts qvn_app qvn_render_d3d qvn_material_d3d qvn_display_d3d qvn_render
    qvn_material qvn_geom qvn_importer)
  target_link_options(demo_hw PRIVATE -mwindows)
endif()
qvn_warnings(demo_hw)
set_target_properties(demo_hw PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
if(QVN_BACKEND STREQUAL "web")
  qvn_web_program(demo_hw)
  target_link_options(demo_hw PRIVATE -sUSE_WEBGL2=1 -sFULL_ES3=1)
endif()
