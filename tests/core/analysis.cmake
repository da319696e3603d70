# Tests of the analysis half of the encoder: error chain, option store,
# sample-rate converter, filterbank and psychoacoustic model.
lyb_test(core_analysis_tests core
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/analysis_errorhnd_uci_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/analysis_mdct_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/analysis_resampler_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/analysis_psy_test.cpp
  LINKS tessel_core)

lyb_fuzz(core_uci_fuzz ${CMAKE_CURRENT_LIST_DIR}/analysis_uci_fuzz.cpp LINKS tessel_core)
