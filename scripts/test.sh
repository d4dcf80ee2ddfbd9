#!/usr/bin/env bash
# Installs what is needed, builds both targets and runs every test: the native build directly,
# the Windows build under Wine (ANSI code page 936), and the format check.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/install-deps

echo "== format check"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find engine ui app tests bench -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror $files

echo "== native build and tests"
cmake --preset native
cmake --build --preset native
ctest --preset native

echo "== Windows build and tests under Wine"
source scripts/wine-env.sh
cmake --preset windows
cmake --build --preset windows
# The window tests need a display: a virtual one of our own unless the caller has one.
if [ -z "${DISPLAY:-}" ]; then
  Xvfb :93 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  export DISPLAY=:93
  sleep 1
fi
ctest --preset windows
