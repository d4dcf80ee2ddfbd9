#!/usr/bin/env bash
# Installs what is needed, builds the Windows program and opens its window under Wine.
#   bash scripts/run.sh [FOLDER]        FOLDER (optional) goes into the folder box at start-up
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/install-deps
cmake --preset windows
cmake --build --preset windows --target brennic
if [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
brennic.exe is a window program and needs a display, and this shell has none (DISPLAY is
not set). Run this command from a desktop session, or give it a virtual one:
    xvfb-run -s '-screen 0 1024x768x24' bash scripts/run.sh
(bash scripts/screenshot.sh saves a picture of the window without any display.)
The built program is build/windows/bin/brennic.exe; build/windows/bin/brennic-cli.exe and
build/native/bin/brennic-cli (cmake --preset native && cmake --build --preset native) work
without one.
MSG
  exit 1
fi
source scripts/wine-env.sh
exec wine build/windows/bin/brennic.exe "$@"
