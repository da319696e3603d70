# The shared library libtessel.so (only CreateAACInterface and
# ReleaseAACInterface exported) and the command-line encoder tessel-enc.
set_target_properties(tessel_core PROPERTIES POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

add_library(tessel SHARED ${CMAKE_CURRENT_SOURCE_DIR}/export/aac_interface.cpp)
target_include_directories(tessel PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/include)
# RTTI stays on in the export shim: callers built with RTTI (and sanitizer
# type checks) see the interface objects with their type information.
target_compile_options(tessel PRIVATE ${LYB_WARNINGS} -Wconversion -fno-exceptions)
set_target_properties(tessel PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON
  OUTPUT_NAME tessel PREFIX "lib" SUFFIX ".so" NO_SONAME ON)
target_link_libraries(tessel PRIVATE tessel_core ${CMAKE_DL_LIBS})
target_link_options(tessel PRIVATE
  "-Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/export/tessel.map" -Wl,--no-undefined)
set_property(TARGET tessel APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/export/tessel.map)

# The front end reads its input through libsndfile (the library itself
# takes PCM only) and builds tag blocks with the Music Studio's tag code.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET GLOBAL sndfile)
add_executable(tessel-enc ${CMAKE_CURRENT_SOURCE_DIR}/cli/tessel_enc.cpp)
target_include_directories(tessel-enc PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(tessel-enc PRIVATE ${LYB_WARNINGS})
target_link_libraries(tessel-enc PRIVATE lyb_library PkgConfig::SNDFILE Threads::Threads ${CMAKE_DL_LIBS})
add_dependencies(tessel-enc tessel)
