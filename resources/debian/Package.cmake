# The Debian package, built by `cpack -G DEB` after a Release build (scripts/package does both).
set(CPACK_PACKAGE_NAME ferrit)
set(CPACK_PACKAGE_VENDOR "The Ferrit developers")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Ferrit developers <ferrit@example.org>")
# Lines of at most 80 characters, as the package's description is shown.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Ferrit is an FTP client with one window: the local files on the left, the"
  "server's on the right. Files and whole folders are downloaded and uploaded by"
  "button or by dragging between the two lists, through a queue that resumes"
  "interrupted transfers. It keeps a list of hosts, uses FTP over TLS when the"
  "server offers it, and asks before it accepts a certificate that does not"
  "verify.")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the program loads at run time, which dpkg-shlibdeps cannot see: the SVG icon engine (the
# theme's symbolic icons), the theme its own icon goes into, the trust store of TLS sessions and
# the MIME database behind the remote file types. Recommended: button images on desktops without
# an icon theme, a native Wayland window, and sounds through PulseAudio or PipeWire.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, hicolor-icon-theme, ca-certificates, shared-mime-info")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, qt6-wayland, libcanberra-pulse")

# The package's own changelog and lintian overrides are no files of a plain `cmake --install`:
# they are an install component left out of that, which the package asks for beside the default.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(FERRIT_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
execute_process(COMMAND date -u -R -d ${FERRIT_RELEASE_DATE}
  OUTPUT_VARIABLE FERRIT_RELEASE_TIME OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${ferrit_generated}/changelog.Debian @ONLY)
ferrit_gzip(ferrit_debian_changelog ${ferrit_generated}/changelog.Debian)
install(FILES ${ferrit_generated}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ferrit COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides RENAME ferrit
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT debian EXCLUDE_FROM_ALL)

include(CPack)
