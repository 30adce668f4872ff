# Shared build settings and the two helpers every module uses:
#   ombri_library(<target> DIRS <dir>... [LINK <targets>...])
#   ombri_tests(<label> [NAME <binary>] [LINK <targets>...] [TIMEOUT <s>])
#     the *.cpp files of the calling folder become build/bin/<binary>_tests (default <label>_tests);
#     every subfolder holding a CMakeLists.txt is added too, so one module may have several binaries
#     (tests/platform/foundation, tests/platform/runloop, ...), all under the module's label.

set(OMBRI_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers -Werror)
# GCC 12 reports false -Wrestrict positives on "literal" + std::string at -O2 and above; other compilers
# (the fuzzing build uses clang) do not know the flag.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND OMBRI_WARNINGS -Wno-restrict)
endif()

set(OMBRI_SAN_FLAGS "")
if(OMBRI_SANITIZE STREQUAL "address")
  set(OMBRI_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(OMBRI_SANITIZE STREQUAL "thread")
  set(OMBRI_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
endif()
if(OMBRI_SAN_FLAGS)
  add_compile_options(${OMBRI_SAN_FLAGS})
  add_link_options(${OMBRI_SAN_FLAGS})
  # Sanitized builds stay reasonably fast: debug information with light optimisation.
  add_compile_options($<$<CONFIG:Debug>:-O1>)
endif()

# ccache when present. The base directory makes paths under the source tree relative and the compile
# folder is left out of the hash, so clones in other folders and other build folders share hits.
option(OMBRI_CCACHE "Compile through ccache when it is installed" ON)
find_program(OMBRI_CCACHE_PROGRAM ccache)
if(OMBRI_CCACHE AND OMBRI_CCACHE_PROGRAM)
  set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=true
      ${OMBRI_CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()

# Test sources in the sanitised builds: no optimisation and line tables only. Code generation for the
# sanitisers dominates their compile time; the code under test keeps -O1. OMBRI_TEST_FULL_DEBUG gives
# full debug information when stepping through a test.
option(OMBRI_TEST_FULL_DEBUG "Full debug information in test sources of sanitised builds" OFF)
set(OMBRI_TEST_FLAGS "")
if(OMBRI_SAN_FLAGS)
  if(OMBRI_TEST_FULL_DEBUG)
    set(OMBRI_TEST_FLAGS -O0 -g)
  else()
    set(OMBRI_TEST_FLAGS -O0 -g1)
  endif()
endif()

# Unity builds: about eight source files per translation unit. File-local helpers therefore live in a
# namespace named after their file (see docs/architecture.md, "Unity builds").
option(OMBRI_UNITY "Compile libraries and test binaries as unity builds" ON)
function(ombri_unity target)
  if(OMBRI_UNITY)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    # In a unity source every included file counts as a header, so GCC would flag each type of a
    # file's anonymous namespace used by a class of that same file.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
    endif()
  endif()
endfunction()

function(ombri_library target)
  cmake_parse_arguments(ARG "" "" "DIRS;LINK" ${ARGN})
  set(sources "")
  foreach(dir ${ARG_DIRS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(APPEND sources ${found})
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources})
    ombri_unity(${target})
    target_compile_options(${target} PRIVATE ${OMBRI_WARNINGS})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_LINK} Threads::Threads)
    set(OMBRI_SCOPE PUBLIC PARENT_SCOPE)
  else()
    # A module with no code yet: a header-only target so that dependants already link it.
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_LINK} Threads::Threads)
    set(OMBRI_SCOPE INTERFACE PARENT_SCOPE)
  endif()
endfunction()

# One test binary per module directory tests/<label>/.
#   By default each test is its own ctest entry and its own process (the engine keeps its state per
#   process by design, so its tests and any test that starts it need that).
#   SHARDS n: the binary runs as n gtest shards instead, each one ctest entry, with the test main that
#   resets the interface's process-wide state between tests (interface-model tests: one process per test
#   would spend more time starting processes than testing).
function(ombri_tests label)
  cmake_parse_arguments(ARG "" "TIMEOUT;NAME;SHARDS" "LINK" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  if(NOT ARG_NAME)
    set(ARG_NAME ${label})
  endif()
  set(target ${ARG_NAME}_tests)
  add_executable(${target} ${sources})
  ombri_unity(${target})
  target_compile_options(${target} PRIVATE ${OMBRI_WARNINGS} ${OMBRI_TEST_FLAGS})
  # Sound goes to SDL's silent driver unless a test picks another (the disk driver, to hear it).
  set(environment "OMBRI_SOURCE_DIR=${CMAKE_SOURCE_DIR};OMBRI_BIN_DIR=${CMAKE_BINARY_DIR}/bin;SDL_AUDIODRIVER=dummy")
  if(ARG_SHARDS)
    target_link_libraries(${target} PRIVATE ${ARG_LINK} ui_test_main GTest::gtest GTest::gmock)
    math(EXPR last "${ARG_SHARDS} - 1")
    # A shard runs many tests: its time-out is the sum a shard could need, not one test's.
    math(EXPR shard_timeout "${ARG_TIMEOUT} * 4")
    foreach(index RANGE 0 ${last})
      add_test(NAME ${target}.shard${index} COMMAND ${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
      set_tests_properties(${target}.shard${index} PROPERTIES
        LABELS ${label} TIMEOUT ${shard_timeout}
        ENVIRONMENT "${environment};GTEST_TOTAL_SHARDS=${ARG_SHARDS};GTEST_SHARD_INDEX=${index}")
    endforeach()
  else()
    target_link_libraries(${target} PRIVATE ${ARG_LINK} test_main GTest::gtest GTest::gmock)
    gtest_discover_tests(${target}
      DISCOVERY_MODE PRE_TEST
      # Listing the tests starts a sanitised program; on a loaded two-core machine that can take longer
      # than the default five seconds.
      DISCOVERY_TIMEOUT 120
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
      PROPERTIES LABELS ${label} TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
  endif()
endfunction()
