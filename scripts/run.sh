#!/usr/bin/env bash
# `make run`: starts the game once it exists; until then lists what the build produced.
set -euo pipefail
build=${1:-build}
echo "Kelvano build in $build:"
found=0
for program in kelvano KelvanoSetup kelvano-engine; do
  path=$(find "$build" -type f -name "$program" -perm -u+x 2>/dev/null | head -n 1)
  if [[ -n "$path" ]]; then
    echo "  $program: $path"
    found=1
  fi
done
if [[ $found -eq 0 ]]; then
  echo "  no programs yet: the libraries and their tests are built (run them with 'make test')"
fi
