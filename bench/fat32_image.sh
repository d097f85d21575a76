# Sourced by the benchmarks that work on the generated FAT32 volume: makes
# $dir/fat32-100k.img (2 GiB, 100,000 files in 5,050 folders) unless it is
# already there, and sets image to its path. Needs $dir and $here.
image="$dir/fat32-100k.img"
if [ ! -s "$image" ]; then
    rm -f "$image.part"
    truncate -s 2G "$image.part"
    mkfs.fat -F 32 -s 8 "$image.part" >/dev/null
    python3 "$here/make_fat_tree.py" "$image.part" 50 100 20
    mv "$image.part" "$image"
fi
