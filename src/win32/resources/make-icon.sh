#!/usr/bin/env bash
# Makes the icons, drawn by nimbrel-render in the palette of the end-to-end
# tests at the sizes the shell asks for: Nimbrel.ico, the screen saver's, the
# whole Mandelbrot set; Explorer.ico, the explorer's and its scene files', a
# Julia set.
#   src/win32/resources/make-icon.sh build/release/nimbrel-render
set -euo pipefail
render=${1:?usage: make-icon.sh NIMBREL-RENDER}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$here/../../../tests/e2e/data/"*.mcf "$work/"
# make_icon ICON SCENE-LINE: the palette is MCF=\x93\xf8, the Shift-JIS name of the test palette.
make_icon() {
    printf 'Nimbrel icon\r\n%s\r\n' "$2" >"$work/icon.mrp"
    "$render" -s 256x256 -i 0 -o "$work/icon.png" "$work/icon.mrp"
    convert "$work/icon.png" -define icon:auto-resize=256,64,48,32,24,16 "$here/$1"
}
make_icon Nimbrel.ico $'T=MANDEL, Title=icon, Cr=-0.62, Ci=0, W=2.9, I=200, D=1, MCF=\x93\xf8, DM=3'
make_icon Explorer.ico $'T=JULIA, Title=icon, Cr=0, Ci=0, W=3.1, Jr=-0.8, Ji=0.156, I=300, D=2, MCF=\x93\xf8, DM=3'
