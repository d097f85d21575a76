#!/bin/sh
# An examiner's searches over a page-cached image of 4 GiB or more, beside
# ripgrep (with its memory maps) and a plain read in the same run:
#   1. one literal, every offset, against rg -a -F -b -o --mmap;
#   2. a list of 500 literals against the one literal;
#   3. e-mail, URL, IPv4 and card-number expressions (card numbers kept
#      when their Luhn digit is right) against the raw read rate (cat).
# Prints the best of three wall times and the ratios.
# Usage: bench/search_examiner.sh [BUILD_DIR] [IMAGE]
set -eu
build=${1:-build}
image=${2:-/tmp/bench/big_4g.img}
cli="$build/src/delvora-cli"
keyword=needle-2026
[ -x "$cli" ] || { echo "build $cli first (ninja -C $build delvora-cli)"; exit 2; }
[ -f "$image" ] || { echo "$image missing (make_bench_images.sh makes it)"; exit 2; }
for tool in rg bc awk; do
    command -v "$tool" >/dev/null || { echo "$tool missing (scripts/bootstrap installs it)"; exit 2; }
done
cat "$image" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timing="$work/time" output="$work/out"
best() {
    b=""
    for _ in 1 2 3; do
        /usr/bin/time -f "%e" -o "$timing" "$@" >"$output" 2>/dev/null
        read -r s < "$timing"
        if [ -z "$b" ] || [ "$(echo "$s < $b" | bc)" = 1 ]; then b=$s; fi
    done
    echo "$b"
}
ratio() { echo "scale=2; $1 / $2" | bc; }

# 499 words that do not occur, and the keyword: the cost is the list's size.
awk -v k="$keyword" 'BEGIN { srand(27); print k;
    for (i = 0; i < 499; i++) { w = ""; for (j = 0; j < 10; j++) w = w sprintf("%c", 97 + int(rand() * 26)); print "q" w } }' \
    > "$work/list500.txt"
cat > "$work/regex.txt" <<'LIST'
regex:[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,}
regex:https?://[A-Za-z0-9._~:/?#@!$&'()*+,;=%-]+
regex:\b(25[0-5]|2[0-4]\d|1?\d?\d)(\.(25[0-5]|2[0-4]\d|1?\d?\d)){3}\b
regex:\b\d{4}[ -]?\d{4}[ -]?\d{4}[ -]?\d{4}\b
LIST
# Card numbers as found, then the Luhn check on the digits each one matched.
cat > "$work/regex.sh" <<SH
"$cli" search "$image" --raw --keywords-file "$work/regex.txt" --json | python3 -c '
import json, sys
image = open(sys.argv[1], "rb")
for line in sys.stdin:
    hit = json.loads(line)
    if "{4}[ -]?" in hit["keyword"]:
        image.seek(hit["byteOffset"]); digits = [int(c) for c in image.read(hit["length"]).decode("latin-1") if c.isdigit()]
        if sum(d if i % 2 == 0 else (2 * d - 9 if d > 4 else 2 * d) for i, d in enumerate(reversed(digits))) % 10: continue
    sys.stdout.write(line)
' "$image"
SH

one=$(best "$cli" search "$image" --raw --keyword "$keyword")
ours_hits=$(wc -l < "$output")
rg_time=$(best rg -a -F -b -o --mmap "$keyword" "$image")
rg_hits=$(wc -l < "$output")
list=$(best "$cli" search "$image" --raw --keywords-file "$work/list500.txt")
list_hits=$(wc -l < "$output")
raw=$(best cat "$image")
regex=$(best sh "$work/regex.sh")
regex_hits=$(wc -l < "$output")
size=$(stat -c %s "$image")

echo "image $image ($size bytes)"
echo "one literal:   ours ${one}s ($ours_hits hits), rg ${rg_time}s ($rg_hits lines): ours/rg speed $(ratio "$rg_time" "$one")"
echo "500 literals:  ${list}s ($list_hits hits): rate vs one literal $(ratio "$one" "$list")"
echo "regex set:     ${regex}s ($regex_hits rows), raw read ${raw}s: rate vs raw read $(ratio "$raw" "$regex")"
