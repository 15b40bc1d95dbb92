# SPDX-License-Identifier: GPL-3.0-or-later
# Files of the application folder that are generated rather than stored: the alarm sound, the help
# document, and a launcher (icon + desktop entry) for the built executable. A plain build makes them
# all beside the executable; the generators themselves go to tools/. The GBK tables of the note codec
# are generated too, as source compiled into the core library.

set(VEMRA_TOOLS_DIR ${CMAKE_BINARY_DIR}/tools)
set(VEMRA_ALARM_WAV ${CMAKE_BINARY_DIR}/Sounds/Alarm.wav)
set(VEMRA_HELP_PDF "${CMAKE_BINARY_DIR}/Vemra便笺使用帮助.pdf")
set(VEMRA_ICON_PNG ${CMAKE_BINARY_DIR}/VemraNotes.png)
set(VEMRA_DESKTOP_ENTRY ${CMAKE_BINARY_DIR}/VemraNotes.desktop)
# Spelled out instead of $<TARGET_FILE:VemraNotes>: a generator expression naming the application
# would make the assets depend on it, while the application depends on the assets.
set(VEMRA_EXECUTABLE ${CMAKE_BINARY_DIR}/VemraNotes${CMAKE_EXECUTABLE_SUFFIX})

# The chime generator is plain C++; keep Qt's code generators away from it.
add_executable(make_alarm tools/make_alarm.cpp)
set_target_properties(make_alarm PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF
  RUNTIME_OUTPUT_DIRECTORY ${VEMRA_TOOLS_DIR})
add_custom_command(OUTPUT ${VEMRA_ALARM_WAV}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/Sounds
  COMMAND make_alarm ${VEMRA_ALARM_WAV}
  DEPENDS make_alarm ${CMAKE_SOURCE_DIR}/tools/AlarmSynth.h
  COMMENT "Synthesising Sounds/Alarm.wav"
  VERBATIM)

# The GBK tables: plain C++ over glibc's iconv, run once per build instead of once per start.
set(VEMRA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(VEMRA_GBK_HEADER ${VEMRA_GENERATED_DIR}/text/GbkTables.h)
set(VEMRA_GBK_SOURCE ${VEMRA_GENERATED_DIR}/text/GbkTables.cpp)
add_executable(make_gbk_table tools/make_gbk_table.cpp)
set_target_properties(make_gbk_table PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF
  RUNTIME_OUTPUT_DIRECTORY ${VEMRA_TOOLS_DIR})
add_custom_command(OUTPUT ${VEMRA_GBK_HEADER} ${VEMRA_GBK_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VEMRA_GENERATED_DIR}/text
  COMMAND make_gbk_table ${VEMRA_GBK_HEADER} ${VEMRA_GBK_SOURCE}
  DEPENDS make_gbk_table
  COMMENT "Writing the GBK tables"
  VERBATIM)
set_source_files_properties(${VEMRA_GBK_HEADER} ${VEMRA_GBK_SOURCE} PROPERTIES
  GENERATED TRUE SKIP_AUTOMOC ON)
target_sources(VemraCore PRIVATE ${VEMRA_GBK_HEADER} ${VEMRA_GBK_SOURCE})
target_include_directories(VemraCore PRIVATE ${VEMRA_GENERATED_DIR})

add_executable(make_help tools/make_help.cpp)
target_link_libraries(make_help PRIVATE Qt6::Gui)
set_target_properties(make_help PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VEMRA_TOOLS_DIR})
add_custom_command(OUTPUT ${VEMRA_HELP_PDF}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:make_help> ${CMAKE_SOURCE_DIR}/docs/help.html ${VEMRA_HELP_PDF}
  DEPENDS make_help ${CMAKE_SOURCE_DIR}/docs/help.html
  COMMENT "Typesetting the help document"
  VERBATIM)

add_executable(make_desktop_entry tools/make_desktop_entry.cpp)
target_link_libraries(make_desktop_entry PRIVATE VemraUi)
set_target_properties(make_desktop_entry PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VEMRA_TOOLS_DIR})
add_custom_command(OUTPUT ${VEMRA_ICON_PNG} ${VEMRA_DESKTOP_ENTRY}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:make_desktop_entry> ${VEMRA_EXECUTABLE} ${VEMRA_ICON_PNG} ${VEMRA_DESKTOP_ENTRY}
  DEPENDS make_desktop_entry ${CMAKE_SOURCE_DIR}/src/platform/DesktopEntry.h
  COMMENT "Writing VemraNotes.png and VemraNotes.desktop"
  VERBATIM)

add_custom_target(VemraAssets ALL
  DEPENDS ${VEMRA_ALARM_WAV} ${VEMRA_HELP_PDF} ${VEMRA_ICON_PNG} ${VEMRA_DESKTOP_ENTRY})
add_dependencies(VemraNotes VemraAssets)
