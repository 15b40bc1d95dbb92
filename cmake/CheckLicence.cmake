# SPDX-License-Identifier: GPL-3.0-or-later
# Run with -DFILES=<list>: fails naming every file whose first lines do not carry the licence line.
set(missing "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" head LIMIT_COUNT 3)
  if(NOT head MATCHES "SPDX-License-Identifier: GPL-3.0-or-later")
    list(APPEND missing "${file}")
  endif()
endforeach()
if(missing)
  list(JOIN missing "\n  " names)
  message(FATAL_ERROR "No licence line in:\n  ${names}")
endif()
