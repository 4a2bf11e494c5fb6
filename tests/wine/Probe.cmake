# Windows builds: the player probe the Wine sound test runs.
add_executable(player_probe ${CMAKE_CURRENT_LIST_DIR}/player_probe_win32.cpp)
target_link_libraries(player_probe PRIVATE qvn_app)
target_link_options(player_probe PRIVATE -mconsole)
set_target_properties(player_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/wine)
# demo_hw's Direct3D display across a task switch (wine_demo_hw.sh runs it).
add_executable(display_probe ${CMAKE_CURRENT_LIST_DIR}/display_probe_win32.cpp)
target_link_libraries(display_probe PRIVATE qvn_display_d3d qvn_app)
target_link_options(display_probe PRIVATE -mconsole)
set_target_properties(display_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/wine)
