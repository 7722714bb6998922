#!/usr/bin/env bash
# Times a full 4 MiB import end to end, from each kind of file Brellix reads,
# beside the tools that turn the same file into a binary:
#   - Intel HEX beside objcopy and srec_cat;
#   - Motorola S-record (S3 records of 32 bytes, written by srec_cat) beside
#     srec_cat and objcopy: at least 3 times as fast as srec_cat;
#   - an executable ELF with the image in one PT_LOAD segment (linked by ld)
#     beside objcopy.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once.
runs=(--warmup 2 --runs 10)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1)
brellix() { echo "$build/bench/hex_to_bin $1 $work/brellix.bin"; }
same() { cmp "$work/brellix.bin" "$work/$1.bin" && echo "brellix and $1 wrote the same image"; }

"$build/bench/bench_hex_import" --write-sample "$work/image.hex"
hyperfine "${runs[@]}" -N \
    -n "brellix hex" "$(brellix "$work/image.hex")" \
    -n "objcopy hex" "objcopy -I ihex -O binary $work/image.hex $work/objcopy.bin" \
    -n "srec_cat hex" "srec_cat $work/image.hex -intel -o $work/srec_cat.bin -binary"
same objcopy

# Every byte of the 4 MiB written, as the program benchmark's pattern.
"$build/bench/make_hex" 0x400000 "$work/dense.hex"
srec_cat "$work/dense.hex" -intel -o "$work/image.s37" -motorola -address-length=4
hyperfine "${runs[@]}" -N \
    -n "brellix s37" "$(brellix "$work/image.s37")" \
    -n "srec_cat s37" "srec_cat $work/image.s37 -o $work/srec_cat.bin -binary" \
    -n "objcopy s37" "objcopy -I srec -O binary $work/image.s37 $work/objcopy.bin"
same srec_cat

"$build/bench/hex_to_bin" "$work/dense.hex" "$work/dense.bin"
ld -N -b binary "$work/dense.bin" --section-start=.data=0 -e 0 -o "$work/image.elf"
hyperfine "${runs[@]}" -N \
    -n "brellix elf" "$(brellix "$work/image.elf")" \
    -n "objcopy elf" "objcopy -O binary $work/image.elf $work/objcopy.bin"
same objcopy
