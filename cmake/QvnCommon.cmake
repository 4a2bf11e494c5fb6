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

if((CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" AND NOT EMSCRIPTEN) OR QVN_WIN32_I686)
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

# qvn_expose_headers(<target> <header>...): the headers a target offers to
# whoever links it. Each one is linked into a folder of the target's own under
# build/include, and only that folder is on the include path of its users: a
# file that includes a header of a library it does not link fails to compile,
# and the files of one source folder do not all come along with one of them.
function(qvn_expose_headers target)
  set(dir ${PROJECT_BINARY_DIR}/include/${target})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  foreach(header ${ARGN})
    get_filename_component(path ${header} ABSOLUTE)
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "${target}: no header ${path}")
    endif()
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${path} ${dir}/${name} SYMBOLIC COPY_ON_ERROR)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${dir})
  else()
    target_include_directories(${target} PUBLIC ${dir})
  endif()
endfunction()

# How the engine's own code is optimised in the builds that are played (tests
# and tools keep the build type's flags). The rasteriser's faces average a few
# rows of a few pixels, so its time goes to each row's set-up, which -O3
# inlines and unrolls; the whole show captures 7 to 9 % faster than at -O2.
# Neither option relaxes floating point: the frames are the same to the bit.
# -fno-math-errno only drops errno from the maths functions, which nothing
# reads.
function(qvn_optimise target)
  target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O3 -fno-math-errno>)
endfunction()

# qvn_library(<name> SOURCES ... HEADERS ... DEPS ...): an engine library, its
# public headers and the libraries its headers or code use.
function(qvn_library name)
  cmake_parse_arguments(A "" "" "SOURCES;HEADERS;DEPS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  qvn_expose_headers(${name} ${A_HEADERS})
  if(A_DEPS)
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  endif()
  qvn_warnings(${name})
  qvn_optimise(${name})
endfunction()

# qvn_headers(<name> HEADERS ... DEPS ...): headers without code of their own
# (interfaces that two libraries see of each other), as a target to link.
function(qvn_headers name)
  cmake_parse_arguments(A "" "" "HEADERS;DEPS" ${ARGN})
  add_library(${name} INTERFACE)
  qvn_expose_headers(${name} ${A_HEADERS})
  if(A_DEPS)
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()
