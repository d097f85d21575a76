#!/bin/bash
# Reads through evidence and virtual-machine containers beside their peers,
# page cache warm, same run: `cat` of a 1 GiB file inside an E01 against
# `icat` on the same E01, the same `cat` through QCOW2 and VMDK against the
# raw disk, and `verify` of the E01 against `ewfverify`. Prints ratios
# (above 1: we are faster).
# Usage: bench/containers.sh [BUILD_DIR]   (images kept in BENCH_DIR)
source "$(dirname "$0")/common.sh"
need_tools sfdisk mke2fs ewfacquire ewfverify qemu-img icat ifind bc
cli=$(realpath "$cli")
work="$dir/containers"
mkdir -p "$work"
cd "$work"
if [ ! -f ev.E01 ]; then
    # Half random, half text: an E01's chunks then mix stored and compressed ones.
    mkdir -p tree
    head -c 536870912 /dev/urandom > tree/big.bin
    head -c 536870912 < <(yes 'evidence line of an examined disk, repeated') >> tree/big.bin
    mke2fs -q -t ext2 -d tree -F vol.img 1100M
    rm -rf tree
    truncate -s 1200M raw.img
    printf 'label: dos\nstart=2048,type=83\n' | sfdisk -q raw.img
    dd if=vol.img of=raw.img bs=1M seek=1 conv=notrunc status=none
    rm -f vol.img
    ewfacquire -u -t ev -c fast -S 700M raw.img >/dev/null 2>&1
    qemu-img convert -O qcow2 raw.img d.qcow2
    qemu-img convert -O vmdk raw.img d.vmdk
fi
inode=$(ifind -o 2048 -n big.bin raw.img)
digest() { md5sum | cut -c1-32; }
want=$(icat -o 2048 ev.E01 "$inode" | digest)
for image in raw.img ev.E01 d.qcow2 d.vmdk; do
    [ "$("$cli" cat "$image" -p 0 /big.bin 2>/dev/null | digest)" = "$want" ] || { echo "$image: contents differ" >&2; exit 1; }
done

wall() { measure "$@" | cut -d' ' -f1; }
ratio() { echo "scale=2; $1 / $2" | bc; }
cat_e01=$(wall "$cli" cat ev.E01 -p 0 /big.bin)
icat_e01=$(wall icat -o 2048 ev.E01 "$inode")
cat_raw=$(wall "$cli" cat raw.img -p 0 /big.bin)
cat_qcow=$(wall "$cli" cat d.qcow2 -p 0 /big.bin)
cat_vmdk=$(wall "$cli" cat d.vmdk -p 0 /big.bin)
verify=$(wall "$cli" verify ev.E01)
ewfverify=$(wall ewfverify -q ev.E01)
printf '%-34s %8s s   %-12s %8s s   ratio %s\n' \
    "cat 1 GiB in E01" "$cat_e01" "icat" "$icat_e01" "$(ratio "$icat_e01" "$cat_e01")" \
    "cat 1 GiB in QCOW2" "$cat_qcow" "raw cat" "$cat_raw" "$(ratio "$cat_raw" "$cat_qcow")" \
    "cat 1 GiB in VMDK" "$cat_vmdk" "raw cat" "$cat_raw" "$(ratio "$cat_raw" "$cat_vmdk")" \
    "verify E01 (1.2 GiB media)" "$verify" "ewfverify" "$ewfverify" "$(ratio "$ewfverify" "$verify")"
