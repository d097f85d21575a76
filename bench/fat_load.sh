#!/usr/bin/env bash
# Loads a generated FAT32 image (2 GiB, 100,000 files in 5,050 folders) with
# `delvora-cli ls` and with `fls -r -p`, page cache warm, and prints wall
# time and peak memory of both and their ratio.
#
# usage: bench/fat_load.sh [BUILD_DIR]   (default: build)
# BENCH_DIR (default /tmp/delvora-bench) keeps the image between runs.
. "$(dirname "$0")/common.sh"
need_tools mkfs.fat fls python3 /usr/bin/time

. "$here/fat32_image.sh"
items=$((50 + 50 * 100 + 50 * 100 * 20))
cat "$image" >/dev/null  # warm the page cache

read -r ours_wall ours_rss < <(measure "$cli" ls "$image")
read -r fls_wall fls_rss < <(measure fls -r -p "$image")
# What the program holds with an empty tree, to tell the per-item cost.
small="$dir/fat32-empty.img"
[ -s "$small" ] || { truncate -s 64M "$small"; mkfs.fat -F 32 "$small" >/dev/null; }
read -r _ base_rss < <(measure "$cli" ls "$small")

rows=$("$cli" ls "$image" 2>/dev/null | wc -l)
awk -v ow="$ours_wall" -v orss="$ours_rss" -v fw="$fls_wall" -v frss="$fls_rss" -v base="$base_rss" \
    -v items="$items" -v rows="$rows" 'BEGIN {
    printf "items: %d (listed rows incl. heading: %d)\n", items, rows
    printf "delvora-cli ls : %6.2f s  peak %7d KiB\n", ow, orss
    printf "fls -r -p      : %6.2f s  peak %7d KiB\n", fw, frss
    printf "time ratio ours/fls: %.2f (target <= 0.1)\n", (fw > 0 ? ow / fw : 0)
    printf "memory per item: %.0f bytes whole process, %.0f bytes above an empty volume (target <= 150)\n",
           orss * 1024 / items, (orss - base) * 1024 / items
}'
