# The Debian package (`cpack -G DEB` in the build folder): the program and
# the components it loads by file name in /usr/lib/lyrabox, a link
# /usr/bin/lyb30, the desktop entry, the icon and the file types it opens,
# and the machine-wide settings the specified installer would write
# (read-only "machine.reg" beside the program). Removing the package takes
# all of it away; the shared desktop and MIME caches are refreshed by the
# system's own triggers.
if(NOT TARGET lyb30)
  return()
endif()

set(LYB_PACKAGE_SUBDIR "lib/lyrabox")
install(TARGETS lyb30 RUNTIME DESTINATION ${LYB_PACKAGE_SUBDIR})
# The components lyb30 loads from its own folder (add new ones here).
foreach(component tessel wnaspi32 aac usb lsedll)
  if(TARGET ${component})
    install(TARGETS ${component} LIBRARY DESTINATION ${LYB_PACKAGE_SUBDIR})
  endif()
endforeach()
# The skins the build makes (tools/mkskin).
install(DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Skins/ DESTINATION ${LYB_PACKAGE_SUBDIR}/Skins
        FILES_MATCHING PATTERN "*.nms")
# The compiled English help beside the program, and every language the
# build makes (interface file and compiled help) in Language/<folder>/.
install(FILES ${CMAKE_BINARY_DIR}/help/lyb30.chm DESTINATION ${LYB_PACKAGE_SUBDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/help/ DESTINATION ${LYB_PACKAGE_SUBDIR}/Language
        FILES_MATCHING PATTERN "lyb30l.chm")
install(DIRECTORY ${CMAKE_BINARY_DIR}/Language/ DESTINATION ${LYB_PACKAGE_SUBDIR}/Language
        FILES_MATCHING PATTERN "lang.dat")
install(FILES ${PROJECT_SOURCE_DIR}/resources/package/lyb30.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/setup/lyb30.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/package/lyrabox-mime.xml
        DESTINATION share/mime/packages RENAME lyrabox.xml)
install(FILES ${PROJECT_SOURCE_DIR}/resources/setup/ReadMe.txt DESTINATION share/doc/lyrabox RENAME README)
install(FILES ${PROJECT_SOURCE_DIR}/resources/package/copyright DESTINATION share/doc/lyrabox)

# Written at install time: the settings name the folder the package puts
# the program in, whatever prefix the install step is given.
install(CODE "
  set(dir \"\${CMAKE_INSTALL_PREFIX}/${LYB_PACKAGE_SUBDIR}\")
  file(READ \"${PROJECT_SOURCE_DIR}/resources/package/machine.reg.in\" text)
  string(REPLACE \"@LYB_PACKAGE_DIR@\" \"\${dir}\" text \"\${text}\")
  file(WRITE \"\$ENV{DESTDIR}\${dir}/machine.reg\" \"\${text}\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(CREATE_LINK \"../${LYB_PACKAGE_SUBDIR}/lyb30\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/lyb30\" SYMBOLIC)
")

# Everything the package takes from the build: `--target lyb30_package_files`.
add_custom_target(lyb30_package_files)
foreach(component lyb30 tessel wnaspi32 aac usb lsedll skins lyb30_languages ${LYB_HELP_TARGETS})
  if(TARGET ${component})
    add_dependencies(lyb30_package_files ${component})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lyrabox)
set(CPACK_PACKAGE_VERSION "3.0.0")
set(CPACK_PACKAGE_VENDOR "Orvik")
set(CPACK_PACKAGE_CONTACT "Lyrabox maintainers <lyrabox@orvik.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Music manager for a phone's memory card")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Lyrabox 3.0 rips audio CDs with its own AAC encoder, keeps a library of\ntracks and M3U playlists with ID3 tags, plays files and CDs, and transfers\nmusic to the memory card of a phone.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not name: the font, and GStreamer's plugins for playback.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-dejavu-core, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Only what install() names above goes into the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")
include(CPack)
