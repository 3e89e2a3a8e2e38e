#!/usr/bin/env bash
# Renews the README's pictures from the Linux build (built here if needed):
#   docs/editor.png            the editor window as the headless back-end draws
#                              it: program 0, the read-out on control 0
#                              (velmora-snapshot with no settings)
#   docs/editor-2x.png         the same at 2x (velmora-snapshot --scale 2)
#   docs/demo-spectrogram.png  the renderer's demo: its key, its dry audio and
#                              the audio through Velmora (velmora-render, then
#                              sox's spectrogram)
# The test release-picture draws the editor again and compares it with
# docs/editor.png and docs/editor-2x.png pixel for pixel.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v sox >/dev/null || {
  echo "make-pictures.sh: sox is needed (scripts/install-deps.sh installs it)" >&2
  exit 1
}
b=build/linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j 2 --target velmora velmora-render velmora-snapshot
mkdir -p docs

$b/tools/snapshot/velmora-snapshot -o docs/editor.png
$b/tools/snapshot/velmora-snapshot -o docs/editor-2x.png --scale 2

work=$(mktemp -d /tmp/velmora-pictures.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The demo (8 s): pulses on the left (the key), a chord on the right (the
# audio), with the sweep at 120 Hz .. 5.4 kHz; --write-input keeps the dry signal.
$b/tools/render/velmora-render $b/velmora.so -o "$work/processed.wav" --write-input "$work/dry.wav"
# Three channels, drawn one above the other: key, dry audio, processed
# (both outputs carry the same signal).
sox -V1 -M "$work/dry.wav" "$work/processed.wav" "$work/three.wav" remix 1 2 3
sox -V1 "$work/three.wav" -n trim 0 4 rate 16000 spectrogram -x 800 -y 180 -z 90 \
  -t "Velmora demo: the key (top), the dry audio (middle), the audio through Velmora (bottom)" \
  -c "velmora-render demo: program 0 with the sweep at 120 Hz .. 5.4 kHz" \
  -o docs/demo-spectrogram.png
echo "wrote docs/editor.png, docs/editor-2x.png and docs/demo-spectrogram.png"
