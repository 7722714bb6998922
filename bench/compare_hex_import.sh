#!/usr/bin/env bash
# Times a full 4 MiB Intel HEX import end to end beside objcopy and srec_cat
# turning the same file into a binary.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once.
runs=(--warmup 2 --runs 10)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1)
"$build/bench/bench_hex_import" --write-sample "$work/image.hex"
hyperfine "${runs[@]}" -N \
    -n brellix "$build/bench/hex_to_bin $work/image.hex $work/brellix.bin" \
    -n objcopy "objcopy -I ihex -O binary $work/image.hex $work/objcopy.bin" \
    -n srec_cat "srec_cat $work/image.hex -intel -o $work/srec.bin -binary"
cmp "$work/brellix.bin" "$work/objcopy.bin" && echo "brellix and objcopy wrote the same image"
