#!/usr/bin/env bash
# Times brennic-cli against sed -i, perl -0777 -pi, sd -s and two floors on three generated
# corpora, in one run: the copy floor (stream each matching file through a 1 MiB buffer into a
# new file beside it and rename it over the original: the least a safe rewrite must do) and
# the in-place floor (read each file whole, write it back whole). Each tool starts from a
# fresh copy of the corpus, synced to the disk before the clock starts. Prints each time, its
# ratio to the copy floor and to the in-place floor, and brennic-cli's peak memory.
#
#   bash bench/compare.sh [WORKDIR]      (default: build/bench/corpora; needs ~2.5 GB free)
#   BRENNIC_BENCH_REPEAT=3               best of N runs per tool (default 3)
#   BRENNIC_BENCH_FLUSH=1                also time brennic-cli --flush
#   BRENNIC_BENCH_CORPORA="big dense"    only these corpora
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build/bench/corpora}
repeat=${BRENNIC_BENCH_REPEAT:-3}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
cli=$PWD/build/bench/bin/brennic-cli
floor=$PWD/build/bench/bench/io_floor
copy_floor=$PWD/build/bench/bench/copy_floor
mkdir -p "$work"
work=$(cd "$work" && pwd)

make_corpora() {
  python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
random.seed(1)
line = b"the quick brown fox jumps over the lazy dog 0123456789 "
def filler(n):
    reps = n // len(line) + 1
    return (line * reps)[:n]
# 1: 20,000 small files (about 4 KB each) in 400 folders, a match every ~1 KB.
small = os.path.join(work, "small.pristine")
if not os.path.isdir(small):
    for d in range(400):
        folder = os.path.join(small, "d%03d" % (d // 20), "s%03d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(50):
            body = b"".join(filler(random.randint(900, 1100)) + b"needle" for _ in range(4))
            with open(os.path.join(folder, "f%02d.txt" % f), "wb") as out:
                out.write(body)
# 2: one 512 MB file with a match every ~1 KB.   3: one 64 MB file with a match every 16 bytes.
for name, size, spacing in (("big", 512 << 20, 1024), ("dense", 64 << 20, 16)):
    folder = os.path.join(work, name + ".pristine")
    if os.path.isdir(folder):
        continue
    os.makedirs(folder)
    chunk = filler(spacing - 6) + b"needle"
    block = chunk * ((1 << 20) // len(chunk) + 1)
    with open(os.path.join(folder, "data.txt"), "wb") as out:
        written = 0
        while written < size:
            piece = block[: min(len(block), size - written)]
            out.write(piece)
            written += len(piece)
PY
}

restore() {  # corpus
  rm -rf "$work/$1.run"
  cp -a "$work/$1.pristine" "$work/$1.run"
  sync
}

best_time() {  # corpus command...
  local corpus=$1; shift
  local best=""
  for _ in $(seq "$repeat"); do
    restore "$corpus"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(python3 -c "import sys; t=$end-$start; b='$best'; print(t if not b or t<float(b) else b)")
  done
  echo "$best"
}

tool_brennic() { "$cli" "$1" '*.txt' needle thread; }
tool_brennic_flush() { "$cli" --flush "$1" '*.txt' needle thread; }
tool_floor() { "$floor" "$1" '*.txt'; }
tool_copy_floor() { "$copy_floor" "$1" '*.txt'; }
tool_sed() { find "$1" -name '*.txt' -type f -exec sed -i 's/needle/thread/g' {} +; }
tool_perl() { find "$1" -name '*.txt' -type f -exec perl -0777 -pi -e 's/needle/thread/g' {} +; }
tool_sd() { find "$1" -name '*.txt' -type f -exec sd -s needle thread {} +; }

make_corpora
tools=(copy_floor floor brennic sed perl sd)
[ "${BRENNIC_BENCH_FLUSH:-0}" = 1 ] && tools+=(brennic_flush)
printf '%-8s %-14s %10s %8s %8s\n' corpus tool seconds /copy /inplace
for corpus in ${BRENNIC_BENCH_CORPORA:-small big dense}; do
  copy_time=""
  inplace_time=""
  for tool in "${tools[@]}"; do
    t=$(best_time "$corpus" "tool_$tool" "$work/$corpus.run")
    [ -z "$copy_time" ] && copy_time=$t
    [ "$tool" = floor ] && inplace_time=$t
    printf '%-8s %-14s %10.3f %7.2fx %7.2fx\n' "$corpus" "$tool" "$t" \
      "$(python3 -c "print($t/$copy_time)")" "$(python3 -c "print($t/${inplace_time:-$t})")"
  done
  # Peak resident memory of one brennic-cli run (kilobytes, from the kernel's accounting).
  restore "$corpus"
  peak=$(/usr/bin/time -f %M "$cli" "$work/$corpus.run" '*.txt' needle thread 2>&1 >/dev/null | tail -n 1)
  echo "$corpus: brennic-cli peak memory $((peak / 1024)) MiB"
  # The result must be right, not only fast: brennic's output equals sed's.
  restore "$corpus"; tool_brennic "$work/$corpus.run" >/dev/null
  mv "$work/$corpus.run" "$work/$corpus.brennic"
  restore "$corpus"; tool_sed "$work/$corpus.run"
  diff -r -q "$work/$corpus.brennic" "$work/$corpus.run" >/dev/null && echo "$corpus: brennic-cli output equals sed's" || echo "$corpus: OUTPUTS DIFFER"
  rm -rf "$work/$corpus.brennic" "$work/$corpus.run"
done
