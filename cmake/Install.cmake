# SPDX-License-Identifier: GPL-3.0-or-later
# What `cmake --install` puts below the prefix, laid out by GNUInstallDirs:
#   bin/VemraNotes
#   lib/<multiarch>/vemranotes/libVemraServices.so (sound, music, name resolution and HTTP, loaded on
#     first use and found relative to the executable; lib/ is the GNUInstallDirs LIBDIR)
#   share/vemranotes/Sounds/Alarm.wav, share/vemranotes/workdays-cn.txt (read-only files, found
#     through ../share/vemranotes from the executable)
#   share/doc/vemranotes/: the help document, the copyright file and the changelog, with a link to
#     the help document in share/vemranotes/ where the application looks for it
#   share/man/man1/VemraNotes.1.gz
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

# China's statutory working days, data rather than code: beside the executable in the build folder
# (a portable copy), in share/vemranotes once installed.
set(VEMRA_WORKDAYS_SOURCE ${CMAKE_SOURCE_DIR}/data/workdays-cn.txt)
set(VEMRA_WORKDAYS ${CMAKE_BINARY_DIR}/workdays-cn.txt)
add_custom_command(OUTPUT ${VEMRA_WORKDAYS}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VEMRA_WORKDAYS_SOURCE} ${VEMRA_WORKDAYS}
  DEPENDS ${VEMRA_WORKDAYS_SOURCE}
  COMMENT "Copying workdays-cn.txt beside the executable"
  VERBATIM)
add_custom_target(VemraWorkdays ALL DEPENDS ${VEMRA_WORKDAYS})
add_dependencies(VemraNotes VemraWorkdays)
install(FILES ${VEMRA_WORKDAYS_SOURCE} DESTINATION ${VEMRA_SHARE_DIR})

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

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
