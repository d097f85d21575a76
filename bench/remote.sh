#!/usr/bin/env bash
# Reads through a loopback NBD server (scripts/delvora-serve) beside the same
# reads of the local image: `cat` of a 1 GiB file (throughput ratio remote /
# local, target >= 0.5) and `ls` of the generated 100,000-file FAT32 volume
# (the whole tree). Page cache warm, best of RUNS; the server is stopped at
# the end. Local and remote runs alternate.
#
# usage: bench/remote.sh [BUILD_DIR]   (default: build)
# BENCH_DIR (default /tmp/delvora-bench) keeps the images between runs.
. "$(dirname "$0")/common.sh"
need_tools nbdkit mkfs.fat mcopy python3 /usr/bin/time

. "$here/fat32_image.sh"
. "$here/fat32_big_file.sh"
cat "$image" "$big_image" >/dev/null  # warm the page cache

map="$dir/remote-devices.map"
printf 'C:=%s\nD:=%s\n' "$big_image" "$image" > "$map"
serve_log="$dir/remote-serve.log"
. "$here/../scripts/loopback-serve.sh"
trap stop_loopback EXIT
serve_loopback "$map" "$dir"
remote="nbd://127.0.0.1:$serve_port"

# The same bytes both ways, or the timings mean nothing.
[ "$("$cli" cat "$big_image" /big.bin 2>/dev/null | md5sum)" = "$("$cli" cat "$remote/C:" /big.bin 2>/dev/null | md5sum)" ] ||
    { echo "remote cat differs from local cat" >&2; exit 1; }
rows=$("$cli" ls "$image" 2>/dev/null | wc -l)
[ "$rows" = "$("$cli" ls "$remote/D:" 2>/dev/null | wc -l)" ] || { echo "remote ls differs" >&2; exit 1; }

# The local and the remote run alternate, so that a machine whose load
# changes meanwhile weighs on both alike: "local remote" best wall seconds.
pair() {
    local local_best="" remote_best="" wall
    for _ in $(seq "$runs"); do
        read -r wall _ < <(runs=1 measure "$cli" "$1" "$image_of_local" "${@:2}")
        if [ -z "$local_best" ] || awk -v a="$wall" -v b="$local_best" 'BEGIN{exit !(a<b)}'; then local_best=$wall; fi
        read -r wall _ < <(runs=1 measure "$cli" "$1" "$image_of_remote" "${@:2}")
        if [ -z "$remote_best" ] || awk -v a="$wall" -v b="$remote_best" 'BEGIN{exit !(a<b)}'; then remote_best=$wall; fi
    done
    echo "$local_best $remote_best"
}
image_of_local=$big_image image_of_remote="$remote/C:"
read -r cat_local cat_remote < <(pair cat /big.bin)
image_of_local=$image image_of_remote="$remote/D:"
read -r ls_local ls_remote < <(pair ls)
read -r _ cat_local_rss < <(runs=1 measure "$cli" cat "$big_image" /big.bin)
read -r _ cat_remote_rss < <(runs=1 measure "$cli" cat "$remote/C:" /big.bin)
read -r _ ls_local_rss < <(runs=1 measure "$cli" ls "$image")
read -r _ ls_remote_rss < <(runs=1 measure "$cli" ls "$remote/D:")
awk -v cl="$cat_local" -v cr="$cat_remote" -v clm="$cat_local_rss" -v crm="$cat_remote_rss" \
    -v ll="$ls_local" -v lr="$ls_remote" -v llm="$ls_local_rss" -v lrm="$ls_remote_rss" -v rows="$rows" 'BEGIN {
    gib = 1.073741824
    printf "cat 1 GiB   local  %6.2f s (%.2f GB/s) peak %6d KiB\n", cl, gib / cl, clm
    printf "cat 1 GiB   remote %6.2f s (%.2f GB/s) peak %6d KiB\n", cr, gib / cr, crm
    printf "cat throughput ratio remote/local: %.2f (target >= 0.5)\n", cl / cr
    printf "ls %d rows local  %6.2f s peak %6d KiB\n", rows, ll, llm
    printf "ls %d rows remote %6.2f s peak %6d KiB\n", rows, lr, lrm
    printf "ls time ratio remote/local: %.2f\n", lr / ll
}'
