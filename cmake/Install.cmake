# Installation and the Debian package. The host looks for its data in
# ../${QUILL_INSTALL_DATA_DIR} beside its binary and for the module beside
# itself or in ../${QUILL_INSTALL_MODULE_DIR} (both set in the top-level
# CMakeLists.txt), so an installed tree works from any prefix.
include(GNUInstallDirs)

if(TARGET quill-host)
  set_target_properties(quill-host PROPERTIES INSTALL_RPATH "$ORIGIN/../${QUILL_INSTALL_MODULE_DIR}")
  install(TARGETS quill-host RUNTIME DESTINATION bin)
  # The part descriptions only (the folder also holds their README).
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/host/Partdescriptionfiles DESTINATION ${QUILL_INSTALL_DATA_DIR}
    FILES_MATCHING PATTERN "*.xml")
  install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/quill-host.desktop
    DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/quill-host.svg
    DESTINATION share/icons/hicolor/scalable/apps)
  # The lab files' type, which the desktop entry opens (*.quill).
  install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/quill-host-lab.xml
    DESTINATION share/mime/packages RENAME quill-host.xml)
endif()
if(TARGET QuillComponents)
  set_target_properties(QuillComponents PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS QuillComponents quill_platform LIBRARY DESTINATION ${QUILL_INSTALL_MODULE_DIR})
endif()
# The demo programs and their scenarios in one folder: a scenario finds its
# firmware, and the pictures its checks compare against, beside it.
if(TARGET quill_firmware)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/firmware/ DESTINATION ${QUILL_INSTALL_DATA_DIR}/examples
    FILES_MATCHING PATTERN "*.elf" PATTERN "*.hex" PATTERN "CMakeFiles" EXCLUDE)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/firmware/scenarios/ DESTINATION ${QUILL_INSTALL_DATA_DIR}/examples
    FILES_MATCHING PATTERN "*.scn" PATTERN "*.png")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quill-host)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QuillComponents developers <quill@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "AVR simulator workbench with virtual peripherals (LEDs, switches, keypad, LCD, ADC inputs)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_LICENSE GPL-3.0-or-later)
# The runtime dependencies are the Debian packages of the libraries the
# binaries link (dpkg-shlibdeps), plus the fonts the windows draw with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
# To build and debug programs of one's own.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc-avr, avr-libc, gdb-avr")
include(CPack)
