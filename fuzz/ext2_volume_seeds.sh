#!/bin/sh
# Writes small EXT2 images to the folder given (default fuzz-corpus/ext2) as
# seeds for fuzz/ext2_volume_fuzz.cpp: 1 KiB and 4 KiB blocks, folders, a
# file with an indirect block and a deleted file.
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
