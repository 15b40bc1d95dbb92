# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in the build folder packs what `cmake --install` gives, plus the
# files Debian asks of every package (copyright, changelog, manual page), stripped, with the help
# document under /usr/share/doc. Build it from a Release build, which carries the hardening flags.

set(VEMRA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/vemranotes)
set(VEMRA_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VEMRA_PACKAGING_DIR})

# The help document is documentation, so it lives in the doc folder; the application looks for it in
# share/vemranotes/ (beside the sound), where a relative link leads to it. A system that drops
# /usr/share/doc leaves the link dangling and the help button does nothing, as when no help is there.
if(DEFINED VEMRA_HELP_PDF)
  get_filename_component(_help_name "${VEMRA_HELP_PDF}" NAME)
  file(RELATIVE_PATH _help_target ${CMAKE_INSTALL_PREFIX}/${VEMRA_SHARE_DIR}
       "${CMAKE_INSTALL_PREFIX}/${VEMRA_DOC_DIR}/${_help_name}")
  file(CREATE_LINK "${_help_target}" "${VEMRA_PACKAGING_DIR}/${_help_name}" SYMBOLIC)
  install(FILES ${VEMRA_HELP_PDF} DESTINATION ${VEMRA_DOC_DIR})
  install(FILES "${VEMRA_PACKAGING_DIR}/${_help_name}" DESTINATION ${VEMRA_SHARE_DIR})
endif()

# Debian's changelog of a native package, and the manual page, compressed as Debian wants them:
# gzip -9 without a name or a time stamp, so the same sources give the same package.
set(VEMRA_CHANGELOG_DATE "Mon, 07 Dec 2026 12:00:00 +0000") # keep in step with VEMRA_RELEASE_DATE
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${VEMRA_PACKAGING_DIR}/changelog @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/docs/VemraNotes.1 ${VEMRA_PACKAGING_DIR}/VemraNotes.1 @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
set(_compressed)
foreach(_file changelog VemraNotes.1)
  add_custom_command(OUTPUT ${VEMRA_PACKAGING_DIR}/${_file}.gz
    COMMAND ${GZIP_PROGRAM} -9nfk ${_file}
    DEPENDS ${VEMRA_PACKAGING_DIR}/${_file}
    WORKING_DIRECTORY ${VEMRA_PACKAGING_DIR}
    VERBATIM)
  list(APPEND _compressed ${VEMRA_PACKAGING_DIR}/${_file}.gz)
endforeach()
add_custom_target(VemraPackagingFiles ALL DEPENDS ${_compressed})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${VEMRA_PACKAGING_DIR}/changelog.gz
        DESTINATION ${VEMRA_DOC_DIR})
install(FILES ${VEMRA_PACKAGING_DIR}/VemraNotes.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# A stripped install (cpack, cmake --install --strip) also drops the compiler's .comment and .note
# sections, as Debian's own packages do.
if(CMAKE_STRIP)
  set(_binaries ${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:VemraNotes>
                ${VEMRA_MODULE_DIR}/$<TARGET_FILE_NAME:VemraServices>)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(binary ${_binaries})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${binary}\" COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

set(CPACK_PACKAGE_NAME vemranotes)
set(CPACK_PACKAGE_VENDOR "The VemraNotes developers")
set(CPACK_PACKAGE_CONTACT "VemraNotes developers <vemranotes@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sticky notes with timed reminders (Vemra便笺)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
Vemra便笺 joins sticky notes with a to-do list of timed reminders in one
small window with a Chinese user interface.

Notes are plain text, saved as you type, listed by their titles and
searchable. Editor commands insert dates, calculate, translate between
Chinese and English and keep simple ledgers.

Tasks count down or wait for a clock time, then pop up a message with an
alarm, play music, open a file, run a command or shut the computer down.

便笺与定时提醒：随手记下便笺，按时提醒待办。]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/vemranotes/vemranotes)
# The libraries come from dpkg-shlibdeps. The interface is Chinese, so without a CJK font it is all
# boxes: a font is a dependency, not a recommendation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
# The alarm and music need GStreamer's plugins, the help and web addresses xdg-open, Qt's own dialogs
# speak Chinese with its translations; on Wayland itself and with an input method Qt needs plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, xdg-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, fcitx5-frontend-qt6")
set(CPACK_STRIP_FILES ON)
include(CPack)
