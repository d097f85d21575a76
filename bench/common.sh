# Sourced first by the benchmarks that time delvora-cli beside another run:
# sets here (bench/), build, cli, dir (BENCH_DIR, default /tmp/delvora-bench,
# keeps the images between runs) and runs (RUNS, default 3), and gives
# need_tools and measure. Arguments: [BUILD_DIR] (default: build).
set -euo pipefail
export PATH="$PATH:/sbin:/usr/sbin"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../build}
cli="$build/src/delvora-cli"
dir=${BENCH_DIR:-/tmp/delvora-bench}
runs=${RUNS:-3}
mkdir -p "$dir"
[ -x "$cli" ] || { echo "no $cli: build delvora-cli first" >&2; exit 1; }

# need_tools TOOL...: stops the benchmark naming the first one missing.
need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
    done
}

# measure COMMAND...: "wall rss", the best wall seconds of $runs runs and the
# largest peak resident size in KiB; output and errors are dropped.
measure() {
    local best_wall="" best_rss=0 out wall rss
    for _ in $(seq "$runs"); do
        /usr/bin/time -o "$dir/time.out" -f '%e %M' "$@" >/dev/null 2>/dev/null
        out=$(tail -1 "$dir/time.out")
        read -r wall rss <<<"$out"
        if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN{exit !(a<b)}'; then best_wall=$wall; fi
        [ "$rss" -gt "$best_rss" ] && best_rss=$rss
    done
    echo "$best_wall $best_rss"
}

# run_once COMMAND...: "wall cpu rss" of one run: wall and CPU (user + system)
# seconds from the shell's millisecond clock (/usr/bin/time's own is 10 ms,
# too coarse for loads of a tenth of a second) and peak resident KiB; output
# and errors are dropped. On a loaded machine the CPU seconds stay steadier
# than the wall ones.
run_once() {
    local TIMEFORMAT='%3R %3U %3S' times
    times=$( { time /usr/bin/time -o "$dir/time.out" -f '%M' "$@" >/dev/null 2>/dev/null; } 2>&1 )
    awk -v t="$times" -v r="$(tail -1 "$dir/time.out")" 'BEGIN { split(t, f, " "); printf "%s %.3f %d\n", f[1], f[2] + f[3], r }'
}

# min_median_max VALUE...: "min median max" of the numbers given.
min_median_max() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%s %s %s\n", v[1], m, v[NR] }'
}
