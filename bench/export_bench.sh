#!/bin/bash
# Whole-process timing of recovery against The Sleuth Kit on generated FAT32
# images: one 1 GiB file (cat and export beside icat) and 10,000 small files in
# 100 folders (export -r beside tsk_recover -e). Images and outputs live in
# tmpfs; every figure is the best of three warm runs.
# Usage: bench/export_bench.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
work=${2:-/dev/shm/delvora-export-bench}
cli=$build/src/delvora-cli
mkdir -p "$work"
cd "$work"
work=$(pwd)  # a SOURCE must be a path beginning with '/' (else it is a device name)

dir=$work
. "$here/fat32_big_file.sh"
if [ ! -f small.img ]; then
    rm -rf small && mkdir small
    for d in $(seq 1 100); do
        mkdir "small/dir$d"
        for f in $(seq 1 100); do head -c $(( (d * 131 + f * 977) % 8192 + 1 )) /dev/urandom > "small/dir$d/file$f.dat"; done
    done
    mkfs.fat -C -F 32 small.img 200000 > /dev/null
    mcopy -s -i small.img small/* ::/
    rm -rf small
fi

# Best wall time of three runs of a shell command, in seconds.
best() {
    local best=999999 t0 t1 t
    for _ in 1 2 3; do
        rm -rf out && mkdir out
        t0=$(date +%s.%N)
        bash -c "$1" > /dev/null 2>&1
        t1=$(date +%s.%N)
        t=$(echo "$t1 - $t0" | bc -l)
        if (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
    done
    echo "$best"
}

peak_kib() { /usr/bin/time -f %M bash -c "$1" 2>&1 >/dev/null | tail -1; }

inode=$(fls -f fat "$big_image" | awk -F'[ :\t]+' '/big.bin/ {print $2; exit}')
gib=1.073741824
ours_cat=$(best "$cli cat $big_image /big.bin > /dev/null")
ours_exp=$(best "$cli export $big_image /big.bin --to out")
icat_t=$(best "icat -f fat $big_image $inode > out/big.bin")
icat_null=$(best "icat -f fat $big_image $inode > /dev/null")
printf '1 GiB file   cat>/dev/null %.3f s (%.2f GB/s)  icat>/dev/null %.3f s (%.2f GB/s)  ratio %.2f x icat\n' \
    "$ours_cat" "$(echo "$gib / $ours_cat" | bc -l)" "$icat_null" "$(echo "$gib / $icat_null" | bc -l)" \
    "$(echo "$icat_null / $ours_cat" | bc -l)"
printf '1 GiB file   export        %.3f s (%.2f GB/s)  icat>tmpfs     %.3f s (%.2f GB/s)  ratio %.2f x icat\n' \
    "$ours_exp" "$(echo "$gib / $ours_exp" | bc -l)" "$icat_t" "$(echo "$gib / $icat_t" | bc -l)" \
    "$(echo "$icat_t / $ours_exp" | bc -l)"

ours_small=$(best "$cli export $work/small.img / --to out -r --exclude-ext '' --ignore-prefix ''")
tsk_small=$(best "tsk_recover -e -f fat small.img out")
printf '10,000 files export -r     %.3f s  tsk_recover -e %.3f s  time ratio %.2f (target <= 0.5)\n' \
    "$ours_small" "$tsk_small" "$(echo "$ours_small / $tsk_small" | bc -l)"
if [ -x /usr/bin/time ]; then
    rm -rf out && mkdir out
    echo "peak memory: export -r $(peak_kib "$cli export $work/small.img / --to out -r") KiB," \
         "cat 1 GiB $(peak_kib "$cli cat $big_image /big.bin") KiB"
fi
rm -rf out
