#!/usr/bin/env bash
# Times `brellix-cli --all program` of a 1 MiB non-blank image on eight
# simulated adapters answering in 3 ms each, beside one adapter alone
# programming the same. The adapters share nothing but the image, so the
# eight together should take at most 1.2 times as long as one.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once, on a small image.
runs=(--warmup 1 --runs 5) bytes=1048576
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1) bytes=65536
"$build/bench/make_hex" "$bytes" "$work/image.hex"
hyperfine "${runs[@]}" -N --export-csv "$work/process.csv" \
    -n one "$build/brellix-cli --simulate=1 --sim-latency 3 program $work/image.hex" \
    -n eight "$build/brellix-cli --simulate=8 --sim-latency 3 --all program $work/image.hex"

one=$(awk -F, '$1 == "one" { print $4 }' "$work/process.csv")
eight=$(awk -F, '$1 == "eight" { print $4 }' "$work/process.csv")
echo "medians; load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
awk -v one="$one" -v eight="$eight" 'BEGIN {
    printf "  one adapter           %7.2f s\n", one
    printf "  eight adapters, --all %7.2f s\n", eight
    ratio = eight / one
    printf "  eight / one           %7.3f  (goal at most 1.20: %s)\n", ratio, ratio <= 1.2 ? "met" : "MISSED"
}'
