#!/usr/bin/env bash
# Times saving a 4 MiB image as Intel HEX beside objcopy, dense and 90 % blank.
# Brellix's save ends with the file safely on disk (written aside, synced,
# renamed into place); objcopy leaves it in the page cache, so objcopy is
# also timed followed by a sync of its file.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once.
runs=(--warmup 2 --runs 10)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1)
for kind in dense sparse; do
    "$build/bench/bench_save_hex" --write-sample "$kind" "$work/$kind.bin"
    hyperfine "${runs[@]}" -N \
        -n "brellix $kind" "$build/bench/bin_to_hex $work/$kind.bin $work/brellix.hex" \
        -n "objcopy $kind" "objcopy -I binary -O ihex $work/$kind.bin $work/objcopy.hex" \
        -n "objcopy+sync $kind" "sh -c 'objcopy -I binary -O ihex $work/$kind.bin $work/objcopy.hex && sync -d $work/objcopy.hex'"
done
