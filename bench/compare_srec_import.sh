#!/usr/bin/env bash
# Times a full 4 MiB Motorola S-record (S37) import end to end beside
# srec_cat and objcopy turning the same file into a binary.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once.
runs=(--warmup 2 --runs 10)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1)
# A dense 4 MiB image, written by srec_cat in S3 records of 32 bytes.
"$build/bench/make_hex" 0x400000 "$work/image.hex"
srec_cat "$work/image.hex" -intel -o "$work/image.s37" -motorola -address-length=4
hyperfine "${runs[@]}" -N \
    -n brellix "$build/bench/hex_to_bin $work/image.s37 $work/brellix.bin" \
    -n srec_cat "srec_cat $work/image.s37 -o $work/srec.bin -binary" \
    -n objcopy "objcopy -I srec -O binary $work/image.s37 $work/objcopy.bin"
cmp "$work/brellix.bin" "$work/srec.bin" && echo "brellix and srec_cat wrote the same image"
