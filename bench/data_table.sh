#!/usr/bin/env bash
# The data path beside its peers on the 100,000-file bench volumes (2 GiB
# FAT32, NTFS and ext2, 5,110 folders; NTFS and ext2 hold
# "Large Files/big_1g.bin"): cat of the 1 GiB file beside icat, export of
# every FAT32 file to tmpfs beside tsk_recover -e, the NTFS residual search
# with pages and documents carved beside a raw read of the image, and cat
# and ls through a loopback delvora-serve beside the same local runs.
# RUNS (default 5) paired runs each, ours and the peer alternating; page
# cache warm. Prints min/median/max wall seconds of each side and of the
# per-pair ratio.
#
# usage: bench/data_table.sh [BUILD_DIR]   (default: build)
# BENCH_IMAGES (default /tmp/bench) holds the images; they are only read.
# SCRATCH (default /dev/shm/delvora-data-table) takes the exports.
# TABLE_HEADER=0 leaves the header out (bench/limits.sh prints one).
RUNS=${RUNS:-5}
. "$(dirname "$0")/common.sh"
. "$here/paired.sh"
need_tools icat fls tsk_recover nbdkit python3 awk
images=${BENCH_IMAGES:-/tmp/bench}
scratch=${SCRATCH:-/dev/shm/delvora-data-table}
fat=$images/fat32_100k.img ntfs=$images/ntfs_100k.img ext2=$images/ext2_100k.img
for image in "$fat" "$ntfs" "$ext2"; do
    [ -r "$image" ] || { echo "no bench image $image (set BENCH_IMAGES)" >&2; exit 1; }
done
mkdir -p "$scratch"
big="/Large Files/big_1g.bin"
cat "$fat" "$ntfs" "$ext2" >/dev/null  # warm the page cache

# The peer's address of the big file: "r/r 105660-128-2:<tab>Large Files/...".
# awk reads to the end: fls must not die of a closed pipe (pipefail).
inode_of() { fls -r -p "$1" | awk -F'\t' '$2 == "Large Files/big_1g.bin" && !n++ { split($1, a, " "); sub(":", "", a[2]); print a[2] }'; }
ntfs_inode=$(inode_of "$ntfs") ext2_inode=$(inode_of "$ext2")
[ -n "$ntfs_inode" ] && [ -n "$ext2_inode" ] || { echo "big_1g.bin not found by fls" >&2; exit 1; }

# The same bytes both ways, or the timings mean nothing.
same_bytes() { [ "$("$cli" cat "$1" "$big" 2>/dev/null | md5sum)" = "$(icat "$1" "$2" | md5sum)" ]; }
same_bytes "$ntfs" "$ntfs_inode" || { echo "cat and icat differ on $ntfs" >&2; exit 1; }
same_bytes "$ext2" "$ext2_inode" || { echo "cat and icat differ on $ext2" >&2; exit 1; }

[ "${TABLE_HEADER:-1}" = 0 ] || table_header

ours_cat_ntfs() { "$cli" cat "$ntfs" "$big"; }
icat_ntfs() { icat "$ntfs" "$ntfs_inode"; }
paired_runs "$RUNS" no_prep ours_cat_ntfs icat_ntfs
table_row "cat 1 GiB NTFS vs icat (time)" time "<= 0.8"

ours_cat_ext2() { "$cli" cat "$ext2" "$big"; }
icat_ext2() { icat "$ext2" "$ext2_inode"; }
paired_runs "$RUNS" no_prep ours_cat_ext2 icat_ext2
table_row "cat 1 GiB ext2 vs icat (time)" time "<= 0.8"

clear_out() { rm -rf "$scratch/out" && mkdir "$scratch/out"; }
ours_export() { "$cli" export "$fat" / --to "$scratch/out" -r --exclude-ext '' --ignore-prefix ''; }
tsk_export() { tsk_recover -e -f fat "$fat" "$scratch/out"; }
paired_runs "$RUNS" clear_out ours_export tsk_export
table_row "export 100k FAT32 files vs tsk_recover -e" time "<= 0.35"
rm -rf "$scratch/out"

ours_residual() { "$cli" ls "$ntfs" --residual --html --doc; }
raw_read() { cat "$ntfs"; }
paired_runs "$RUNS" no_prep ours_residual raw_read
table_row "NTFS residual --html --doc vs cat (thrpt)" throughput ">= 0.7"

map="$scratch/remote-devices.map"
printf 'C:=%s\nD:=%s\nE:=%s\n' "$ntfs" "$fat" "$ext2" > "$map"
. "$here/../scripts/loopback-serve.sh"
trap stop_loopback EXIT
serve_loopback "$map" "$scratch"
remote="nbd://127.0.0.1:$serve_port"
[ "$("$cli" cat "$remote/C:" "$big" 2>/dev/null | md5sum)" = "$(icat_ntfs | md5sum)" ] ||
    { echo "remote cat differs from local cat" >&2; exit 1; }

remote_cat() { "$cli" cat "$remote/C:" "$big"; }
paired_runs "$RUNS" no_prep remote_cat ours_cat_ntfs
table_row "remote cat 1 GiB NTFS vs local (thrpt)" throughput ">= 0.7"

for pair in "D: $fat FAT32" "C: $ntfs NTFS" "E: $ext2 ext2"; do
    read -r export_name local_image label <<<"$pair"
    [ "$("$cli" ls "$remote/$export_name" 2>/dev/null | wc -l)" = "$("$cli" ls "$local_image" 2>/dev/null | wc -l)" ] ||
        { echo "remote ls differs from local ls ($label)" >&2; exit 1; }
    remote_ls() { "$cli" ls "$remote/$export_name"; }
    local_ls() { "$cli" ls "$local_image"; }
    paired_runs "$RUNS" no_prep remote_ls local_ls
    table_row "remote ls 100k $label vs local (time)" time "<= 1.2"
done
