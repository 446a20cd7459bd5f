# What `cmake --install` puts under the prefix: the program and what a desktop needs to offer
# it (desktop entry, icon in the hicolor theme, AppStream metadata, manual page). The icon is
# also built into the program, for desktops whose theme lacks it.
include(GNUInstallDirs)
# Folders readable by all whatever the umask, as packages require.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The AppStream component id names the program for good, so it stays when the web address moves.
set(FERRIT_APPSTREAM_ID org.example.ferrit)

set(ferrit_resources ${CMAKE_CURRENT_LIST_DIR})
set(ferrit_generated ${PROJECT_BINARY_DIR}/resources)
configure_file(${ferrit_resources}/ferrit.metainfo.xml.in
  ${ferrit_generated}/${FERRIT_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${ferrit_resources}/ferrit.1.in ${ferrit_generated}/ferrit.1 @ONLY)

# FILE.gz made from FILE by the build: compressed as Debian installs manual pages and changelogs,
# best and without a time stamp (-n), so the same input gives the same bytes.
function(ferrit_gzip target file)
  add_custom_command(OUTPUT ${file}.gz COMMAND gzip -9n -c ${file} > ${file}.gz DEPENDS ${file})
  add_custom_target(${target} ALL DEPENDS ${file}.gz)
endfunction()
ferrit_gzip(ferrit_manual ${ferrit_generated}/ferrit.1)

file(GLOB ferrit_icon_pngs ${ferrit_resources}/icons/hicolor/*/apps/ferrit.png)
qt_add_resources(ferrit_app ferrit_icons
  PREFIX /icons
  BASE ${ferrit_resources}/icons
  FILES ${ferrit_icon_pngs})

install(TARGETS ferrit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ferrit_resources}/ferrit.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${ferrit_resources}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${ferrit_resources}/icons/ferrit.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ferrit_generated}/${FERRIT_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ferrit_generated}/ferrit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ferrit_resources}/debian/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ferrit)
