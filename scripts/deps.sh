#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the app and the tests need, and only those missing.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config ccache python3 clang-format
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev libgl-dev libfontconfig-dev
  qt6-translations-l10n
  libbenchmark-dev
  fonts-noto-cjk fonts-wqy-microhei
  fcitx5-frontend-qt6
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  desktop-file-utils appstream dbus
  dpkg-dev file lintian
  xvfb xdotool libxcb1-dev libxcb-damage0-dev libxcb-xtest0-dev
  at-spi2-core python3-pyatspi
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo)
else
  echo "These packages are missing: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

# One line when all goes well; apt's whole story only when it fails.
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${SUDO[@]}" apt-get update -qq && "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
