#!/usr/bin/env bash
# Loads an exFAT image (2 GiB, 100,000 files in 1,000 folders of 100, filled
# through exfat-fuse on a loop device: needs root) with `delvora-cli ls` and
# with `fls -r -p`, page cache warm, and prints wall time and peak memory of
# both, their ratio and the memory per item above an empty volume.
#
# usage: bench/exfat_load.sh [BUILD_DIR]   (default: build)
# BENCH_DIR (default /tmp/delvora-bench) keeps the image between runs.
. "$(dirname "$0")/common.sh"
need_tools mkfs.exfat mount.exfat-fuse losetup fls /usr/bin/time

image="$dir/exfat-100k.img"
items=$((1000 + 1000 * 100))
if [ ! -s "$image" ]; then
    tree="$dir/exfat-tree"
    rm -rf "$tree"
    for ((d = 0; d < 1000; d++)); do
        folder=$(printf '%s/dir%04d' "$tree" "$d")
        mkdir -p "$folder"
        (cd "$folder" && for ((f = 0; f < 100; f++)); do printf 'file %d of folder %d\n' "$f" "$d" > "$(printf 'file%03d.txt' "$f")"; done)
    done
    truncate -s 2G "$image.part"
    # 4 KiB clusters: one a file, 524,288 of them.
    mkfs.exfat -c 4096 "$image.part" >/dev/null
    loop=$(losetup -f --show "$image.part")
    mnt="$dir/exfat-mnt"
    mkdir -p "$mnt"
    trap 'mountpoint -q "$mnt" && umount "$mnt"; losetup -d "$loop" 2>/dev/null || true' EXIT
    mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1
    cp -r "$tree/." "$mnt/"
    umount "$mnt"
    losetup -d "$loop"
    trap - EXIT
    rm -rf "$tree"
    mv "$image.part" "$image"
fi
cat "$image" >/dev/null  # warm the page cache

read -r ours_wall ours_rss < <(measure "$cli" ls "$image")
read -r fls_wall fls_rss < <(measure fls -r -p "$image")
# What the program holds with an empty tree, to tell the per-item cost.
small="$dir/exfat-empty.img"
[ -s "$small" ] || { truncate -s 2G "$small"; mkfs.exfat -c 4096 "$small" >/dev/null; }
read -r _ base_rss < <(measure "$cli" ls "$small")

rows=$("$cli" ls "$image" 2>/dev/null | wc -l)
awk -v ow="$ours_wall" -v orss="$ours_rss" -v fw="$fls_wall" -v frss="$fls_rss" -v base="$base_rss" \
    -v items="$items" -v rows="$rows" 'BEGIN {
    printf "items: %d (listed rows incl. heading: %d)\n", items, rows
    printf "delvora-cli ls : %6.2f s  peak %7d KiB\n", ow, orss
    printf "fls -r -p      : %6.2f s  peak %7d KiB\n", fw, frss
    printf "time ratio ours/fls: %.3f (target <= 0.1)\n", (fw > 0 ? ow / fw : 0)
    printf "memory per item: %.0f bytes whole process, %.0f bytes above an empty volume (target <= 100)\n",
           orss * 1024 / items, (orss - base) * 1024 / items
}'
