#!/usr/bin/env bash
# Makes an exFAT image with mkfs.exfat and fills it through exfat-fuse on a
# loop device (the kernel has no exFAT driver here). Needs root.
# Usage: make-exfat-image.sh DIR [SIZE]
#   DIR/exfat.img        the image (sparse; SIZE defaults to 4608M so that a
#                        test can grow a file past 4 GiB in place)
#   DIR/times.txt        path TAB modification time in Unix seconds, as the
#                        driver reads it back after touch
#   DIR/expected/NAME    the bytes of each file deleted on the volume
# Exits 77 when a tool, root or the mount is missing.
set -euo pipefail
dir=$1
size=${2:-4608M}
img=$dir/exfat.img
mnt=$dir/mnt
[ "$(id -u)" = 0 ] || exit 77
for tool in mkfs.exfat losetup mount.exfat-fuse; do command -v "$tool" >/dev/null || exit 77; done
[ -e /dev/fuse ] || exit 77

rm -f "$img"
truncate -s "$size" "$img"
mkfs.exfat -c 4096 -L Delvora "$img" >/dev/null
loop=$(losetup -f --show "$img") || exit 77
mkdir -p "$mnt" "$dir/expected"
cleanup() {
  if mountpoint -q "$mnt"; then umount "$mnt" || umount -l "$mnt"; fi
  losetup -d "$loop"
}
trap cleanup EXIT
# The driver writes local times with their UTC offset: a zone away from UTC
# shows whether a reader applies it.
export TZ=Asia/Shanghai
mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1 || exit 77

# Deterministic bytes: a keyed counter stream, no randomness to reproduce.
bytes() { # NAME LENGTH
  # Enough records for LENGTH bytes (each takes at least ten), then cut.
  local k
  for ((k = 0; k * 10 < $2 + 10; k++)); do printf '%s:%08d|' "$1" "$k"; done | head -c "$2"  || true
}
put() { bytes "$(basename "$1")" "$2" > "$mnt/$1"; }

mkdir -p "$mnt/docs/sub/deep" "$mnt/中文目录" "$mnt/old/inner" "$mnt/lost/kept"
put docs/readme.txt 1500
put docs/sub/deep/note.txt 70000
put "中文目录/照片说明-東京.txt" 333
put "Ελληνικά.txt" 4097
put "Кириллица.txt" 8192
long=$(printf 'L%.0s' $(seq 1 200)).txt
put "$long" 5000
: > "$mnt/empty.txt"
put big.bin 300000

# A live fragmented file: it fills a freed gap and goes on behind a3.bin.
put a1.bin 12288; put a2.bin 12288; put a3.bin 12288
sync; rm "$mnt/a2.bin"; sync
put frag.bin 28000

# A deleted fragmented file whose gap stays allocated (b3.bin).
put b1.bin 8192; put b2.bin 8192; put b3.bin 8192
sync; rm "$mnt/b2.bin"; sync
put gone-frag.bin 16000

put gone.txt 10000
put old/inner/a.txt 2000
put old/b.txt 100
# A folder a test cuts off from the root (its entry set zeroed).
put lost/y.txt 700
put lost/kept/x.txt 9000

touch -d "2021-03-04 05:06:07" "$mnt/docs/readme.txt"
touch -d "1999-12-31 23:59:58" "$mnt/big.bin"
touch -d "2030-06-15 12:00:01" "$mnt/Ελληνικά.txt"
for f in docs/readme.txt big.bin "Ελληνικά.txt" frag.bin; do
  printf '%s\t%s\n' "$f" "$(stat -c %Y "$mnt/$f")"
done > "$dir/times.txt"

# Written after the rest, so that the clusters after it are free: a test
# grows it past 4 GiB in place.
put huge.bin 4096
sync

# Deletions come last: the driver hands freed entry slots to new files.
for f in gone-frag.bin gone.txt old/inner/a.txt; do cp "$mnt/$f" "$dir/expected/$(basename "$f")"; done
rm "$mnt/gone-frag.bin" "$mnt/gone.txt"
rm -r "$mnt/old"
sync
