#!/usr/bin/env bash
# Makes Nimbrel.ico: the whole Mandelbrot set drawn by nimbrel-render in the
# palette of the end-to-end tests, at the sizes the shell asks for.
#   src/win32/resources/make-icon.sh build/release/nimbrel-render
set -euo pipefail
render=${1:?usage: make-icon.sh NIMBREL-RENDER}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$here/../../../tests/e2e/data/"*.mcf "$work/"
printf 'Nimbrel icon\r\nT=MANDEL, Title=icon, Cr=-0.62, Ci=0, W=2.9, I=200, D=1, MCF=\x93\xf8, DM=3\r\n' >"$work/icon.mrp"
"$render" -s 256x256 -i 0 -o "$work/icon.png" "$work/icon.mrp"
convert "$work/icon.png" -define icon:auto-resize=256,64,48,32,24,16 "$here/Nimbrel.ico"
