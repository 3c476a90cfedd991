#!/usr/bin/env bash
# Edges of the parser's functions that the kept corpus of one target reaches:
#   fuzz/coverage.sh NAME 'FILE-REGEX'   (e.g. 'host/shell\.cpp')
# prints "edges covered/all function" for each function of the matching source files, and
# the target's total covered edges.
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
files=$2
build=${FUZZ_BUILD:-build-fuzz}
out=$(nice -n 19 "$build/fuzz/$name" -runs=0 -print_coverage=1 -rss_limit_mb=2048 \
  "fuzz/corpus/$name" 2>&1)
echo "$out" | grep -E '^(UN)?COVERED_FUNC' | grep -E "$files" |
  sed -E 's/^(UN)?COVERED_FUNC: hits: [0-9]+ edges: ([0-9]+\/[0-9]+) (.*) [^ ]+:[0-9]+$/\2 \3/' |
  sed -E 's/\(anonymous namespace\)/~/g; s/\(.*//' | sort -k2
echo "$out" | grep -E 'INITED' | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+).*/total: \1 edges, \2 features/'
