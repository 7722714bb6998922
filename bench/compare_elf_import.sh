#!/usr/bin/env bash
# Times a full 4 MiB ELF import end to end beside objcopy taking the same
# file's loadable bytes out into a binary.
set -euo pipefail
build=${1:-build/bench}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# scripts/bench --smoke sets BRELLIX_BENCH_SMOKE: each command runs once.
runs=(--warmup 2 --runs 10)
[ -z "${BRELLIX_BENCH_SMOKE:-}" ] || runs=(--runs 1)
# The program benchmark's pattern, every byte of the 4 MiB written, linked
# into an executable that loads it at address 0.
"$build/bench/make_hex" 0x400000 "$work/image.hex"
"$build/bench/hex_to_bin" "$work/image.hex" "$work/image.bin"
ld -N -b binary "$work/image.bin" --section-start=.data=0 -e 0 -o "$work/image.elf"
hyperfine "${runs[@]}" -N \
    -n brellix "$build/bench/hex_to_bin $work/image.elf $work/brellix.bin" \
    -n objcopy "objcopy -O binary $work/image.elf $work/objcopy.bin"
cmp "$work/brellix.bin" "$work/objcopy.bin" && echo "brellix and objcopy took out the same image"
