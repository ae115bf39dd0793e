#!/usr/bin/env bash
# Makes the console's resources: the alarm sound and the two pictures.
# Needs sox and lame (Debian packages sox, lame) and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$here/sound" "$here/images"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# Two-tone rings, about two seconds: loud enough to be heard in a busy kitchen.
sox -n -r 22050 -c 1 "$tmp/ring.wav" \
    synth 0.25 sine 880 : synth 0.25 sine 1175 : synth 0.25 sine 880 : synth 0.25 sine 1175 \
    : synth 0.3 sine 0 gain -3 repeat 2 fade 0 0 0.05
lame --quiet -t -b 64 --tt "Trovanta alarme" "$tmp/ring.wav" "$here/sound/fone.mp3"

python3 "$here/make-images.py" "$here/images"
