#!/bin/bash
# Hashing every file of the 100k-file bench volumes (MD5, SHA-1 and SHA-256
# in one read of each file, ls --hash, straight from the image) beside
# hashdeep -r over the same files exported to tmpfs, and the import of one
# million hash lines into a hash set. Every figure is the best of $RUNS
# warm runs (default 3); ratios above 1 mean we are faster.
# Usage: bench/hash_bench.sh [BUILD_DIR] [IMAGES_DIR]
#   IMAGES_DIR (default /tmp/bench) from shared/bench/make_bench_images.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
images=${2:-/tmp/bench}
cli=$build/src/delvora-cli
runs=${RUNS:-3}
work=/dev/shm/delvora-hash-bench
for tool in hashdeep python3 bc; do command -v $tool >/dev/null || { echo "missing $tool" >&2; exit 1; }; done
[ -x "$cli" ] || { echo "no $cli: build delvora-cli first" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# best COMMAND: the best wall seconds of $runs runs.
best() {
    local best=999999 t0 t1 t
    for _ in $(seq "$runs"); do
        t0=$(date +%s.%N)
        bash -c "$1" > /dev/null 2>&1
        t1=$(date +%s.%N)
        t=$(echo "$t1 - $t0" | bc -l)
        if (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
    done
    echo "$best"
}

for kind in fat32 ntfs; do
    image=$images/${kind}_100k.img
    [ -f "$image" ] || { echo "no $image: run make_bench_images.sh first" >&2; exit 1; }
    # The same files, deleted ones included, as the peer sees them.
    "$cli" export "$image" / -r --to "$work/$kind" --exclude-ext '' --ignore-prefix '' > /dev/null 2>&1 || true
    files=$(find "$work/$kind" -type f | wc -l)
    ours=$(best "'$cli' ls '$image' --hash md5,sha1,sha256")
    peer=$(best "hashdeep -r -c md5,sha1,sha256 '$work/$kind'")
    peak=$(/usr/bin/time -f %M "$cli" ls "$image" --hash md5,sha1,sha256 2>&1 >/dev/null | tail -1)
    printf '%-6s %6d files  ls --hash %7.2f s (peak %d KiB)  hashdeep on tmpfs %7.2f s  ratio %.2f x hashdeep\n' \
        "$kind" "$files" "$ours" "$peak" "$peer" "$(echo "$peer / $ours" | bc -l)"
    rm -rf "${work:?}/$kind"
done

# One million SHA-256 lines, md5sum style, into a fresh database each run.
python3 -c '
import hashlib, sys
out = sys.stdout
for i in range(1000000):
    out.write(hashlib.sha256(str(i).encode()).hexdigest() + "  file%d\n" % i)
' > "$work/million.txt"
import_t=$(best "rm -f '$work/sets.db'; '$cli' hashset import million '$work/million.txt' --known --hash-db '$work/sets.db'")
# CPU seconds as well: on a shared machine the wall time says more about the
# neighbours than about the import.
read -r peak cpu < <(rm -f "$work/sets.db"; /usr/bin/time -f '%M %U %S' "$cli" hashset import million \
    "$work/million.txt" --known --hash-db "$work/sets.db" 2>&1 >/dev/null | tail -1 | awk '{print $1, $2 + $3}')
printf 'import 1,000,000 lines  %.2f s  %.0f lines/s (target >= 200,000); %.2f CPU s, %.0f lines per CPU second;' \
    "$import_t" "$(echo "1000000 / $import_t" | bc -l)" "$cpu" "$(echo "1000000 / $cpu" | bc -l)"
printf '  peak %d KiB\n' "$peak"
