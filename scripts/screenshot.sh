#!/usr/bin/env bash
# Starts brennic.exe under Wine on a virtual display and saves a PNG of its window.
#   bash scripts/screenshot.sh [OUTPUT.png] [ARGUMENT]     (default docs/window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
mkdir -p "$(dirname "$out")"
source scripts/wine-env.sh
[ -x build/windows/bin/brennic.exe ] || { cmake --preset windows >/dev/null; cmake --build --preset windows >/dev/null; }
display=:97
Xvfb $display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
# A Wine virtual desktop draws the title bar and frame, which bare Xvfb (no window manager)
# would leave out.
wine explorer /desktop=brennic-shot,420x400 build/windows/bin/brennic.exe ${2:+"$2"} >/dev/null 2>&1 &
app=$!
for _ in $(seq 60); do
  id=$(xdotool search --name '^brennic-shot' 2>/dev/null | head -n 1) && [ -n "$id" ] && break
  sleep 0.5
done
[ -n "${id:-}" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 3
eval "$(xdotool getwindowgeometry --shell "$id")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$out"
wineserver -k >/dev/null 2>&1 || true
echo "saved $out"
