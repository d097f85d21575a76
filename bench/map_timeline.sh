#!/usr/bin/env bash
# The disk map picture and the body file of a generated FAT32 volume (2 GiB,
# 100,000 files in 5,050 folders — the image fat_load.sh makes; and the
# NTFS image of ntfs_load.sh when it exists) against the
# volume's load time (`delvora-cli ls`), with the peers beside them: fsstat
# for the layout, fls -m for the body file. Page cache warm, best of RUNS.
#
# usage: bench/map_timeline.sh [BUILD_DIR]   (default: build)
# BENCH_DIR (default /tmp/delvora-bench) keeps the image between runs.
set -euo pipefail
export PATH="$PATH:/sbin:/usr/sbin"
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
cli="$build/src/delvora-cli"
dir=${BENCH_DIR:-/tmp/delvora-bench}
runs=${RUNS:-3}
mkdir -p "$dir"
[ -x "$cli" ] || { echo "no $cli: build delvora-cli first" >&2; exit 1; }
for tool in mkfs.fat fls fsstat python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

. "$here/fat32_image.sh"

# best of $runs: wall seconds
measure() {
    local best=""
    for _ in $(seq "$runs"); do
        /usr/bin/time -o "$dir/time.out" -f '%e' "$@" >/dev/null 2>/dev/null
        local wall
        wall=$(tail -1 "$dir/time.out")
        if [ -z "$best" ] || awk -v a="$wall" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$wall; fi
    done
    echo "$best"
}

# Per image: the load, the picture (layout only, then with a file's marks,
# which needs the whole tree), the body file, and the peers.
bench_image() {
    local image=$1 item load map mapItem body fsstat flsm lines
    cat "$image" >/dev/null  # warm the page cache
    # One file deep in the tree: its marks need the whole tree loaded.
    item=$("$cli" ls --json "$image" 2>/dev/null | awk -F'"path":"' 'NR==5000 {split($2, a, "\""); print a[1]}')
    load=$(measure "$cli" ls "$image")
    map=$(measure "$cli" map "$image" --png "$dir/map.png")
    mapItem=$(measure "$cli" map "$image" --item "$item" --png "$dir/map-item.png")
    body=$(measure "$cli" timeline --bodyfile "$image")
    fsstat=$(measure fsstat "$image")
    flsm=$(measure fls -r -m / "$image")
    lines=$("$cli" timeline --bodyfile "$image" 2>/dev/null | wc -l)
    awk -v name="$(basename "$image")" -v load="$load" -v map="$map" -v mi="$mapItem" -v body="$body" \
        -v fsstat="$fsstat" -v flsm="$flsm" -v lines="$lines" 'BEGIN {
        printf "%s: %d body-file lines\n", name, lines
        printf "  delvora-cli ls (load)  : %6.2f s\n", load
        printf "  map --png              : %6.2f s  %.2f x load (target <= 2)   fsstat %.2f s\n", map, map / load, fsstat
        printf "  map --item --png       : %6.2f s  %.2f x load (target <= 2)\n", mi, mi / load
        printf "  timeline --bodyfile    : %6.2f s  %.2f x load (target <= 2)   fls -r -m %.2f s, ours/fls %.2f\n",
               body, body / load, flsm, (flsm > 0 ? body / flsm : 0)
    }'
}

bench_image "$image"
# The NTFS image bench/ntfs_load.sh makes, when it is there.
[ -s "$dir/ntfs-100k.img" ] && bench_image "$dir/ntfs-100k.img"
exit 0
