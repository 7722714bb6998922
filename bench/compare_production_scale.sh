#!/usr/bin/env bash
# Runs one production recipe (a 1 MiB image, verified, with a serial field)
# on 1, 8 and 32 simulated adapters answering in 3 ms, one unit on each, as a
# whole `brellix-cli` process, and prints each run's wall time and peak
# resident memory.
#   - the adapters work side by side: 32 should take at most 1.3 times as
#     long as one alone;
#   - each adapter's job holds its own blocks: the peak at 32 should be at
#     most 64 MiB + 6 MiB per adapter.
# The wall time includes starting the process and opening the record (an
# SQLite file), the same for every run.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: a small image on 1 and 2 adapters.
bytes=1048576 counts=(1 8 32)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || bytes=65536 counts=(1 2)
"$build/bench/make_hex" "$bytes" "$work/fw.hex"
field='{"name": "serial", "kind": "counter", "address": "0x100", "start": 1, "last": 99999,
        "encoding": {"format": "ascii-dec", "width": 5, "prefix": "SN"}}'
"$build/brellix-cli" --quiet recipe new "$work/line.json" --image "$work/fw.hex" --chip MX25L3208 \
    --verify --field "$field" >/dev/null

echo "production of $((bytes / 1024)) KiB with verify and a serial field, 3 ms a reply;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
printf "  %8s %10s %14s %16s\n" adapters wall "peak memory" "goal (memory)"
one=
for n in "${counts[@]}"; do
    /usr/bin/time -o "$work/time" -f "%e %M" "$build/brellix-cli" --simulate="$n" --sim-latency 3 --all --quiet \
        production --recipe "$work/line.json" --db "$work/line-$n.sqlite" --count "$n" >"$work/out" 2>&1 ||
        { cat "$work/out" >&2; exit 1; }
    read -r wall kib <"$work/time"
    [ -n "$one" ] || one=$wall
    printf "  %8d %8.2f s %10.1f MiB %12d MiB\n" "$n" "$wall" "$(echo "$kib / 1024" | bc -l)" $((64 + 6 * n))
    last=$n lastWall=$wall lastKib=$kib
done
awk -v one="$one" -v wall="$lastWall" -v kib="$lastKib" -v n="$last" 'BEGIN {
    ratio = wall / one
    printf "  %d adapters / one alone: %.3f; goal at most 1.30: %s\n", n, ratio, ratio <= 1.3 ? "met" : "MISSED"
    printf "  peak at %d adapters: %.1f MiB; goal at most %d MiB: %s\n", n, kib / 1024, 64 + 6 * n,
        kib / 1024 <= 64 + 6 * n ? "met" : "MISSED"
}'
