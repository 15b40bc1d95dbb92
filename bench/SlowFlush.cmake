# SPDX-License-Identifier: GPL-3.0-or-later
# The slow-disk shim, shared by the start-up benchmark (through LD_PRELOAD) and the test that holds
# the start's flushes (linked in): whichever of bench/ and tests/ is configured first defines it.
include_guard(GLOBAL)
add_library(VemraSlowFlush SHARED ${CMAKE_CURRENT_LIST_DIR}/SlowFlush.cpp)
set_target_properties(VemraSlowFlush PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
target_link_libraries(VemraSlowFlush PRIVATE ${CMAKE_DL_LIBS})
