#!/usr/bin/env bash
# Runs one fuzzer on a fresh copy of its seed corpus, so that what it finds
# never lands in the committed seeds:
#   run_fuzzer.sh FUZZER SEED_DIR WORK_DIR [libFuzzer options...]
# New inputs go to WORK_DIR/corpus, crashing ones to WORK_DIR/artifacts.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3
shift 3
rm -rf "$work/corpus"
mkdir -p "$work/corpus" "$work/artifacts"
cp "$seeds"/* "$work/corpus/"
exec "$fuzzer" -artifact_prefix="$work/artifacts/" -print_final_stats=1 -timeout=20 \
    -max_len=4096 "$@" "$work/corpus"
