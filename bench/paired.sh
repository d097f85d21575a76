# Sourced after common.sh by the tables that put our run beside a peer's:
# paired_runs times two commands alternately, so that a machine whose load
# changes meanwhile weighs on both alike, and table_row prints one row with
# min/median/max of each side and of the per-pair ratio.

# paired_runs N PREP OURS PEER: runs the shell functions OURS and PEER N times
# each, alternating (PREP, untimed, before every run). Sets ours_times,
# peer_times (wall seconds, microsecond resolution) and pair_failed (the
# first failing command; empty when none failed).
paired_runs() {
    local n=$1 prep=$2 ours=$3 peer=$4 t0 _
    ours_times=() peer_times=() pair_failed=""
    for _ in $(seq "$n"); do
        "$prep"
        t0=$EPOCHREALTIME
        "$ours" >/dev/null 2>&1 || pair_failed=${pair_failed:-$ours}
        ours_times+=("$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.4f", b - a}')")
        "$prep"
        t0=$EPOCHREALTIME
        "$peer" >/dev/null 2>&1 || pair_failed=${pair_failed:-$peer}
        peer_times+=("$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.4f", b - a}')")
    done
}

no_prep() { :; }

table_header() {
    printf '%-44s %-20s %-20s %-17s %s\n' "task" "ours s (min/med/max)" "peer s (min/med/max)" \
        "ratio (min/med/max)" "target"
}

# table_row LABEL KIND TARGET: one row from the last paired_runs. KIND time:
# the ratio is ours / peer (less is better); throughput: peer / ours (more is
# better). A failed command marks the row instead of giving figures.
table_row() {
    local label=$1 kind=$2 target=$3
    if [ -n "$pair_failed" ]; then
        printf '%-44s %s failed\n' "$label" "$pair_failed"
        return
    fi
    paste -d' ' <(printf '%s\n' "${ours_times[@]}") <(printf '%s\n' "${peer_times[@]}") |
        awk -v label="$label" -v kind="$kind" -v target="$target" '
        function sort(a, n,   i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t } }
        function mid(a, n) { return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2 }
        { n++; o[n] = $1; p[n] = $2; r[n] = kind == "time" ? $1 / $2 : $2 / $1 }
        END {
            sort(o, n); sort(p, n); sort(r, n)
            printf "%-44s %5.2f/%5.2f/%5.2f    %5.2f/%5.2f/%5.2f    %4.2f/%4.2f/%4.2f    %s\n",
                label, o[1], mid(o, n), o[n], p[1], mid(p, n), p[n], r[1], mid(r, n), r[n], target
        }'
}
