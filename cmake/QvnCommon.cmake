# Shared settings for every target of the engine.

if(QVN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QVN_FUZZ)
  # Every library is instrumented for coverage, so the fuzzers learn from the
  # readers' branches, not only from their own entry point.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR QVN_WIN32_I686)
  # x87 intermediate precision would make float results differ from the
  # 64-bit builds; SSE2 keeps single precision single.
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# Warnings for our own code only (third-party headers come in as system ones).
function(qvn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# qvn_backend_sources(<target> <base> ...): adds <base>_<backend>.cpp for each
# base name, so a platform-bound class keeps one header and one file per backend.
function(qvn_backend_sources target)
  foreach(base ${ARGN})
    target_sources(${target} PRIVATE ${base}_${QVN_BACKEND}.cpp)
  endforeach()
endfunction()

# qvn_library(<name> SOURCES ... DEPS ...): an engine library whose headers are
# found by file name from anywhere in the tree.
function(qvn_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  qvn_warnings(${name})
endfunction()

# Adds every subfolder of the current folder that has a CMakeLists.txt, in
# name order (tools/, tests/ and bench/ grow one folder per subsystem).
function(qvn_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
