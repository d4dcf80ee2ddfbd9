#!/usr/bin/env bash
# A sparse file over 4 GiB with one match near its end, through brennic-cli: the native
# program, and the Windows one under Wine when it is built. Checks the result byte for byte
# around the match and prints the time. Too slow for a unit test (reading 4 GiB of holes takes
# the kernel seconds), so it lives here.
#
#   bash bench/huge_file.sh [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/bench/huge}
mkdir -p "$work"
work=$(cd "$work" && pwd)
size=$(((4 << 30) + 4096))
at=$((size - 100))

source scripts/wine-env.sh
cmake --preset bench >/dev/null && cmake --build --preset bench >/dev/null
clis=("$PWD/build/bench/bin/brennic-cli")
[ -x build/windows/bin/brennic-cli.exe ] && clis+=("$PWD/build/windows/bin/brennic-cli.exe")
status=0
for cli in "${clis[@]}"; do
  rm -rf "$work/tree" && mkdir -p "$work/tree"
  truncate -s "$size" "$work/tree/huge.log"
  printf 'needle' | dd of="$work/tree/huge.log" bs=1 seek="$at" conv=notrunc 2>/dev/null
  start=$(date +%s.%N)
  if [[ $cli == *.exe ]]; then
    bash cmake/wine-run.sh "$cli" "$(winepath -w "$work/tree")" '*.log' needle 'thread!' >/dev/null 2>&1
  else
    "$cli" "$work/tree" '*.log' needle 'thread!' >/dev/null
  fi
  end=$(date +%s.%N)
  got_size=$(stat -c %s "$work/tree/huge.log")
  around=$(dd if="$work/tree/huge.log" bs=1 skip=$((at - 1)) count=9 2>/dev/null | od -An -c | tr -s ' ')
  if [ "$got_size" = $((size + 1)) ] && [ "$around" = " \0 t h r e a d ! \0" ]; then
    echo "$(basename "$cli"): 4 GiB + 4 KiB sparse file replaced in $(python3 -c "print(round($end-$start,2))") s, result right"
  else
    echo "$(basename "$cli"): WRONG RESULT (size $got_size, bytes around the match:$around)"
    status=1
  fi
done
rm -rf "$work/tree"
exit $status
