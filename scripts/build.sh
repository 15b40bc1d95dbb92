#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into build/ (the application folder). Quiet when all is well: the compiler's
# output is kept in build/build.log and shown in full only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
log=build/build.log
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" && cmake --build build -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "The build failed; the log above is also in $log." >&2
  exit 1
fi
