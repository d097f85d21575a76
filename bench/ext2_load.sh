#!/bin/bash
# Whole-process load of an ext2 image with 100,000 files (1,000 folders of
# 100), beside `fls -r -p` on the same image: wall time, peak memory, ratio.
# Usage: bench/ext2_load.sh [BUILD_DIR]   (built with -DDELVORA_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
bench="$build/bench/ext2_load_bench"
work=${DELVORA_BENCH_DIR:-/dev/shm/delvora-ext2-bench}
image="$work/ext2-100k.img"
[ -x "$bench" ] || { echo "missing $bench (configure with -DDELVORA_BUILD_BENCH=ON)" >&2; exit 2; }
mkdir -p "$work"
if [ ! -f "$image" ]; then
    python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(1000):
    folder = os.path.join(root, "dir%04d" % d)
    os.makedirs(folder, exist_ok=True)
    for f in range(100):
        with open(os.path.join(folder, "file%03d.txt" % f), "w") as out:
            out.write("x" * ((d * 100 + f) % 3000))
PY
    mke2fs -q -t ext2 -b 4096 -N 120000 -d "$work/tree" -F "$image" 1G
    rm -rf "$work/tree"
fi

# Best of three runs each, page cache warm: "seconds kilobytes".
measure() {
    local best="" line
    "$@" > /dev/null 2>&1
    for _ in 1 2 3; do
        /usr/bin/time -o "$work/time.out" -f "%e %M" "$@" > /dev/null 2>&1
        line=$(tail -1 "$work/time.out")
        if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then best=$line; fi
    done
    echo "$best"
}

files=$(fls -r -p "$image" | grep -c '^r/r')
peer=$(measure fls -r -p "$image")
ours=$(DELVORA_EXT2_IMAGE="$image" DELVORA_BENCH_ITERATIONS=1 measure "$bench")
read -r peer_s peer_kb <<< "$peer"
read -r ours_s ours_kb <<< "$ours"
echo "files: $files"
echo "fls -r -p : ${peer_s} s, ${peer_kb} KiB peak"
echo "delvora   : ${ours_s} s, ${ours_kb} KiB peak"
awk -v a="$ours_s" -v b="$peer_s" -v c="$ours_kb" -v d="$peer_kb" \
    'BEGIN{ if (b > 0) printf "time ratio ours/fls: %.2f\n", a/b; printf "memory ratio ours/fls: %.2f\n", c/d }'
