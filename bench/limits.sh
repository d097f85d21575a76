#!/usr/bin/env bash
# Every speed and memory limit in one table: the load table
# (bench/load_table.sh, when there is one) and the data-path table
# (bench/data_table.sh), one after the other under one header.
#
# usage: bench/limits.sh [BUILD_DIR]   (default: build)
# RUNS, BENCH_IMAGES and SCRATCH are passed on to both.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
echo "paired runs: ${RUNS:-5} each, ours and the peer alternating; page cache warm"
if [ -x "$here/load_table.sh" ] || [ -f "$here/load_table.sh" ]; then
    bash "$here/load_table.sh" "$@"
else
    echo "(no bench/load_table.sh: load rows left out)"
fi
bash "$here/data_table.sh" "$@"
