# What `cmake --install` puts below the prefix, laid out by GNUInstallDirs:
#   bin/VemraNotes
#   lib/vemranotes/libVemraServices.so (sound, music, name resolution and HTTP, loaded on first use
#     and found through ../lib/vemranotes from the executable; lib/ is the GNUInstallDirs LIBDIR)
#   share/vemranotes/Sounds/Alarm.wav and share/vemranotes/Vemra便笺使用帮助.pdf (read-only files,
#     found through ../share/vemranotes from the executable)
#   share/applications/<id>.desktop, share/icons/hicolor/*/apps/<id>.{svg,png}
#   share/metainfo/<id>.metainfo.xml
# The data never goes there: an installed copy keeps it in ~/.local/share/VemraNotes.

set(VEMRA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/vemranotes)
set(VEMRA_LAUNCHER_DIR ${CMAKE_BINARY_DIR}/launcher)
set(VEMRA_METAINFO ${CMAKE_BINARY_DIR}/${VEMRA_APP_ID}.metainfo.xml)

install(TARGETS VemraNotes RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VemraServices LIBRARY DESTINATION ${VEMRA_MODULE_DIR})
if(DEFINED VEMRA_ALARM_WAV)
  install(FILES ${VEMRA_ALARM_WAV} DESTINATION ${VEMRA_SHARE_DIR}/Sounds)
endif()
if(DEFINED VEMRA_HELP_PDF)
  install(FILES ${VEMRA_HELP_PDF} DESTINATION ${VEMRA_SHARE_DIR})
endif()

# The launcher and the icons, drawn by the application's own icon code.
find_package(Qt6 REQUIRED COMPONENTS Svg)
add_executable(make_launcher tools/make_launcher.cpp)
target_link_libraries(make_launcher PRIVATE VemraUi Qt6::Svg)
set_target_properties(make_launcher PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
set(VEMRA_LAUNCHER_STAMP ${VEMRA_LAUNCHER_DIR}/.written)
add_custom_command(OUTPUT ${VEMRA_LAUNCHER_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${VEMRA_LAUNCHER_DIR}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:make_launcher> ${VEMRA_APP_ID} ${VEMRA_LAUNCHER_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${VEMRA_LAUNCHER_STAMP}
  DEPENDS make_launcher ${CMAKE_SOURCE_DIR}/src/platform/DesktopEntry.h
  COMMENT "Writing the launcher and the icons of ${VEMRA_APP_ID}"
  VERBATIM)

# AppStream: the release list follows the project version.
set(VEMRA_RELEASE_DATE 2026-12-07)
configure_file(${CMAKE_SOURCE_DIR}/resources/VemraNotes.metainfo.xml.in ${VEMRA_METAINFO} @ONLY)

add_custom_target(VemraLauncher ALL DEPENDS ${VEMRA_LAUNCHER_STAMP})
install(DIRECTORY ${VEMRA_LAUNCHER_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}
  PATTERN .written EXCLUDE)
install(FILES ${VEMRA_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# A Debian package of the same files: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME vemranotes)
set(CPACK_PACKAGE_VENDOR "VemraNotes")
set(CPACK_PACKAGE_CONTACT "VemraNotes developers <vemranotes@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sticky notes with timed reminders (Vemra便笺)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, gstreamer1.0-plugins-good")
set(CPACK_STRIP_FILES ON)
include(CPack)
