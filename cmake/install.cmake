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

# The pkg-config file names the prefix it is installed under (/usr in a
# package), so that it gives plain paths; it is written at install time,
# when that prefix is known.
if(BUILD_SHARED_LIBS)
  set(pc_libs "-ltracksmith")
else()
  set(pc_libs "-ltracksmith -ltracksmith_track_midi -ltracksmith_smf -ltracksmith_track_multisong -ltracksmith_track_serialize -ltracksmith_header_format -ltracksmith_song")
endif()
set(pc_prefix "@TRACKSMITH_INSTALL_PREFIX@")
configure_file(cmake/tracksmith.pc.in ${PROJECT_BINARY_DIR}/tracksmith.pc.in @ONLY)
install(CODE "
  file(READ \"${PROJECT_BINARY_DIR}/tracksmith.pc.in\" pc_text)
  string(REPLACE \"@TRACKSMITH_INSTALL_PREFIX@\" \"\${CMAKE_INSTALL_PREFIX}\" pc_text \"\${pc_text}\")
  file(WRITE \"${PROJECT_BINARY_DIR}/pkgconfig/tracksmith.pc\" \"\${pc_text}\")
  " COMPONENT dev)
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/tracksmith.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The manual page carries the project's version; it and the Debian
# changelog are installed compressed (gzip -9n: no name or time inside, so
# the same sources give the same bytes).
find_program(TRACKSMITH_GZIP gzip REQUIRED)
function(tracksmith_gzip input output)
  execute_process(COMMAND ${TRACKSMITH_GZIP} -9nc ${input} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
configure_file(doc/tracksmith.1.in ${PROJECT_BINARY_DIR}/tracksmith.1 @ONLY)
tracksmith_gzip(${PROJECT_BINARY_DIR}/tracksmith.1 ${PROJECT_BINARY_DIR}/tracksmith.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/tracksmith.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT tool)
# What each Debian package carries in its documentation folder: the
# machine-readable copyright file and the changelog.
configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
tracksmith_gzip(${PROJECT_BINARY_DIR}/debian/changelog ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(package_component IN ITEMS "tracksmith;tool" "tracksmith-dev;dev")
  list(GET package_component 0 package)
  list(GET package_component 1 component)
  install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()
install(FILES cmake/debian/tracksmith.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
  RENAME tracksmith COMPONENT tool)

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
  set(CPACK_STRIP_FILES ON)
  # Depends from the shared libraries the binaries use (none for the
  # statically linked tool; the usual ones for a sanitizer build).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOL_DESCRIPTION "tracksmith turns a Standard MIDI File into a .track document: layers of
notes, motifs and a song, in the text a game's audio engine reads.")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME tracksmith-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "tracksmith (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEV_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION} (library and headers)")
  set(CPACK_DEBIAN_DEV_DESCRIPTION "The C++ library behind tracksmith, its headers, its CMake package (with
tracksmith_add_documents) and its pkg-config file.")
  include(CPack)
endif()
