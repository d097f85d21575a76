#!/usr/bin/env python3
"""Fills a freshly made FAT32 image with a large tree, writing the directory
entries and FAT chains directly (copying 100,000 files with mtools takes far
too long). Layout: TOP top folders, each with SUB subfolders, each holding
FILES files with long names; every file one cluster of a few bytes.

usage: make_fat_tree.py IMAGE TOP SUB FILES
"""
import struct
import sys


def checksum(short11):
    s = 0
    for b in short11:
        s = (((s & 1) << 7) + (s >> 1) + b) & 0xFF
    return s


def long_entries(name, short11):
    units = list(name.encode("utf-16-le"))
    chars = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)]
    chars.append(0)
    while len(chars) % 13:
        chars.append(0xFFFF)
    parts = [chars[i:i + 13] for i in range(0, len(chars), 13)]
    out = []
    csum = checksum(short11)
    for seq in range(len(parts), 0, -1):
        p = parts[seq - 1]
        e = bytearray(32)
        e[0] = seq | (0x40 if seq == len(parts) else 0)
        for k, off in enumerate((1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30)):
            struct.pack_into("<H", e, off, p[k])
        e[11] = 0x0F
        e[13] = csum
        out.append(bytes(e))
    return out


DATE = ((2024 - 1980) << 9) | (6 << 5) | 15
TIME = (10 << 11) | (20 << 5) | 15


def short_entry(short11, attr, cluster, size):
    e = bytearray(32)
    e[0:11] = short11
    e[11] = attr
    struct.pack_into("<HHHHHHHI", e, 14, TIME, DATE, DATE, cluster >> 16, TIME, DATE, cluster & 0xFFFF, size)
    return bytes(e)


def main():
    image, top, sub, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    f = open(image, "r+b")
    boot = f.read(512)
    spc = boot[13]
    reserved, = struct.unpack_from("<H", boot, 14)
    fats = boot[16]
    total, fat_size, root = struct.unpack_from("<I", boot, 32)[0], struct.unpack_from("<I", boot, 36)[0], struct.unpack_from("<I", boot, 44)[0]
    data_start = reserved + fats * fat_size
    cb = spc * 512
    clusters = (total - data_start) // spc
    f.seek(reserved * 512)
    fat = bytearray(f.read(fat_size * 512))
    next_free = [root + 1]

    def alloc(n):
        first = next_free[0]
        if first + n > clusters + 2:
            sys.exit("image too small")
        for c in range(first, first + n):
            struct.pack_into("<I", fat, 4 * c, c + 1 if c + 1 < first + n else 0x0FFFFFFF)
        next_free[0] += n
        return list(range(first, first + n))

    def write_dir(chain, entries):
        blob = b"".join(entries)
        blob += b"\0" * (len(chain) * cb - len(blob))
        for i, c in enumerate(chain):
            f.seek((data_start + (c - 2) * spc) * 512)
            f.write(blob[i * cb:(i + 1) * cb])

    def dir_clusters(count_entries):
        return max(1, -(-count_entries * 32 // cb))

    root_entries = []
    n_file = 0
    for t in range(top):
        tname = "folder_%05d" % t
        tshort = b"T%07d   " % t
        tchain = alloc(dir_clusters(2 + sub * 3))
        tentries = [short_entry(b".          ", 0x10, tchain[0], 0), short_entry(b"..         ", 0x10, 0, 0)]
        for s in range(sub):
            sname = "subfolder_%05d_%03d" % (t, s)
            sshort = b"S%07d   " % (t * sub + s)
            schain = alloc(dir_clusters(2 + files * 3))
            sentries = [short_entry(b".          ", 0x10, schain[0], 0),
                        short_entry(b"..         ", 0x10, tchain[0], 0)]
            for k in range(files):
                fname = "document_%07d.txt" % n_file
                fshort = b"F%07dTXT" % n_file
                fc = alloc(1)[0]
                text = b"file %d\n" % n_file
                f.seek((data_start + (fc - 2) * spc) * 512)
                f.write(text)
                sentries += long_entries(fname, fshort) + [short_entry(fshort, 0x20, fc, len(text))]
                n_file += 1
            write_dir(schain, sentries)
            tentries += long_entries(sname, sshort) + [short_entry(sshort, 0x10, schain[0], 0)]
        write_dir(tchain, tentries)
        root_entries += long_entries(tname, tshort) + [short_entry(tshort, 0x10, tchain[0], 0)]
    rchain = [root]
    need = dir_clusters(len(root_entries))
    if need > 1:
        extra = alloc(need - 1)
        struct.pack_into("<I", fat, 4 * root, extra[0])
        rchain += extra
    write_dir(rchain, root_entries)
    for k in range(fats):
        f.seek((reserved + k * fat_size) * 512)
        f.write(fat)
    f.close()
    print("%d folders, %d files" % (top + top * sub, n_file))


if __name__ == "__main__":
    main()
