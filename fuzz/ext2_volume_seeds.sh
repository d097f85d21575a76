#!/bin/sh
# Writes small EXT2/3/4 images to the folder given (default fuzz-corpus/ext2)
# as seeds for fuzz/ext2_volume_fuzz.cpp: 1 KiB and 4 KiB blocks, folders, a
# file with an indirect block, a deleted file, and an ext4 volume with
# extents (an index node below the root), a hashed folder and inline data.
set -e
out=${1:-fuzz-corpus/ext2}
mkdir -p "$out"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/a/b"
echo hello > "$tree/a/b/c"
echo y > "$tree/y"
echo gone > "$tree/gone"
head -c 14000 /dev/zero | tr '\0' 'q' > "$tree/ind"
mke2fs -q -t ext2 -b 1024 -N 32 -I 128 -d "$tree" -F "$out/b1k.img" 64K 2>/dev/null
debugfs -w -R "rm /gone" "$out/b1k.img" 2>/dev/null
mke2fs -q -t ext2 -b 4096 -N 32 -I 128 -d "$tree" -F "$out/b4k.img" 256K 2>/dev/null
mke2fs -q -t ext2 -b 1024 -N 32 -I 256 -d "$tree" -F "$out/i256.img" 64K 2>/dev/null
mke2fs -q -t ext2 -b 1024 -N 32 -r 0 -d "$tree" -F "$out/rev0.img" 64K 2>/dev/null

# ext4: ten extents around holes need an index node; 100 names need more than
# one block, which e2fsck -D indexes; tiny files and folders are inline.
mkdir -p "$tree/h"
for i in $(seq 1 100); do echo $i > "$tree/h/name_$i"; done
for i in 0 1 2 3 4 5 6 7 8 9; do
    printf 'x' | dd of="$tree/frag" bs=1 seek=$((i * 2048)) conv=notrunc status=none
done
mke2fs -q -t ext4 -b 1024 -N 160 -O inline_data,^resize_inode,^has_journal -d "$tree" -F "$out/ext4.img" 384K 2>/dev/null
e2fsck -fyD "$out/ext4.img" >/dev/null 2>&1 || true
debugfs -w -R "rm /gone" "$out/ext4.img" 2>/dev/null

# The 1 KiB image again with its geometry as typed-in parameters (first byte
# 0xF1, then eight u32 values) for the path that skips the superblock.
python3 - "$out/b1k.img" "$out/fixed.img" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], 'rb').read())
sb = lambda off: struct.unpack_from('<I', d, 1024 + off)[0]
table = struct.unpack_from('<I', d, 2048 + 8)[0]
d[0] = 0xF1
d[1:33] = struct.pack('<8I', sb(0), sb(4), sb(24), 0, sb(32), 0, sb(40), table)
open(sys.argv[2], 'wb').write(d)
PY
ls -l "$out"
