# Tests of the coding half of the encoder: quantiser, noiseless coding,
# reservoir, frame writer, the exported interface and decoder conformance.
if(NOT TARGET tessel)
  return()
endif()

# The Lockstream stand-in is built outside bin/ so that the product never
# finds it; the tests copy it beside a private copy of the library.
add_library(tessel_lse_double MODULE ${CMAKE_CURRENT_LIST_DIR}/encoder_lse_double.cpp)
target_include_directories(tessel_lse_double PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(tessel_lse_double PROPERTIES PREFIX "lib" OUTPUT_NAME lsedll SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/lse-double CXX_VISIBILITY_PRESET hidden)
lyb_warnings(tessel_lse_double)

lyb_test(core_encoder_tests core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/encoder_bitstream_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/encoder_interface_test.cpp
  LINKS tessel_core ${CMAKE_DL_LIBS})
add_dependencies(core_encoder_tests tessel tessel_lse_double)
target_compile_definitions(core_encoder_tests PRIVATE
  TESSEL_LIBRARY="$<TARGET_FILE:tessel>"
  LSE_DOUBLE="$<TARGET_FILE:tessel_lse_double>"
  GOLDEN_CODING_64K=0x2857d145f49288d3ull
  GOLDEN_CODING_128K=0x3d36eae3282a7377ull
  GOLDEN_CODING_256K=0x1fb7fb728265f4ffull)

lyb_test(core_encoder_cli_tests core
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/encoder_cli_test.cpp
  LINKS PkgConfig::SNDFILE)
add_dependencies(core_encoder_cli_tests tessel-enc)
target_compile_definitions(core_encoder_cli_tests PRIVATE TESSEL_ENC="$<TARGET_FILE:tessel-enc>")
