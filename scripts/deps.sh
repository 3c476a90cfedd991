#!/usr/bin/env bash
# Installs the Debian packages the build needs. Run as root it installs what is missing;
# otherwise it prints the exact command to run and fails.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkg-config ccache clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation2 libpng-dev
  liblzo2-dev zlib1g-dev zip unzip
  libsdl2-dev xvfb xauth
  imagemagick
)
# `deps.sh fuzz`: also the compiler and runtime of the libFuzzer build.
if [[ "${1:-}" == "fuzz" ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "deps: missing packages: ${missing[*]}" >&2
  echo "deps: install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
