# Shared helpers for the subsystem targets.

set(LYB_WARNINGS -Wall -Wextra -Wpedantic -Wshadow)

function(lyb_warnings target)
  target_compile_options(${target} PRIVATE ${LYB_WARNINGS})
  if(LYB_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# lyb_library(NAME SOURCES... [LINKS libs...])
# A static library of one subsystem; the repository root is its include root,
# so headers are included as "subsystem/header.h".
function(lyb_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(L_LINKS)
    target_link_libraries(${name} PUBLIC ${L_LINKS})
  endif()
  lyb_warnings(${name})
endfunction()

# lyb_test(NAME LABEL SOURCES... [LINKS libs...])
# A GoogleTest executable registered with CTest under one subsystem label.
function(lyb_test name label)
  cmake_parse_arguments(T "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LINKS} GTest::gtest GTest::gtest_main Threads::Threads)
  lyb_warnings(${name})
  include(GoogleTest)
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${label}
    ENVIRONMENT "LYB_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data"
    DISCOVERY_TIMEOUT 60)
endfunction()

# lyb_fuzz(NAME SOURCE [LINKS libs...] [CORPUS dir])
# A libFuzzer target (only with LYB_FUZZ and clang). CI runs each briefly.
function(lyb_fuzz name source)
  cmake_parse_arguments(F "" "CORPUS" "LINKS" ${ARGN})
  if(NOT LYB_FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LINKS})
  set_property(GLOBAL APPEND PROPERTY LYB_FUZZ_TARGETS "${name}|${F_CORPUS}")
endfunction()
