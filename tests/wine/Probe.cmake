# Windows builds: the player probe the Wine sound test runs.
add_executable(player_probe ${CMAKE_CURRENT_LIST_DIR}/player_probe_win32.cpp)
target_link_libraries(player_probe PRIVATE qvn_app)
target_link_options(player_probe PRIVATE -mconsole)
set_target_properties(player_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/wine)
