#!/usr/bin/env bash
# Minimises the kept corpus of one target: fuzz/corpus/NAME becomes the smallest set of its
# files (and of the seeds) that reaches every edge they reach (hit counts left out, which
# keeps it to a few hundred files), without files over 64 KB.
#   fuzz/merge.sh NAME
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
build=${FUZZ_BUILD:-build-fuzz}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out" "fuzz/corpus/$name"
for d in "fuzz/corpus/$name" "fuzz/seeds/$name" "$build/seeds/$name"; do
    [ -d "$d" ] && find "$d" -maxdepth 1 -type f -size -65537c -exec cp -t "$work/in" {} +
done
nice -n 19 "$build/fuzz/$name" -merge=1 -use_counters=0 -timeout=10 -rss_limit_mb=2048 \
  -malloc_limit_mb=1024 "$work/out" "$work/in" > "$work/log" 2>&1 || { cat "$work/log"; exit 1; }
rm -rf "fuzz/corpus/$name"
mkdir -p "fuzz/corpus/$name"
cp "$work"/out/* "fuzz/corpus/$name/" 2>/dev/null || true
echo "$name: $(ls "fuzz/corpus/$name" | wc -l) files, $(cat "fuzz/corpus/$name"/* 2>/dev/null | wc -c) bytes"
