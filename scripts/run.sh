#!/usr/bin/env bash
# `make run`: starts the game once it exists; until then lists every program the build made,
# with its path and what it is for.
set -euo pipefail
build=${1:-build}

game=$(find "$build" -type f -name kelvano -perm -u+x 2>/dev/null | head -n 1)
if [[ -n "$game" ]]; then
  exec "$game"
fi

programs=(
  "KelvanoSetup|the installer"
  "kelvano-engine|the game's rules and computer opponent on the command line"
  "kelvano-reg|reads and changes the registry the programs keep their settings in"
  "kelvano-rc|compiles resource scripts"
  "zipwriter|writes ZIP archives"
  "kelvano-pspwriter|writes layered images in the format the animation framework reads"
  "kelvano-animdemo|the animation framework's demo"
  "kelvano-example|a small program on the screen"
)
echo "The game is not built yet. Programs in $build (each has --help):"
for entry in "${programs[@]}"; do
  name=${entry%%|*}
  what=${entry#*|}
  path=$(find "$build" -type f -name "$name" -perm -u+x 2>/dev/null | head -n 1)
  [[ -n "$path" ]] && printf '  %-40s %s\n' "$path" "$what"
done
echo "Run the whole test suite with 'make test'."
