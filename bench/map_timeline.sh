#!/usr/bin/env bash
# The disk map picture and the body file of a generated FAT32 volume (2 GiB,
# 100,000 files in 5,050 folders — the image fat_load.sh makes; and the
# NTFS image of ntfs_load.sh when it exists) against the
# volume's load time (`delvora-cli ls`), with the peers beside them: fsstat
# for the layout, fls -m for the body file. Page cache warm, best of RUNS.
#
# usage: bench/map_timeline.sh [BUILD_DIR]   (default: build)
# BENCH_DIR (default /tmp/delvora-bench) keeps the image between runs.
. "$(dirname "$0")/common.sh"
need_tools mkfs.fat fls fsstat python3 /usr/bin/time

. "$here/fat32_image.sh"

# best of $runs: wall seconds
wall() { local w _; read -r w _ < <(measure "$@"); echo "$w"; }

# Per image: the load, the picture (layout only, then with a file's marks,
# which needs the whole tree), the body file, and the peers.
bench_image() {
    local image=$1 item load map mapItem body fsstat flsm lines
    cat "$image" >/dev/null  # warm the page cache
    # One file deep in the tree: its marks need the whole tree loaded.
    item=$("$cli" ls --json "$image" 2>/dev/null | awk -F'"path":"' 'NR==5000 {split($2, a, "\""); print a[1]}')
    load=$(wall "$cli" ls "$image")
    map=$(wall "$cli" map "$image" --png "$dir/map.png")
    mapItem=$(wall "$cli" map "$image" --item "$item" --png "$dir/map-item.png")
    body=$(wall "$cli" timeline --bodyfile "$image")
    fsstat=$(wall fsstat "$image")
    flsm=$(wall fls -r -m / "$image")
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
