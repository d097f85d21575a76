#!/bin/sh
# Reads one 1 GiB file of an NTFS volume and compares the whole-process wall
# time with `icat` on the same image (page cache warm).
# Usage: bench/ntfs_read.sh [BUILD_DIR] [IMAGE]
set -eu
build=${1:-build-bench}
image=${2:-/tmp/delvora-bench/ntfs-1g.img}
bench="$build/bench/ntfs_load_bench"
[ -x "$bench" ] || { echo "build $bench first (ninja -C $build ntfs_load_bench)"; exit 2; }

if [ ! -f "$image" ]; then
    mkdir -p "$(dirname "$image")"
    head -c 1073741824 /dev/urandom > "$image.data"
    truncate -s 1200M "$image.tmp"
    mkntfs -Q -F -s 512 -c 4096 "$image.tmp" >/dev/null 2>&1
    ntfscp -q "$image.tmp" "$image.data" big.bin
    rm -f "$image.data"
    mv "$image.tmp" "$image"
fi
inode=$(ifind -n big.bin "$image")
timing=$(mktemp)
trap 'rm -f "$timing"' EXIT

best() {
    b=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%e" -o "$timing" "$@" >/dev/null 2>&1
        s=$(tail -1 "$timing")
        if [ -z "$b" ] || [ "$(echo "$s < $b" | bc)" = 1 ]; then b=$s; fi
    done
    echo "$b"
}

[ "$("$bench" --read "$image" big.bin | md5sum)" = "$(icat "$image" "$inode" | md5sum)" ] || \
    { echo "contents differ"; exit 1; }
ours=$(best "$bench" --read "$image" big.bin)
peer=$(best icat "$image" "$inode")
echo "delvora read 1 GiB:     $ours s ($(echo "scale=2; 1.073741824 / $ours" | bc) GB/s)"
echo "icat:                   $peer s ($(echo "scale=2; 1.073741824 / $peer" | bc) GB/s)"
echo "speed ratio (ours/icat): $(echo "scale=3; $peer / $ours" | bc)"
