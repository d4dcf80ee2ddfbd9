#!/usr/bin/env bash
# The release archive of the Windows build: made by the package target, it holds both
# programs and the README, and the programs in it run (under Wine).
#
#   package_test.sh BUILD_DIR
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/brennic-$version-win64.zip"
work=$(mktemp -d /tmp/brennic-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

rm -f "$zip"
cmake --build "$build" --target package >"$work/package.log" 2>&1
check "the package target makes $zip" test -f "$zip"
listing=$(cd "$work" && cmake -E tar tf "$zip")
for entry in brennic.exe brennic-cli.exe README.md; do
  check "the archive holds $entry" grep -qx "brennic-$version-win64/$entry" <<<"$listing"
done
(cd "$work" && cmake -E tar xf "$zip")
unpacked="$work/brennic-$version-win64"
out=$("$here/../cmake/wine-run.sh" "$unpacked/brennic-cli.exe" --version 2>/dev/null | tr -d '\r')
check "brennic-cli.exe from the archive runs" [ "$out" = "brennic-cli $version" ]
mkdir -p "$work/tree"
printf 'old' >"$work/tree/a.txt"
"$here/../cmake/wine-run.sh" "$unpacked/brennic-cli.exe" "$(winepath -w "$work/tree" 2>/dev/null)" \
  '*.txt' old new >/dev/null 2>&1
check "and rewrites a file" [ "$(cat "$work/tree/a.txt")" = new ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
