#!/usr/bin/env bash
# Runs one libFuzzer target of build-fuzz on its kept corpus, at the lowest priority.
#   fuzz/run.sh NAME [SECONDS] [extra libFuzzer options...]
# New units go to fuzz/corpus/NAME; the hand-made seeds of fuzz/seeds/NAME and the real
# inputs fuzz/seed.sh gathers in build-fuzz/seeds/NAME are read as well, when there. The log
# and any crashing input go to build-fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1
seconds=${2:-900}
shift $(($# < 2 ? $# : 2))
build=${FUZZ_BUILD:-build-fuzz}
mkdir -p "fuzz/corpus/$name" "$build/logs"
seeds=()
[ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
[ -d "$build/seeds/$name" ] && seeds+=("$build/seeds/$name")
dict=()
[ -f "fuzz/dict/$name.dict" ] && dict+=("-dict=fuzz/dict/$name.dict")
# Undefined behaviour stops the run like a crash, so that its input is kept.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1}
exec nice -n 19 "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=2048 -malloc_limit_mb=1024 -detect_leaks=1 -print_final_stats=1 \
  -artifact_prefix="$build/logs/$name-" "${dict[@]}" "$@" "fuzz/corpus/$name" "${seeds[@]}"
