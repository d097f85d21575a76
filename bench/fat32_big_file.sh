# Sourced by the benchmarks that read one large file: makes
# $dir/fat32-1g-file.img (FAT32 holding /big.bin, 1 GiB of random bytes)
# unless it is already there, and sets big_image to its path. Needs $dir.
big_image="$dir/fat32-1g-file.img"
if [ ! -s "$big_image" ]; then
    rm -f "$big_image.part" "$dir/big.bin"
    head -c 1073741824 /dev/urandom > "$dir/big.bin"
    mkfs.fat -C -F 32 "$big_image.part" 1090000 > /dev/null
    MTOOLS_SKIP_CHECK=1 mcopy -i "$big_image.part" "$dir/big.bin" ::/big.bin
    rm -f "$dir/big.bin"
    mv "$big_image.part" "$big_image"
fi
