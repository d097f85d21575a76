#!/usr/bin/env bash
# cluster search of the 4 GiB bench image in 8 parts on the one-node Slurm
# cluster (scripts/slurm-local start first), compared byte for byte with the
# one-machine search --json, plus the per-part read rates docs/scale-out.md
# sizes with: one part searched from the file (shared storage, page cache
# warm) and through delvora-serve over loopback NBD.
# Usage: bench/cluster.sh [BUILD_DIR] [IMAGE] [PARTS]
set -euo pipefail
export PATH="$PATH:/sbin:/usr/sbin"
build=${1:-build}
image=${2:-/tmp/bench/big_4g.img}
parts=${3:-8}
cli="$(cd "$build" && pwd)/src/delvora-cli"
here=$(cd "$(dirname "$0")" && pwd)
keywords=(--raw --json --keyword needle-2026 --ignore-case --encodings gbk,utf16le)
[ -x "$cli" ] || { echo "build $cli first" >&2; exit 2; }
[ -f "$image" ] || { echo "$image missing (make_bench_images.sh makes it)" >&2; exit 2; }
sinfo -h -N -o %T 2>/dev/null | grep -qE 'idle|mixed|alloc' ||
    { echo "no Slurm node is up: bash scripts/slurm-local start" >&2; exit 2; }

work=$(mktemp -d)
serve_pid=""
cleanup() { [ -z "$serve_pid" ] || kill "$serve_pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
cat "$image" >/dev/null
now() { date +%s.%N; }
rate() { echo "scale=0; $1 / 1048576 / $2" | bc; }  # bytes, seconds -> MiB/s

size=$(stat -c %s "$image")
t0=$(now); "$cli" search "$image" "${keywords[@]}" > "$work/whole.jsonl"; t1=$(now)
one=$(echo "$t1 - $t0" | bc)
t0=$(now); "$cli" cluster search "$image" "${keywords[@]}" --parts "$parts" --out "$work/cluster" >/dev/null; t1=$(now)
cluster=$(echo "$t1 - $t0" | bc)
if cmp -s "$work/whole.jsonl" "$work/cluster/hits.jsonl"; then same=yes; else same=NO; fi
hits=$(grep -c '^{"keyword"' "$work/whole.jsonl" || true)

# One part as one node reads it.
sectors=$((size / 512)); per=$((sectors / parts))
range="0-$((per - 1))"
t0=$(now); "$cli" search "$image" "${keywords[@]}" --range "$range" >/dev/null; t1=$(now)
part_file=$(echo "$t1 - $t0" | bc)
echo "PHYSICALDRIVE0=$image" > "$work/served.map"
port=$((20000 + RANDOM % 20000))
bash "$here/../scripts/delvora-serve" --devices "$work/served.map" --address 127.0.0.1 --port "$port" \
    --pid-file "$work/serve.pid" >/dev/null 2>&1 &
serve_pid=$!
for _ in $(seq 100); do [ -s "$work/serve.pid" ] && break; sleep 0.1; done
t0=$(now); "$cli" search "nbd://127.0.0.1:$port/PHYSICALDRIVE0" "${keywords[@]}" --range "$range" >/dev/null 2>&1; t1=$(now)
part_nbd=$(echo "$t1 - $t0" | bc)

echo "image: $image ($((size >> 20)) MiB), $hits hits, $parts parts, $(nproc) CPUs on the node"
printf 'one machine:    %6.2f s (%s MiB/s)\n' "$one" "$(rate "$size" "$one")"
printf 'cluster:        %6.2f s, merged hits equal to one machine: %s\n' "$cluster" "$same"
printf 'one part, file: %6.2f s (%s MiB/s)\n' "$part_file" "$(rate $((per * 512)) "$part_file")"
printf 'one part, NBD:  %6.2f s (%s MiB/s)\n' "$part_nbd" "$(rate $((per * 512)) "$part_nbd")"
[ "$same" = yes ]
