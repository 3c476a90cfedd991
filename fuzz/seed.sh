#!/usr/bin/env bash
# Fills build-fuzz/seeds/<target>/ with real inputs from the regular build (build/: the game
# and skin art, the skin package, the sounds, the compiled resource tables, the installer's
# payload once `cmake --build build --target kelvano_setup_payload` made it) and from the
# tree. Seeds are not kept in the tree: fuzz/corpus/ keeps what they led to. Files over
# 64 KB are left out (cut to their first 64 KB where the head is worth having).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=${FUZZ_BUILD:-build-fuzz}/seeds
max=65536

put() { # put TARGET FILE...: copies each file of at most 64 KB
    local t=$1; shift
    mkdir -p "$out/$t"
    for f in "$@"; do
        [ -f "$f" ] || continue
        [ "$(stat -c %s "$f")" -le $max ] || continue
        cp "$f" "$out/$t/$(echo "$f" | tr '/' '_')"
    done
}
head64() { # head64 TARGET FILE...: the first 64 KB of each
    local t=$1; shift
    mkdir -p "$out/$t"
    for f in "$@"; do
        [ -f "$f" ] && head -c $max "$f" > "$out/$t/$(echo "$f" | tr '/' '_')"
    done
}

psp=("$build"/gameart/*.psp "$build"/skinart/*.psp)
# The image reader's fuzzer puts the 36-byte signature block back itself.
mkdir -p "$out/cea_psp_fuzz"
for f in "${psp[@]}"; do
    [ -f "$f" ] && tail -c +37 "$f" | head -c $max > "$out/cea_psp_fuzz/$(basename "$f")"
done
put cea_graphic_fuzz "${psp[@]}" "$build"/gameart/kelvano.ico "$build"/skinart/*.ico
put cea_zz_fuzz "$build"/gameart/*.zz
head64 cea_zz_fuzz "$build"/gamesound/*.zz
put cea_sound_fuzz "$build"/gamesound/*.wav
head64 cea_sound_fuzz "$build"/gamesound/*.wav
put zipfile_fuzz "$build"/skinart/dez.zip
head64 zipfile_fuzz "$build"/setup/payload/payload.zip
put skin_package_fuzz "$build"/skinart/dez.zip
put skin_properties_fuzz "$build"/skinart/skin.txt
put sl_log_fuzz setup/testdata/uninstall_log.txt
put rc_fuzz $(git ls-files '*.rc')
put resource_fuzz $(find "$build" -path '*.resources/resources.bin' 2>/dev/null)
# Registry files holding saved games, as the game's tests leave them in their folders.
mkdir -p "$out/registry_fuzz"
n=0
for f in "${TMPDIR:-/tmp}"/kelvano-*/*.reg /dev/shm/kelvano-*/*.reg; do
    [ -f "$f" ] && [ "$(stat -c %s "$f")" -le $max ] && grep -q SavedGame "$f" || continue
    cp "$f" "$out/registry_fuzz/$n-$(basename "$f")"
    n=$((n + 1))
    [ $n -lt 20 ] || break
done

# Raw deflate streams for the inflater, each behind its two-byte output size.
mkdir -p "$out/inflate_fuzz"
python3 - "$out/inflate_fuzz" "$build"/skinart/skin.txt "$build"/gameart/board.psp \
    setup/testdata/uninstall_log.txt <<'PY'
import os, sys, zlib
out = sys.argv[1]
for path in sys.argv[2:]:
    if not os.path.exists(path):
        continue
    data = open(path, 'rb').read()[:60000]
    for level in (1, 9):
        c = zlib.compressobj(level, zlib.DEFLATED, -15)
        raw = c.compress(data) + c.flush()
        name = '%s-%d' % (os.path.basename(path), level)
        open(os.path.join(out, name), 'wb').write(len(data).to_bytes(2, 'little') + raw)
PY
for d in "$out"/*/; do echo "$(basename "$d"): $(ls "$d" | wc -l) seeds"; done
