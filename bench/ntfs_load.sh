#!/bin/sh
# Loads an NTFS volume of 100,000+ files and compares the whole-process wall
# time and peak memory with `fls -r -p` on the same image (page cache warm).
# Usage: bench/ntfs_load.sh [BUILD_DIR] [IMAGE]
#   BUILD_DIR  a build configured with -DDELVORA_BUILD_BENCH=ON (default build-bench)
#   IMAGE      reused when it exists; else made with mkntfs and an ntfs-3g mount
set -eu
build=${1:-build-bench}
image=${2:-/tmp/delvora-bench/ntfs-100k.img}
folders=${FOLDERS:-1000}
per=${PER_FOLDER:-100}

if [ ! -f "$image" ]; then
    mkdir -p "$(dirname "$image")"
    echo "making $image: $folders folders x $per files"
    truncate -s 1G "$image.tmp"
    mkntfs -Q -F -s 512 -c 4096 "$image.tmp" >/dev/null
    mnt=$(mktemp -d)
    ntfs-3g -o big_writes "$image.tmp" "$mnt"
    trap 'fusermount -u "$mnt" 2>/dev/null || true; rmdir "$mnt" 2>/dev/null || true' EXIT
    i=0
    # One folder per pass; the count bounds the loop.
    while [ "$i" -lt "$folders" ]; do
        mkdir "$mnt/folder_$i"
        (cd "$mnt/folder_$i" && touch $(seq -f "file_%g.txt" 1 "$per") && echo "$i" > "file_1.txt")
        i=$((i + 1))
    done
    fusermount -u "$mnt"
    rmdir "$mnt"
    trap - EXIT
    mv "$image.tmp" "$image"
fi

bench="$build/bench/ntfs_load_bench"
[ -x "$bench" ] || { echo "build $bench first (ninja -C $build ntfs_load_bench)"; exit 2; }

# Best of three runs of a command: prints "seconds peak_kib".
measure() {
    best=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %M" -o "$timing" "$@" >/dev/null 2>&1
        out=$(tail -1 "$timing")
        s=${out% *}
        if [ -z "$best" ] || [ "$(echo "$s < ${best% *}" | bc)" = 1 ]; then best=$out; fi
    done
    echo "$best"
}

timing=$(mktemp)
trap 'rm -f "$timing"' EXIT
fls -r -p "$image" >/dev/null  # warm the page cache
ours=$(measure "$bench" --load "$image")
peer=$(measure fls -r -p "$image")
items=$("$bench" --load "$image")
echo "items loaded:          $items"
echo "delvora load:          ${ours% *} s, peak ${ours#* } KiB"
echo "fls -r -p:             ${peer% *} s, peak ${peer#* } KiB"
echo "time ratio (ours/fls): $(echo "scale=3; ${ours% *} / ${peer% *}" | bc)"
echo "memory ratio:          $(echo "scale=3; ${ours#* } / ${peer#* }" | bc)"
