#!/usr/bin/env bash
# `make setup`: starts the installer on the desktop screen in a window (arguments go to it;
# `KelvanoSetup --help` lists them). rapi.dll is found in the build's device folder, so a
# device started with `kelvano-device start` is offered too.
set -euo pipefail
build=${1:-build}
shift || true
export KELVANO_BACKEND=${KELVANO_BACKEND:-sdl}
export KELVANO_LIBRARY_PATH="$build/device${KELVANO_LIBRARY_PATH:+:$KELVANO_LIBRARY_PATH}"
exec "$build/setup/program/KelvanoSetup" "$@"
