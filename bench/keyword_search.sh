#!/bin/sh
# Searches one ASCII keyword over a 2.2 GiB EXT2 image, as a whole source
# (--raw) and as a volume (hits named by file), beside ripgrep and grep on
# the same file in the same run (page cache warm). Prints the best of three
# wall times, the ratios and the peak memory of each.
# Usage: bench/keyword_search.sh [BUILD_DIR] [IMAGE]
set -eu
build=${1:-build}
image=${2:-/tmp/delvora-bench/keyword-2g.img}
cli="$build/src/delvora-cli"
keyword=NEEDLEKEY
[ -x "$cli" ] || { echo "build $cli first (ninja -C $build delvora-cli)"; exit 2; }
for tool in rg grep mke2fs python3 bc; do
    command -v "$tool" >/dev/null || { echo "$tool missing (scripts/bootstrap installs it)"; exit 2; }
done

if [ ! -f "$image" ]; then
    dir=$(dirname "$image")/keyword-files
    mkdir -p "$dir"
    # 64 MiB of base64 text (letters and digits, like documents rather than
    # noise) with the keyword every 256 KiB, copied into 30 files.
    python3 - "$dir/chunk" "$keyword" <<'PY'
import base64, os, sys
out, keyword = sys.argv[1], sys.argv[2].encode()
piece = 256 * 1024
with open(out, "wb") as f:
    for i in range(256):
        text = bytearray(base64.b64encode(os.urandom(piece * 3 // 4))[:piece])
        at = (i * 7919) % (piece - 64)
        text[at:at + len(keyword)] = keyword
        f.write(text)
PY
    for n in $(seq 1 30); do cp "$dir/chunk" "$dir/file$n.txt"; done
    rm -f "$dir/chunk"
    mke2fs -q -F -t ext2 -b 4096 -d "$dir" "$image.tmp" 2200M
    rm -rf "$dir"
    mv "$image.tmp" "$image"
fi
cat "$image" >/dev/null

timing=$(mktemp)
output=$(mktemp)
trap 'rm -f "$timing" "$output"' EXIT
# best COMMAND...: the shortest wall time of three runs and its peak memory
# (KiB). Output goes to a file: grep stops at its first hit when it writes
# to /dev/null.
best() {
    b=""; m=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%e %M" -o "$timing" "$@" >"$output" 2>/dev/null
        read -r s k < "$timing"
        if [ -z "$b" ] || [ "$(echo "$s < $b" | bc)" = 1 ]; then b=$s; m=$k; fi
    done
    echo "$b $m"
}

hits=$(grep -obUaF "$keyword" "$image" | wc -l)
raw_hits=$("$cli" search "$image" --raw --keyword "$keyword" 2>/dev/null | wc -l)
volume_hits=$("$cli" search "$image" --keyword "$keyword" 2>/dev/null | wc -l)
named=$("$cli" search "$image" --keyword "$keyword" 2>/dev/null | awk -F'\t' '$5 != ""' | wc -l)
placed=$("$cli" search "$image" --keyword "$keyword" --json 2>/dev/null | grep -c '"fileOffset":[0-9]' || true)
[ "$raw_hits" = "$hits" ] && [ "$volume_hits" = "$hits" ] && [ "$named" = "$hits" ] && [ "$placed" = "$hits" ] || \
    { echo "hits differ: grep $hits, raw $raw_hits, volume $volume_hits ($named named, $placed placed)"; exit 1; }

set -- $(best "$cli" search "$image" --raw --keyword "$keyword"); raw=$1; raw_mem=$2
set -- $(best "$cli" search "$image" --keyword "$keyword"); vol=$1; vol_mem=$2
set -- $(best "$cli" search "$image" --keyword "$keyword" --json); json=$1; json_mem=$2
set -- $(best rg -a -F -b -o --no-mmap "$keyword" "$image"); rg=$1; rg_mem=$2
set -- $(best grep -obUaF "$keyword" "$image"); gr=$1; gr_mem=$2
gib=$(echo "scale=3; $(stat -c %s "$image") / 1073741824" | bc)
echo "image: $gib GiB, $hits hits of $keyword (every one named and placed in its file by volume mode)"
echo "delvora search --raw:  $raw s  peak $raw_mem KiB"
echo "delvora search volume: $vol s  peak $vol_mem KiB"
echo "  --json (file offsets): $json s  peak $json_mem KiB"
echo "rg --no-mmap:          $rg s  peak $rg_mem KiB"
echo "grep -obUaF:           $gr s  peak $gr_mem KiB"
echo "speed ratio raw/rg:    $(echo "scale=2; $rg / $raw" | bc)  (target >= 1)"
echo "speed ratio raw/grep:  $(echo "scale=2; $gr / $raw" | bc)"
echo "volume/raw time:       $(echo "scale=2; $vol / $raw" | bc)  (target <= 1.5)"
