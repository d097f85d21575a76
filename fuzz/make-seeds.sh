#!/bin/sh
# Writes a seed corpus for every fuzz target into the folder given (default
# build-fuzz/corpus), one sub-folder per target, from small images the real
# tools make. Each seed is laid out as its target reads its input (see the
# comment at the top of each fuzz/*_fuzz.cpp).
set -e
export PATH="$PATH:/sbin:/usr/sbin" MTOOLS_SKIP_CHECK=1
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-build-fuzz/corpus}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sh "$here/ext2_volume_seeds.sh" "$out/ext2_volume_fuzz" >/dev/null

# exFAT: a fresh 1 MiB volume, whole (filling one needs root and exfat-fuse).
if command -v mkfs.exfat >/dev/null; then
    mkdir -p "$out/exfat_volume_fuzz"
    truncate -s 1M "$work/exfat.img"
    mkfs.exfat -b 4096 -L SEED "$work/exfat.img" >/dev/null 2>&1 && cp "$work/exfat.img" "$out/exfat_volume_fuzz/empty.img"
fi

# FAT12 and FAT16 whole, FAT32 cut after its first data clusters; a folder
# tree, a long name and a deleted file and folder. The first byte is the
# target's option byte.
fat() {  # fat NAME SIZE_KIB KEEP_KIB MKFS_OPTIONS...
    name=$1 size=$2 keep=$3
    shift 3
    rm -f "$work/f.img"
    mkfs.fat -C "$@" "$work/f.img" "$size" >/dev/null
    printf 'hello\n' > "$work/h.txt"
    mmd -i "$work/f.img" ::/A ::/A/B ::/Gone
    mcopy -i "$work/f.img" "$work/h.txt" ::/A/B/c.txt
    mcopy -i "$work/f.img" "$work/h.txt" "::/A/a long file name.txt"
    mcopy -i "$work/f.img" "$work/h.txt" ::/Gone/x.txt
    mdel -i "$work/f.img" ::/Gone/x.txt
    mrd -i "$work/f.img" ::/Gone
    for opt in 0 4; do
        { printf "\\$(printf %03o $opt)"; head -c "${keep}K" "$work/f.img"; } > "$out/$dir/$name-$opt"
    done
}
dir=fat_volume_fuzz
mkdir -p "$out/$dir"
fat fat12 200 200 -F 12
fat fat16 4200 300 -F 16 -s 1
fat fat32 34000 400 -F 32 -s 1 -f 1

# NTFS: the first records of a fresh MFT with a few files, as records and
# as the volume target's record area (four leading option and run bytes).
rm -f "$work/n.img"
truncate -s 1200K "$work/n.img"
mkntfs -Q -F -s 512 -c 1024 "$work/n.img" >/dev/null 2>&1
printf 'small\n' > "$work/s.txt"
head -c 5000 /dev/urandom > "$work/b.bin"
ntfscp -q "$work/n.img" "$work/s.txt" s.txt
ntfscp -q "$work/n.img" "$work/b.bin" b.bin
mft=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(80); print(struct.unpack_from('<Q',d,0x30)[0]*d[0xD]*512)" "$work/n.img")
mkdir -p "$out/ntfs_record_fuzz" "$out/ntfs_volume_fuzz" "$out/residual_slot_fuzz"
for n in 0 5 16 17; do
    dd if="$work/n.img" of="$out/ntfs_record_fuzz/record-$n" bs=1024 skip=$((mft / 1024 + n)) count=1 status=none
done
dd if="$work/n.img" of="$out/ntfs_record_fuzz/records" bs=1024 skip=$((mft / 1024)) count=24 status=none
{ printf '\001\077\000\144'; dd if="$work/n.img" bs=1024 skip=$((mft / 1024 + 1)) count=24 status=none; } \
    > "$out/ntfs_volume_fuzz/mft"
{ printf '\001'; dd if="$work/n.img" bs=1024 skip=$((mft / 1024)) count=24 status=none; } \
    > "$out/residual_slot_fuzz/records"
{ printf '\011'; head -c 8192 "$out/ext2_volume_fuzz/b1k.img" | tail -c 4096; } > "$out/residual_slot_fuzz/inodes"

# Partitions: the boot records of an MBR disk with two logical drives and
# of a GPT disk, each as 16-bit sector numbers and 512 bytes.
mkdir -p "$out/partition_scan_fuzz"
chunks() {  # chunks IMAGE SECTOR...
    img=$1
    shift
    for s in "$@"; do
        printf "\\$(printf %03o $((s % 256)))\\$(printf %03o $((s / 256)))"
        dd if="$img" bs=512 skip="$s" count=1 status=none
    done
}
rm -f "$work/d.img"
truncate -s 40M "$work/d.img"
printf 'start=2048, size=8192, type=c\nsize=8192, type=7\ntype=5\nsize=4096, type=6\ntype=83\n' |
    sfdisk -q "$work/d.img"
ebr1=$(sfdisk -d "$work/d.img" | awk '/d.img3/ { gsub(/[=,]/, " "); print $4 }')
ebr2=$(sfdisk -d "$work/d.img" | awk '/d.img6/ { gsub(/[=,]/, " "); print $4 }')
chunks "$work/d.img" 0 "$ebr1" $((ebr2 - 2048)) > "$out/partition_scan_fuzz/mbr"
rm -f "$work/g.img"
truncate -s 4M "$work/g.img"
printf 'label: gpt\nsize=1024\nsize=1024\n' | sfdisk -q "$work/g.img"
chunks "$work/g.img" 0 1 2 > "$out/partition_scan_fuzz/gpt"

# Carving: a web page and a Word document across buffers of one sector.
mkdir -p "$out/carver_fuzz"
python3 "$here/../sample/make-ole-doc" "$work/p.doc" "Seed"
{ printf '\000'; cat "$work/p.doc"; } > "$out/carver_fuzz/doc"
{ printf '\000<html><head><title>t</title></head><body>%s</body></html>' "$(seq -s ' ' 1 200)"; } > "$out/carver_fuzz/html"

# Text: GBK, UTF-8 with a mark, UTF-16LE.
mkdir -p "$out/text_encoding_fuzz"
printf '\000中文 text\n第二行\n' > "$out/text_encoding_fuzz/utf8"
printf '\000\357\273\277mark\n' > "$out/text_encoding_fuzz/bom"
printf '\001\377\376a\000b\000\n\000' > "$out/text_encoding_fuzz/utf16"
printf '\000\326\320\316\304\n' > "$out/text_encoding_fuzz/gbk"

# Case files: saved by the command line when one is built.
cli=$(ls "$here"/../build/src/delvora-cli /work/main/build/src/delvora-cli 2>/dev/null | head -n 1)
mkdir -p "$out/case_file_fuzz"
if [ -n "$cli" ]; then
    tail -c +2 "$out/fat_volume_fuzz/fat12-0" > "$work/c.img"
    "$cli" case save "$out/case_file_fuzz/image.wsh" "$work/c.img" >/dev/null 2>&1 || true
    "$cli" case save "$out/case_file_fuzz/virtual.wsh" "$work/c.img" --virtual FAT12 --start 0 >/dev/null 2>&1 || true
fi
# Residual searches: byte 0 picks the kind (0 FAT, 1 NTFS, 2 EXT2) and
# the options (0x34: loaded files searched, web pages and documents carved).
mkdir -p "$out/residual_search_fuzz"
for f in fat12-0 fat16-0; do
    { printf '\064'; tail -c +2 "$out/fat_volume_fuzz/$f"; } > "$out/residual_search_fuzz/$f"
done
{ printf '\065'; cat "$work/n.img"; } > "$out/residual_search_fuzz/ntfs"
{ printf '\066'; cat "$out/ext2_volume_fuzz/b1k.img"; } > "$out/residual_search_fuzz/ext2"
{ printf '\012'; cat "$out/ext2_volume_fuzz/ext4.img"; } > "$out/residual_search_fuzz/ext4"

# Keywords: type bits and code page in byte 0, texts ended by 0xFF, then
# the bytes scanned.
mkdir -p "$out/keyword_fuzz"
printf '\044MAIN\377\\x4d\\x41in\377\346\226\207\377xxMAINyyM\000A\000I\000N\000' > "$out/keyword_fuzz/main"
printf '\101\344\270\255\346\226\207\377\\xZZ\377ab\377\326\320\316\304ab' > "$out/keyword_fuzz/gbk"

# Virtual volume parameters: byte 0 picks the type, 8 KiB of head, then
# the rows' texts.
mkdir -p "$out/volume_params_fuzz"
{ printf '\000'; head -c 8192 "$out/fat_volume_fuzz/fat32-0" | tail -c +2; printf '512\n-1\n+7 \n'; } > "$out/volume_params_fuzz/fat32"
{ printf '\003'; head -c 8192 "$work/n.img"; printf '4096\n0\n99999999999999999999999\n'; } > "$out/volume_params_fuzz/ntfs"
{ printf '\004'; head -c 8192 "$out/ext2_volume_fuzz/b4k.img"; } > "$out/volume_params_fuzz/ext2"

for d in "$out"/*; do echo "$(ls "$d" | wc -l) seeds in $d"; done
