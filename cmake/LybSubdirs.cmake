# lyb_add_subdirs(): adds every direct subfolder of the current folder that has
# a CMakeLists.txt, in name order, so owners of separate pieces never edit a
# shared list.
macro(lyb_add_subdirs)
  file(GLOB _lyb_children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _lyb_children)
  foreach(_lyb_child ${_lyb_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_lyb_child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_lyb_child}/CMakeLists.txt)
      add_subdirectory(${_lyb_child})
    endif()
  endforeach()
endmacro()
