#!/bin/bash
# Whole-process timing of the residual searches and the carver on generated
# 2 GiB volumes, beside a raw sequential read of the same image (cat) and
# beside photorec and foremost carving the same raw image. Each volume gets
# 200 MiB of files, a folder whose entry is wiped (FAT), and 20 web pages
# (attributes on the tag) and 20 compound documents written into free space
# at sector offsets. Images live in tmpfs; every figure is the best of three
# warm runs; "exact" counts the planted files a tool gave back byte for byte.
# Usage: bench/residual_bench.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
export PATH="$PATH:/sbin:/usr/sbin"
export MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
work=${2:-/dev/shm/delvora-residual-bench}
cli=$build/src/delvora-cli
mkdir -p "$work"
cd "$work"
work=$(pwd)  # a SOURCE must be a path beginning with '/'
size=$((2048 * 1024 * 1024))

make_content() {
    [ -d files ] && return
    mkdir -p files/sub
    for i in $(seq 1 50); do head -c $((4 * 1024 * 1024)) /dev/urandom > "files/sub/data$i.bin"; done
    mkdir -p planted
    for i in $(seq 1 20); do
        { printf '<html lang="en" class="p%d"><head><title>Page %d</title></head><body>' "$i" "$i"
          head -c $((i * 3000)) /dev/urandom | base64 -w 100
          printf '</body></html>'; } > "planted/page$i.htm"
        python3 "$here/../sample/make-ole-doc" "planted/doc$i.doc" "Report $i" $((16 + i * 4))
    done
}

plant() {  # the planted files at sector offsets in the last 64 MiB
    local sector=$(( size / 512 - 131072 ))
    for f in planted/*; do
        dd if="$f" of="$1" bs=512 seek="$sector" conv=notrunc status=none
        sector=$(( sector + ($(stat -c %s "$f") + 511) / 512 + 7 ))
    done
}

make_content
if [ ! -f fat32.img ]; then
    mkfs.fat -C -F 32 fat32.img $((size / 1024)) > /dev/null
    mcopy -s -i fat32.img files/sub ::/
    mmd -i fat32.img ::/LOST
    mcopy -i fat32.img files/sub/data1.bin ::/LOST/
    python3 - fat32.img <<'WIPE'
import sys
with open(sys.argv[1], "r+b") as f:
    data = f.read(64 << 20)
    at = data.find(b"LOST       \x10")
    f.seek(at)
    f.write(bytes(32))
WIPE
    plant fat32.img
fi
if [ ! -f ntfs.img ]; then
    truncate -s "$size" ntfs.img
    mkntfs -Q -F -q ntfs.img > /dev/null 2>&1
    for f in files/sub/*; do ntfscp -f ntfs.img "$f" "$(basename "$f")" > /dev/null 2>&1; done
    plant ntfs.img
fi
if [ ! -f ext2.img ]; then
    mke2fs -q -F -t ext2 -d files ext2.img $((size / 1024)) > /dev/null 2>&1
    for i in $(seq 1 10); do debugfs -w -R "rm /sub/data$i.bin" ext2.img > /dev/null 2>&1; done
fi

best() {  # best of three runs of a shell command: "wall cpu" seconds (cpu = user + system)
    local best=999999 cpu=0 line w u k
    for _ in 1 2 3; do
        rm -rf out && mkdir out
        line=$( { TIMEFORMAT='%R %U %S'; time bash -c "$1" > /dev/null 2>/dev/null; } 2>&1 | tail -1) || true
        read -r w u k <<< "$line"
        if (( $(echo "$w < $best" | bc -l) )); then best=$w; cpu=$(echo "$u + $k" | bc -l); fi
    done
    echo "$best $cpu"
}

exact() {  # how many planted files lie byte for byte somewhere below folder $1
    local n=0 sums
    sums=$(find "$1" -type f -exec sha256sum {} + 2>/dev/null | cut -d' ' -f1 | sort -u)
    for f in planted/*; do
        grep -q "$(sha256sum "$f" | cut -d' ' -f1)" <<< "$sums" && n=$((n + 1))
    done
    echo "$n"
}

# The machine may be shared: wall times are given with the CPU time that
# each process spent, whose ratio does not depend on the others' load.
ratio() { echo "$1 / $2" | bc -l; }
echo "residual search (ls --residual, load included) beside cat IMG >/dev/null, 2 GiB volumes:"
for img in fat32 ntfs ext2; do
    read -r raw rawc <<< "$(best "cat $work/$img.img")"
    read -r ours oursc <<< "$(best "$cli ls $work/$img.img --residual")"
    printf '  %-6s ours %.3f s (cpu %.3f s)  cat %.3f s (cpu %.3f s)  rate %.2f x raw read (cpu %.2f x)\n' "$img" \
        "$ours" "$oursc" "$raw" "$rawc" "$(ratio "$raw" "$ours")" "$(ratio "$rawc" "$oursc")"
done

echo "carving the raw FAT32 image (20 pages, 20 documents planted):"
planted=$(ls planted | wc -l)
read -r ours oursc <<< "$(best "$cli carve $work/fat32.img --raw --html --doc --to $work/out/c")"
rm -rf ours && "$cli" carve "$work/fat32.img" --raw --html --doc --to "$work/ours" > /dev/null 2>&1 || true
pcmd="partition_none,fileopt,everything,disable,doc,enable,txt,enable,search"
read -r pr prc <<< "$(best "photorec /log /d $work/out/pr /cmd $work/fat32.img $pcmd")"
rm -rf pr && mkdir -p pr && photorec /d "$work/pr/r" /cmd "$work/fat32.img" "$pcmd" > /dev/null 2>&1 || true
read -r fm fmc <<< "$(best "foremost -Q -t htm,ole -i $work/fat32.img -o $work/out/fm")"
rm -rf fm && foremost -Q -t htm,ole -i "$work/fat32.img" -o "$work/fm" > /dev/null 2>&1 || true
printf '  delvora carve  %.3f s (cpu %.3f s)  exact %d/%d\n' "$ours" "$oursc" "$(exact ours)" "$planted"
printf '  photorec       %.3f s (cpu %.3f s)  exact %d/%d  ours %.2f x faster (cpu %.2f x)\n' "$pr" "$prc" \
    "$(exact pr)" "$planted" "$(ratio "$pr" "$ours")" "$(ratio "$prc" "$oursc")"
printf '  foremost       %.3f s (cpu %.3f s)  exact %d/%d  ours %.2f x faster (cpu %.2f x)\n' "$fm" "$fmc" \
    "$(exact fm)" "$planted" "$(ratio "$fm" "$ours")" "$(ratio "$fmc" "$oursc")"
rm -rf ours pr fm out
