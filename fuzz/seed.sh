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
put sl_log_fuzz setup/testdata/uninstall_log.txt tests/install/testdata/golden-install-log.txt
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
# The decompressor's data path reads zz files as the game's art carries them.
put lzrapi_fuzz "$build"/gameart/*.zz
head64 lzrapi_fuzz "$build"/gamesound/*.zz
# Move lists as the engine writes them: a whole computer game on three layouts' openings
# (the list is played from the Classic start, so later moves of other layouts are refused
# part way, which is worth having too).
mkdir -p "$out/engine_moves_fuzz"
if [ -x "$build/game/kelvano-engine" ]; then
    for layout in 0 3 5; do
        timeout 120 "$build/game/kelvano-engine" --layout $layout play 1 2>/dev/null |
            grep '^[0-9]' | tr '\n' ';' > "$out/engine_moves_fuzz/game-$layout"
        head -c 120 "$out/engine_moves_fuzz/game-$layout" > "$out/engine_moves_fuzz/opening-$layout"
    done
fi
# Bitmaps as the icons carry them (each image's header, colour table and pixels) and region
# data; sound samples behind the conversion's six format bytes.
python3 - "$out" "$build"/gameart/kelvano.ico "$build"/skinart/*.ico "$build"/gamesound/*.wav <<'PY'
import os, struct, sys
out = sys.argv[1]
os.makedirs(os.path.join(out, 'gdi_fuzz'), exist_ok=True)
os.makedirs(os.path.join(out, 'audio_convert_fuzz'), exist_ok=True)
for path in sys.argv[2:]:
    if not os.path.exists(path):
        continue
    data = open(path, 'rb').read()
    name = os.path.basename(path)
    if path.endswith('.ico') and len(data) > 6:
        count = struct.unpack_from('<H', data, 4)[0]
        for i in range(min(count, 8)):
            size, offset = struct.unpack_from('<II', data, 6 + 16 * i + 8)
            image = data[offset:offset + size]
            if image[:4] == b'\x28\0\0\0':
                open(os.path.join(out, 'gdi_fuzz', '%s-%d' % (name, i)), 'wb').write(image[:65536])
    elif path.endswith('.wav'):
        samples = data[44:44 + 2048]
        for picks in (b'\x03\x01\x04\x05\x03\x00', b'\x04\x03\x00\x03\x00\x00',
                      b'\x02\x00\x00\x05\x03\x00'):
            open(os.path.join(out, 'audio_convert_fuzz', '%s-%s' % (name, picks.hex())),
                 'wb').write(picks + samples)
# Regions: a header (size 32, type 1, count, bytes, bounds) and rectangles.
for n, rects in enumerate([[(0, 0, 4, 4)], [(0, 0, 8, 2), (2, 2, 6, 6), (0, 6, 8, 8)],
                           [(x, 0, x + 1, 16) for x in range(0, 32, 2)]]):
    xs = [r[0] for r in rects] + [r[2] for r in rects]
    ys = [r[1] for r in rects] + [r[3] for r in rects]
    blob = struct.pack('<IIII4i', 32, 1, len(rects), 16 * len(rects),
                       min(xs), min(ys), max(xs), max(ys))
    blob += b''.join(struct.pack('<4i', *r) for r in rects)
    open(os.path.join(out, 'gdi_fuzz', 'region-%d' % n), 'wb').write(blob)
PY
for d in "$out"/*/; do echo "$(basename "$d"): $(ls "$d" | wc -l) seeds"; done
