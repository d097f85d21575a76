#!/bin/bash
# Loads of the 100,000-file bench volumes beside `fls -r -p`: for FAT32, NTFS
# and EXT2 the wall time of `delvora-cli ls` and of fls, $RUNS paired runs
# taken alternately (ours, then the peer) with the page cache warm, their
# min/median/max and the ratio of the medians, the same for CPU seconds (user
# + system, steadier than wall time when other work shares the machine);
# then the peak memory per item of each load above an empty run (ls of a
# tiny FAT volume).
# Usage: bench/load_table.sh [BUILD_DIR]
#   BENCH_IMAGES  the folder with fat32_100k.img, ntfs_100k.img, ext2_100k.img
#                 (default /tmp/bench; made by the shared bench image script)
#   RUNS          paired runs per volume (default 5)
RUNS=${RUNS:-5}
source "$(dirname "$0")/common.sh"
images=${BENCH_IMAGES:-/tmp/bench}
need_tools fls mkfs.fat awk

kinds=(FAT32 NTFS EXT2)
files=(fat32_100k.img ntfs_100k.img ext2_100k.img)
targets=(0.08 0.12 0.3)
for f in "${files[@]}"; do
    [ -r "$images/$f" ] || { echo "no $images/$f: make the bench images first" >&2; exit 1; }
done

# The empty run: the program and its libraries with a volume of no files.
tiny="$dir/load-table-empty.img"
if [ ! -f "$tiny" ]; then
    truncate -s 8M "$tiny.tmp"
    mkfs.fat "$tiny.tmp" >/dev/null
    mv "$tiny.tmp" "$tiny"
fi
empty_rss=()
for _ in $(seq "$runs"); do
    read -r _ _ rss < <(run_once "$cli" ls "$tiny")
    empty_rss+=("$rss")
done
read -r empty _ _ < <(min_median_max "${empty_rss[@]}")

printf '%-22s %-26s %-26s %-7s %s\n' "task" "ours min/median/max (s)" "fls -r -p min/median/max" "ratio" "target"
memory=() cpu_rows=()
for i in "${!kinds[@]}"; do
    image="$images/${files[$i]}"
    cat "$image" >/dev/null  # warm the page cache
    ours=() peer=() ours_cpu=() peer_cpu=() rsses=()
    for _ in $(seq "$runs"); do
        read -r wall cpu rss < <(run_once "$cli" ls "$image")
        ours+=("$wall")
        ours_cpu+=("$cpu")
        rsses+=("$rss")
        read -r wall cpu _ < <(run_once fls -r -p "$image")
        peer+=("$wall")
        peer_cpu+=("$cpu")
    done
    read -r omin omed omax < <(min_median_max "${ours[@]}")
    read -r pmin pmed pmax < <(min_median_max "${peer[@]}")
    ratio=$(awk -v a="$omed" -v b="$pmed" 'BEGIN { printf "%.3f", a / b }')
    printf '%-22s %-26s %-26s %-7s <= %s\n' "load ${kinds[$i]} (ls)" "$omin/$omed/$omax" "$pmin/$pmed/$pmax" \
        "$ratio" "${targets[$i]}"
    read -r omin omed omax < <(min_median_max "${ours_cpu[@]}")
    read -r pmin pmed pmax < <(min_median_max "${peer_cpu[@]}")
    ratio=$(awk -v a="$omed" -v b="$pmed" 'BEGIN { printf "%.3f", a / b }')
    cpu_rows+=("$(printf '%-22s %-26s %-26s %-7s <= %s' "cpu ${kinds[$i]} (ls)" "$omin/$omed/$omax" \
        "$pmin/$pmed/$pmax" "$ratio" "${targets[$i]}")")
    # Items: the rows of the listing, its heading left out.
    items=$("$cli" ls "$image" 2>/dev/null | tail -n +2 | wc -l)
    read -r _ rss _ < <(min_median_max "${rsses[@]}")
    memory+=("$(awk -v k="${kinds[$i]}" -v r="$rss" -v e="$empty" -v n="$items" \
        'BEGIN { printf "%s %.0f B (%.1f MiB, %d items)", k, (r - e) * 1024 / n, r / 1024, n }')")
done
printf '%s\n' "${cpu_rows[@]}"
printf 'peak memory per item above an empty run (%.1f MiB), target <= 80 B:\n' "$(awk -v e="$empty" 'BEGIN { print e / 1024 }')"
printf '  %s\n' "${memory[@]}"
