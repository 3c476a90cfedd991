#!/usr/bin/env bash
# `make run`: starts the game (arguments go to it; `kelvano --help` lists them).
set -euo pipefail
build=${1:-build}
shift || true
exec "$build/gameui/kelvano" "$@"
