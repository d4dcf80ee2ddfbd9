#!/usr/bin/env bash
# Data safety of brennic-cli on real Linux objects, for the native program and for the .exe
# under Wine alike: links, permissions, hard links, a full disk (a small tmpfs) and a memory
# limit below the file size. Wine does not show a Unix link as a reparse point, so only a run
# against the real thing tells what the Windows build does with one.
#
#   data_safety_test.sh CLI          (CLI ending in .exe runs under Wine)
set -uo pipefail
cli=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/brennic-safety-XXXXXX)
mounted=""
cleanup() {
  [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
passed=0
failed=0
skipped=0

check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

# Runs the program on FOLDER and prints its summary line, in UTF-8.
run() {  # folder pattern find replace
  if [[ $cli == *.exe ]]; then
    "$here/../cmake/wine-run.sh" "$cli" "$(winepath -w "$1" 2>/dev/null)" "$2" "$3" "$4" 2>/dev/null |
      tr -d '\r' | iconv -f GBK -t UTF-8 | tail -n 1
  else
    "$cli" "$1" "$2" "$3" "$4" 2>/dev/null | tail -n 1
  fi
}
summary() {  # matched replaced places
  echo "替换完毕! 共搜索到文件 $1 个; 替换成功 $2 个文件;替换的地方达 $3 个!"
}
no_temporary_files() {
  [ -z "$(find "$@" -name '*brennic-*.tmp' -print -quit)" ]
}

# A link to a file in another folder: the target is rewritten, the link stays a link.
mkdir -p "$work/link/a" "$work/link/b"
printf 'old text' >"$work/link/b/real.txt"
ln -s ../b/real.txt "$work/link/a/link.txt"
out=$(run "$work/link/a" '*.txt' old new)
check "link: summary" [ "$out" = "$(summary 1 1 1)" ]
check "link: target rewritten" [ "$(cat "$work/link/b/real.txt")" = "new text" ]
check "link: still a link" [ -L "$work/link/a/link.txt" ]
check "link: same target" [ "$(readlink "$work/link/a/link.txt")" = "../b/real.txt" ]
check "link: no temporary file" no_temporary_files "$work/link"

# No write permission stands for read-only; more than one hard link is left alone too.
mkdir -p "$work/perm"
printf 'old' >"$work/perm/ro.txt"
chmod 444 "$work/perm/ro.txt"
printf 'old old' >"$work/perm/linked.txt"
ln "$work/perm/linked.txt" "$work/perm/other-name.dat"
out=$(run "$work/perm" '*.txt' old new)
check "permissions: summary" [ "$out" = "$(summary 2 0 3)" ]
check "read-only untouched" [ "$(cat "$work/perm/ro.txt")" = "old" ]
check "read-only keeps its mode" [ "$(stat -c %a "$work/perm/ro.txt")" = 444 ]
check "hard link untouched" [ "$(cat "$work/perm/linked.txt")" = "old old" ]
check "hard link still shared" [ "$(stat -c %h "$work/perm/linked.txt")" = 2 ]

# Names that code page 936 cannot hold, and a path over 1,000 characters: every file is
# treated, also when the folder given itself has such a name.
mkdir -p "$work/names/한국어" "$work/names/창"
printf 'old' >"$work/names/한국어/a.txt"
printf 'old' >"$work/names/café😀.txt"
printf 'old' >"$work/names/창/b.txt"
deep="$work/names"
for level in $(seq 0 49); do deep="$deep/深层目录-node_modules-$level"; done
mkdir -p "$deep"
printf 'old' >"$deep/deep.txt"
check "deep path over 1,000 characters" [ "$(printf '%s' "$deep/deep.txt" | wc -m)" -gt 1000 ]
out=$(run "$work/names" '*.txt' old new)
check "names: summary" [ "$out" = "$(summary 4 4 4)" ]
check "names: Korean" [ "$(cat "$work/names/한국어/a.txt")" = new ]
check "names: emoji" [ "$(cat "$work/names/café😀.txt")" = new ]
check "names: deep" [ "$(cat "$deep/deep.txt")" = new ]
printf 'old' >"$work/names/창/b.txt"
out=$(run "$work/names/창" '*.txt' old new)
check "names: a start folder outside the code page" [ "$out" = "$(summary 1 1 1)" ]
check "names: its file" [ "$(cat "$work/names/창/b.txt")" = new ]

# A full disk: the new content does not fit beside the old one. The old one stays whole.
if mkdir -p "$work/full" && mount -t tmpfs -o size=1m tmpfs "$work/full" 2>/dev/null; then
  mounted="$work/full"
  head -c 700000 /dev/zero | tr '\0' 'x' >"$work/full/big.txt"
  printf 'old' >>"$work/full/big.txt"
  cp "$work/full/big.txt" "$work/expected"
  out=$(run "$work/full" '*.txt' old new)
  check "full disk: summary" [ "$out" = "$(summary 1 0 1)" ]
  check "full disk: original whole" cmp -s "$work/full/big.txt" "$work/expected"
  check "full disk: no temporary file" no_temporary_files "$work/full"
  umount "$work/full" && mounted=""
else
  skipped=$((skipped + 1))
  echo "skipped: full disk (no permission to mount a tmpfs)"
fi

# Runs killed at random moments: every file holds its whole old or its whole new content,
# and a temporary file that outlives a kill is whole or empty: it has a name only for
# microseconds before its swap (Linux), or is marked for deletion from the microsecond after
# its creation until the swap (Windows), and a kill there leaves it as it was then.
mkdir -p "$work/kill/many"
head -c 100000 /dev/zero | tr '\0' 'x' >"$work/old.small"
printf 'old' >>"$work/old.small"
sed 's/old/new/' "$work/old.small" >"$work/new.small"
for i in $(seq 1 150); do cp "$work/old.small" "$work/kill/many/f$i.txt"; done
for i in $(seq 1 40000); do printf '%01000d old\n' 0; done >"$work/old.big"
sed 's/old/new/' "$work/old.big" >"$work/new.big"
cp "$work/old.big" "$work/kill/big.txt"
allowed=" $(md5sum <"$work/old.small" | cut -c1-32) $(md5sum <"$work/new.small" | cut -c1-32) $(md5sum <"$work/old.big" | cut -c1-32) $(md5sum <"$work/new.big" | cut -c1-32) "
new_sums=" $(md5sum <"$work/new.small" | cut -c1-32) $(md5sum <"$work/new.big" | cut -c1-32) "
whole=true
leftovers_whole=true
startup=0
[[ $cli == *.exe ]] && startup=0.4  # Wine's own start
for delay in 0.02 0.05 0.1 0.15 0.25 0.4; do
  if [[ $cli == *.exe ]]; then
    "$here/../cmake/wine-run.sh" "$cli" "$(winepath -w "$work/kill")" '*.txt' old new >/dev/null 2>&1 &
  else
    "$cli" "$work/kill" '*.txt' old new >/dev/null 2>&1 &
  fi
  victim=$!
  sleep "$(awk "BEGIN { print $startup + $delay }")"
  kill -9 "$victim" 2>/dev/null
  wait "$victim" 2>/dev/null
  while IFS= read -r -d '' file; do
    case "$file" in
      *brennic-*.tmp)
        # Wine's server removes a killed process's deletion-marked files when it notices.
        for _ in $(seq 30); do
          [ -e "$file" ] || break
          [[ $new_sums == *" $(md5sum <"$file" | cut -c1-32) "* ]] || [ ! -s "$file" ] && break
          sleep 0.1
        done
        sum=$(md5sum <"$file" 2>/dev/null | cut -c1-32)
        if [ -s "$file" ] && [[ $new_sums != *" $sum "* ]]; then
          leftovers_whole=false
          echo "a partial temporary file after a kill: $file ($(stat -c %s "$file") bytes," \
            "ends in '$(tail -c 8 "$file" | tr '\n' '|')')"
        fi
        rm -f "$file" ;;
      *)
        sum=$(md5sum <"$file" | cut -c1-32)
        [[ $allowed == *" $sum "* ]] || { whole=false; echo "half-written after a kill: $file"; } ;;
    esac
  done < <(find "$work/kill" -type f -print0)
done
check "killed runs: every file old or new, whole" $whole
check "killed runs: a temporary file left behind is whole or empty" $leftovers_whole
out=$(run "$work/kill" '*.txt' old new)
check "killed runs: a last run finishes the rest" [ "$(cat "$work/kill/many/f1.txt" "$work/kill/big.txt" | grep -c old)" = 0 ]

# A file larger than the memory the process may have (native: Wine itself needs more).
if [[ $cli != *.exe ]]; then
  mkdir -p "$work/mem"
  truncate -s 400M "$work/mem/dump.log"
  printf 'old' | dd of="$work/mem/dump.log" bs=1 seek=$((400 * 1024 * 1024 - 50)) conv=notrunc 2>/dev/null
  out=$( (ulimit -v 120000 && run "$work/mem" '*.log' old new))
  check "memory limit: summary" [ "$out" = "$(summary 1 1 1)" ]
  check "memory limit: replaced" [ "$(tail -c 50 "$work/mem/dump.log" | head -c 3)" = new ]
fi

echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
