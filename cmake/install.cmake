# The exported CMake package, the pkg-config file, the documentation and the
# Debian packages. The targets themselves are installed in src/.
include(CMakePackageConfigHelpers)

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tracksmith)
install(EXPORT tracksmith-targets NAMESPACE tracksmith:: DESTINATION ${config_dir} COMPONENT dev)
configure_package_config_file(cmake/tracksmith-config.cmake.in
  ${PROJECT_BINARY_DIR}/tracksmith-config.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tracksmith-config-version.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/tracksmith-config.cmake
    ${PROJECT_BINARY_DIR}/tracksmith-config-version.cmake
    cmake/tracksmith-documents.cmake
  DESTINATION ${config_dir} COMPONENT dev)

# The prefix is found from the file's own place, so the installed tree can be
# moved (and a package installs it under /usr).
file(RELATIVE_PATH pc_prefix_from_pcfiledir "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" pc_prefix_from_pcfiledir "${pc_prefix_from_pcfiledir}")
configure_file(cmake/tracksmith.pc.in ${PROJECT_BINARY_DIR}/tracksmith.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tracksmith.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The manual page carries the project's version.
configure_file(doc/tracksmith.1.in ${PROJECT_BINARY_DIR}/tracksmith.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tracksmith.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tool)

if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_PACKAGE_NAME tracksmith)
  set(CPACK_PACKAGE_VENDOR "the tracksmith developers")
  set(CPACK_PACKAGE_CONTACT "the tracksmith developers <tracksmith@example.invalid>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL tool dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tracksmith)
  # The tool is linked statically and needs no library at run time; a
  # sanitizer build links the usual shared ones.
  if(TRACKSMITH_SANITIZE)
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
  endif()
  set(CPACK_DEBIAN_TOOL_DESCRIPTION "${PROJECT_DESCRIPTION}
 tracksmith turns a Standard MIDI File into a .track document: layers of
 notes, motifs and a song, in the text a game's audio engine reads.")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME tracksmith-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "tracksmith (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEV_DESCRIPTION "${PROJECT_DESCRIPTION} (library and headers)
 The C++ library behind tracksmith, its headers, its CMake package (with
 tracksmith_add_documents) and its pkg-config file.")
  include(CPack)
endif()
