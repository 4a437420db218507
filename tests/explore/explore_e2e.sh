#!/usr/bin/env bash
# End-to-end tests of nimbrel-explore in Xvfb, through SDL's X11 driver with
# software rendering: xdotool gives the input, the window title tells the
# state (the status line ends with the time of a complete picture), and
# screenshots of the window are compared with nimbrel-render's pictures.
#
#   explore_e2e.sh CASE     (navigate, scenes, bad-file)
#
# The environment names the programs (CTest sets it):
#   NIMBREL_EXPLORE  nimbrel-explore
#   NIMBREL_RENDER   nimbrel-render
#   SAMPLES          samples/: the scene file and its palettes
#   E2E_WORK         a folder of the build for screenshots and logs
set -euo pipefail

: "${NIMBREL_EXPLORE:?}" "${NIMBREL_RENDER:?}" "${SAMPLES:?}" "${E2E_WORK:?}"

export SDL_VIDEODRIVER=x11 SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy
# The libraries of X and SDL keep memory to the end on purpose.
export ASAN_OPTIONS=detect_leaks=0

log() { echo "[$(date +%T)] $*"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

WORK= XVFB_PID= APP_PID= WID=

cleanup() {
    local status=$?
    set +e
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    exit $status
}

setup() {
    WORK="$E2E_WORK/$1"
    rm -rf "$WORK"
    mkdir -p "$WORK"
    trap cleanup EXIT
    local displayfile="$WORK/display" i
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    for i in $(seq 100); do
        [ -s "$displayfile" ] && break
        sleep 0.1
    done
    [ -s "$displayfile" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -1 "$displayfile")"
    log "case $1 on display $DISPLAY"
}

# Starts the program in $WORK with the arguments and waits for its window.
start() {
    log "nimbrel-explore $*"
    (cd "$WORK" && exec "$NIMBREL_EXPLORE" "$@" >"$WORK/stdout.txt" 2>"$WORK/stderr.txt") &
    APP_PID=$!
    local i
    for i in $(seq 300); do
        WID=$(xdotool search --name '^nimbrel-explore' 2>/dev/null | head -1) || true
        [ -n "$WID" ] && break
        kill -0 "$APP_PID" 2>/dev/null || fail "nimbrel-explore ended: $(cat "$WORK/stderr.txt")"
        sleep 0.1
    done
    [ -n "$WID" ] || fail "no window"
    # The keys go to the window under the pointer (there is no window manager).
    xdotool mousemove --window "$WID" 5 5
}

title() { xdotool getwindowname "$WID"; }

# Waits until the title matches the extended regular expression $1; fails
# after $2 seconds with the last title.
wait_title() {
    local pattern=$1 seconds=$2 end=$((SECONDS + $2)) now
    while [ $SECONDS -lt $end ]; do
        now=$(title 2>/dev/null) || true
        if grep -Eq -- "$pattern" <<<"$now"; then
            log "title: $now"
            return
        fi
        kill -0 "$APP_PID" 2>/dev/null || fail "nimbrel-explore ended: $(cat "$WORK/stderr.txt")"
        sleep 0.1
    done
    fail "after $seconds s the title is '$now', not /$pattern/"
}

# A complete picture: the status ends with its time (and perhaps a message).
readonly DONE='  [0-9]+\.[0-9]{3} s($|  \|  )'

# Number of pixels in which two pictures differ.
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

expect_same_picture() {
    local diff
    diff=$(differing_pixels "$1" "$2")
    if [ "$diff" != "0" ]; then
        compare "$1" "$2" "$WORK/difference.png" 2>/dev/null || true
        fail "$(basename "$2") differs from $(basename "$1") in $diff pixels (see $WORK)"
    fi
    log "$(basename "$2") equals $(basename "$1")"
}

screenshot() { import -window "$WID" "$1"; }

quit() {
    xdotool key Escape
    local i
    for i in $(seq 100); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    local status=0
    wait "$APP_PID" || status=$?
    APP_PID=
    [ "$status" -eq 0 ] || fail "nimbrel-explore ended with status $status"
}

# Prints field $2 of the scene line $1.
field() { tr ',' '\n' <<<"$1" | sed -n "s/^ *$2=//p"; }

# Whether two decimal numbers agree to 1e-12 of $3.
close_to() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= s * 1e-12) }'; }

# The default view at the start; two wheel notches at a point, draw mode 2 and
# S keep a line that names the view under the cursor, and the window shows
# nimbrel-render's picture of that line.
case_navigate() {
    setup navigate
    local W=480 H=320
    start -s ${W}x$H -o kept.mrp
    wait_title "^nimbrel-explore: Mandelbrot  Cr=-0\.8 Ci=0  W=3  I=256  Pow=2  DM=4 interlaced  MCF=\(built-in\)$DONE" 120
    printf 'T=MANDEL, Title=Home, Cr=-0.8, Ci=0, W=3, I=256, DM=4\r\n' >"$WORK/home.mrp"
    "$NIMBREL_RENDER" -s ${W}x$H -i 0 -o "$WORK/home.png" "$WORK/home.mrp" >/dev/null || fail "nimbrel-render"
    screenshot "$WORK/start.png"
    expect_same_picture "$WORK/home.png" "$WORK/start.png"

    xdotool mousemove --window "$WID" 300 100 click 4 click 4 key 2 key s
    wait_title 'DM=2 boundary trace .* [0-9]+\.[0-9]{3} s  \|  kept Scene 1 in kept\.mrp$' 120
    local line
    line=$(sed -n 2p "$WORK/kept.mrp" | tr -d '\r')
    log "kept: $line"
    # Pixel (300, 100) of the default view at 480 x 320 is (-0.2375, 0.5625);
    # two zooms by 2 there bring the centre a quarter of the way from it.
    [[ $line == "T=MANDEL, Title=Scene 1, Cr="* ]] || fail "the line is not Scene 1 of the Mandelbrot set"
    [ "$(field "$line" W)" = 0.75 ] || fail "W is not 0.75"
    close_to "$(field "$line" Cr)" -0.378125 1 || fail "Cr is not -0.378125"
    close_to "$(field "$line" Ci)" 0.421875 1 || fail "Ci is not 0.421875"
    [ "$(field "$line" I)" = 256 ] && [ "$(field "$line" DM)" = 2 ] || fail "I or DM wrong"
    head -1 "$WORK/kept.mrp" | grep -q '^\* Scenes kept with nimbrel-explore' || fail "no comment line first"
    grep -q "kept.mrp: T=MANDEL, Title=Scene 1" "$WORK/stdout.txt" || fail "the line is not on standard output"

    "$NIMBREL_RENDER" -s ${W}x$H -i 0 -o "$WORK/expected.png" "$WORK/kept.mrp" >/dev/null || fail "nimbrel-render"
    screenshot "$WORK/shot.png"
    expect_same_picture "$WORK/expected.png" "$WORK/shot.png"
    quit
}

# A scene file: the first scene, PageDown to the second, F12 writes its
# picture beside the output file, and it is nimbrel-render's of that scene.
case_scenes() {
    setup scenes
    local W=320 H=200
    start -s ${W}x$H -p "$SAMPLES/palettes" -o tour.mrp "$SAMPLES/scenes.mrp"
    wait_title "MCF=ocean  scene 1/14$DONE" 120
    xdotool key Next
    wait_title "MCF=fire  scene 2/14$DONE" 120
    xdotool key F12
    wait_title "wrote .*tour-001\.png$" 60
    "$NIMBREL_RENDER" -s ${W}x$H -i 1 -p "$SAMPLES/palettes" -o "$WORK/expected.png" "$SAMPLES/scenes.mrp" >/dev/null ||
        fail "nimbrel-render"
    expect_same_picture "$WORK/expected.png" "$WORK/tour-001.png"
    screenshot "$WORK/shot.png"
    expect_same_picture "$WORK/expected.png" "$WORK/shot.png"
    quit
}

# A scene file the show refuses: its message on standard error, and the
# explorer at the default view.
case_bad_file() {
    setup bad-file
    printf 'T=MANDEL, Title=A, Cr=0, Ci=0, W=3\r\nT=JULIA, Title=B, Cr=0, Ci=0, W=3\r\n' >"$WORK/bad.mrp"
    start -s 200x150 bad.mrp
    wait_title "^nimbrel-explore: Mandelbrot  Cr=-0\.8 Ci=0  W=3 .*$DONE" 120
    printf 'bad.mrp\r\n2 行目にｴﾗｰがあったので読み込みを中止しました。\r\nじゅりあ定数の虚部の値(Ji)がありません。\n' \
        >"$WORK/expected-stderr.txt"
    cmp -s "$WORK/stderr.txt" "$WORK/expected-stderr.txt" || {
        diff "$WORK/expected-stderr.txt" "$WORK/stderr.txt" >&2 || true
        fail "standard error says something else"
    }
    quit
}

case "${1:-}" in
    navigate) case_navigate ;;
    scenes) case_scenes ;;
    bad-file) case_bad_file ;;
    *) fail "unknown case '${1:-}'" ;;
esac
log "passed"
