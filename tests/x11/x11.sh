#!/usr/bin/env bash
# Tests of nimbrel, the show on X11, under Xvfb.
#
#   x11.sh CASE     runs one case (see the list at the end)
#
# Each case runs on an X display of its own, so cases may run in parallel. The
# environment names the programs and files (CTest sets it):
#   NIMBREL_HACK     nimbrel
#   NIMBREL_RENDER   nimbrel-render
#   X11_HELPER       x11_test_helper: makes a window, sends WM_DELETE_WINDOW
#   X11_DATA         a scene file of one scene (one.mrp) and its palette
#   X11_SAMPLES      the sample scenes and palettes
#   X11_GALLERY      the gallery: the scenes the show plays when none is set
#   X11_BUILD        the build folder (the daemon case installs from it)
#   X11_WORK         a folder of the build for screenshots and logs
# Exit status 77: the case was skipped (the reason is printed).
set -euo pipefail

: "${NIMBREL_HACK:?}" "${NIMBREL_RENDER:?}" "${X11_HELPER:?}" "${X11_DATA:?}" "${X11_SAMPLES:?}" "${X11_GALLERY:?}" "${X11_BUILD:?}" \
    "${X11_WORK:?}"

# The real ImageMagick, ahead of any stand-in of the same name.
convert() {
    if [ -x /usr/bin/convert ]; then /usr/bin/convert "$@"; else command convert "$@"; fi
}

log() { echo "[$(date +%T.%3N)] $*"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
skip() {
    echo "SKIPPED: $*"
    exit 77
}

# --- one case: a display, the processes, the cleanup -----------------------

WORK= XVFB_PID= HACK_PID= HELPER_PID= DAEMON_PID= TEST_USER= STAGE=

# Every process this case started, with what they started in turn.
descendants() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
        descendants "$child"
        echo "$child"
    done
}

cleanup() {
    local status=$?
    set +e
    local pid
    if [ -n "$DAEMON_PID" ]; then
        # The daemon's own processes are no children of this shell: wait until
        # they are gone, so that their user can be removed.
        local daemon_pids i
        daemon_pids="$DAEMON_PID $(descendants "$DAEMON_PID")"
        for pid in $daemon_pids; do kill "$pid" 2>/dev/null; done
        for i in $(seq 50); do
            for pid in $daemon_pids; do kill -0 "$pid" 2>/dev/null && break; done
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        for pid in $daemon_pids; do kill -KILL "$pid" 2>/dev/null; done
    fi
    for pid in "$HACK_PID" "$HELPER_PID"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null; done
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    if [ -n "$TEST_USER" ]; then
        for i in $(seq 50); do
            userdel "$TEST_USER" 2>/dev/null && break
            sleep 0.1
        done
        getent passwd "$TEST_USER" >/dev/null && echo "the user $TEST_USER could not be removed" >&2
    fi
    [ -n "$STAGE" ] && rm -rf "$STAGE"
    exit $status
}
trap cleanup EXIT

# A fresh work folder and an X display of WxH pixels (24 bits, so that every
# colour survives the trip); more arguments go to Xvfb. -noreset: by default
# the server resets when its last client goes, and a client that connects
# meanwhile (the next nimbrel of a case) is refused.
setup() {
    local name=$1 size=$2
    shift 2
    WORK="$X11_WORK/$name"
    rm -rf "$WORK"
    mkdir -p "$WORK/config"
    local displayfile="$WORK/display"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset "$@" 3>"$displayfile" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    local i
    for i in $(seq 100); do
        [ -s "$displayfile" ] && break
        sleep 0.1
    done
    [ -s "$displayfile" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -1 "$displayfile")"
    # The stored settings of the cases: none unless a case writes some.
    export XDG_CONFIG_HOME="$WORK/config"
    unset XSCREENSAVER_WINDOW
    log "case $name on display $DISPLAY ($size)"
}

start_hack() {
    log "nimbrel $*"
    "$NIMBREL_HACK" "$@" >"$WORK/hack.log" 2>&1 &
    HACK_PID=$!
}

expect_running() {
    kill -0 "$HACK_PID" 2>/dev/null || {
        cat "$WORK/hack.log" >&2
        fail "nimbrel ended: $1"
    }
}

# Milliseconds on the monotonic clock of date.
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits up to $1 seconds for nimbrel to end; fails unless it ended with 0.
# Sets ENDED_MS to the milliseconds it took.
expect_exit() {
    local seconds=$1 start
    start=$(now_ms)
    while kill -0 "$HACK_PID" 2>/dev/null; do
        [ $(($(now_ms) - start)) -gt $((seconds * 1000)) ] && fail "nimbrel still runs after $seconds s"
        sleep 0.01
    done
    ENDED_MS=$(($(now_ms) - start))
    local status=0
    wait "$HACK_PID" || status=$?
    [ "$status" -eq 0 ] || {
        cat "$WORK/hack.log" >&2
        fail "nimbrel ended with status $status"
    }
    log "nimbrel ended with status 0 after $ENDED_MS ms"
}

# The shared-memory segments that process $1 made and that are still there.
segments_of() { ipcs -m -p | awk -v pid="$1" '$3 == pid' | wc -l; }

# Stops nimbrel with signal $1: it ends with status 0 (within $2 seconds,
# default 20) and leaves no segment.
stop_hack() {
    local pid=$HACK_PID
    kill -"$1" "$pid"
    expect_exit "${2:-20}"
    HACK_PID=
    [ "$(segments_of "$pid")" -eq 0 ] || {
        ipcs -m -p >&2
        fail "nimbrel left a shared-memory segment"
    }
    log "$1: no shared-memory segment left"
}

screenshot() { import -window root "$1"; }

# Polls until nimbrel's own window can be seen, and prints its id.
visible_window() {
    local i window
    for i in $(seq 400); do
        window=$(xdotool search --onlyvisible --name '^Nimbrel$' 2>/dev/null | head -1) || true
        [ -n "$window" ] && echo "$window" && return
        expect_running "before its window could be seen"
        sleep 0.05
    done
    fail "no window named Nimbrel can be seen"
}

# Number of pixels in which two pictures differ.
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# Takes screenshots until the screen (or its part $3 = WxH+X+Y) equals the
# picture $1; fails after $2 seconds, keeping the last shot and the difference.
expect_screen() {
    local expected=$1 seconds=$2 crop=${3:-} shot="$WORK/shot.png" diff=unknown
    local end=$((SECONDS + seconds))
    while [ $SECONDS -lt $end ]; do
        screenshot "$shot"
        [ -n "$crop" ] && mogrify -crop "$crop" +repage "$shot"
        diff=$(differing_pixels "$expected" "$shot")
        if [ "$diff" = "0" ]; then
            log "the screen equals $(basename "$expected")"
            return
        fi
        [ -z "$HACK_PID" ] || expect_running "before the screen equalled $(basename "$expected")"
        sleep 0.2
    done
    compare "$expected" "$shot" "$WORK/difference.png" 2>/dev/null || true
    fail "the screen differs from $(basename "$expected") in $diff pixels (see $WORK)"
}

# nimbrel-render's picture: $1 file, $2 size WxH, $3 the stored draw-mode
# number, $4 the scene (default 0) of the test scene file, or with $5
# "samples" of the sample scenes, "gallery" of the gallery.
render() {
    local mrp=$X11_DATA/one.mrp palettes=$X11_DATA
    if [ "${5:-}" = samples ]; then
        mrp=$X11_SAMPLES/scenes.mrp
        palettes=$X11_SAMPLES/palettes
    elif [ "${5:-}" = gallery ]; then
        mrp=$X11_GALLERY/scenes.mrp
        palettes=$X11_GALLERY/palettes
    fi
    "$NIMBREL_RENDER" -s "$2" -i "${4:-0}" -m "$3" -p "$palettes" -o "$1" "$mrp" >/dev/null || fail "nimbrel-render"
}

# The stored settings file, NAME=VALUE as string values.
store_settings() {
    local file="$XDG_CONFIG_HOME/nimbrel/registry.ini" pair
    mkdir -p "$(dirname "$file")"
    {
        printf '[Software\\Orv\\Nimbrel\\Settings]\n'
        for pair in "$@"; do printf '"%s"="%s"\n' "${pair%%=*}" "${pair#*=}"; done
    } >"$file"
    STORED_FILE=$file
    STORED_SUM="$(sha256sum "$file") $(stat -c %Y.%y "$file")"
}

expect_stored_untouched() {
    [ "$(sha256sum "$STORED_FILE") $(stat -c %Y.%y "$STORED_FILE")" = "$STORED_SUM" ] ||
        fail "the stored settings file was written"
    [ "$(ls -A "$(dirname "$STORED_FILE")")" = registry.ini ] || fail "something was written beside the stored settings file"
    log "the stored settings file is untouched"
}

readonly MRP="$X11_DATA/one.mrp"

# --- the cases -------------------------------------------------------------

# A stored size far beyond the machine, which NIMBREL_MEMORY takes to have
# 128 MiB (pictures of 64 MiB): the size message once, however many pictures
# follow, and every picture the largest of that shape that fits, here
# centred on the window. The stored file stays as it was.
case_huge_size() {
    setup huge-size 400x300
    export NIMBREL_MEMORY=128
    store_settings SizeFull=0 SizeX=100000 SizeY=100000 DM=1 DrawMode=0 Wait=500
    # nimbrel-render names the largest shaded picture of that shape.
    local size w h
    size=$({ "$NIMBREL_RENDER" -s 30000x30000 -m 6 -i 0 -o "$WORK/none.png" "$MRP" 2>&1 || true; } |
        sed -n 's/.*the largest of that shape: \([0-9]*x[0-9]*\)).*/\1/p')
    [ -n "$size" ] || fail "nimbrel-render named no largest picture"
    w=${size%x*} h=${size#*x}
    render "$WORK/picture.png" "$size" 0
    # (200 div 2) - (w div 2) and (100 div 2) - (h div 2), negative: the middle part.
    convert "$WORK/picture.png" -crop "200x100+$((w / 2 - 100))+$((h / 2 - 50))" +repage "$WORK/expected.png"
    start_hack -geometry 200x100+0+0 -no-journey -mrp "$MRP" -palettes "$X11_DATA"
    expect_screen "$WORK/expected.png" 60 200x100+0+0
    # Two pauses more: two more pictures, and still the one message.
    sleep 1.5
    expect_running "after the pictures of a size beyond the machine"
    [ "$(cat "$WORK/hack.log")" = 'nimbrel: サイズ指定が不正です' ] || {
        cat "$WORK/hack.log" >&2
        fail "not the size message alone, once"
    }
    stop_hack TERM
    expect_stored_untouched
    log "pictures of ${size}, one message"
}

# -root: once the picture is complete the screen is nimbrel-render's picture
# at the screen's size, drawn through shared memory; SIGTERM ends it with
# status 0 and no segment left.
case_root() {
    setup root 480x360
    render "$WORK/expected.png" 480x360 1
    start_hack -root -mrp "$MRP" -palettes "$X11_DATA" -draw-mode 1 -wait 600
    expect_screen "$WORK/expected.png" 60
    [ "$(segments_of "$HACK_PID")" -ge 1 ] || fail "no shared-memory segment: the picture did not go through MIT-SHM"
    stop_hack TERM
}

# -window-id on a window the test makes, on a server without MIT-SHM: the
# plain XPutImage draws the same picture; SIGINT ends it.
case_window_id() {
    setup window-id 400x300 -extension MIT-SHM
    "$X11_HELPER" window 240x180+70+50 >"$WORK/window.txt" &
    HELPER_PID=$!
    local i window=
    for i in $(seq 100); do
        window=$(head -1 "$WORK/window.txt" 2>/dev/null)
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "the helper made no window"
    render "$WORK/expected.png" 240x180 2
    start_hack --window-id "$window" --mrp "$MRP" --palettes "$X11_DATA" --draw-mode 2 --wait 600
    expect_screen "$WORK/expected.png" 60 240x180+70+50
    [ "$(segments_of "$HACK_PID")" -eq 0 ] || fail "a shared-memory segment on a server without MIT-SHM"
    stop_hack INT
}

# A picture size and the tiled layout from the stored file, the rest from the
# command line: the picture repeated across the root window, the copies at
# the right and bottom edges cut off. The file stays as it was.
case_tiled() {
    setup tiled 400x300
    store_settings SizeFull=0 SizeX=110 SizeY=70 DM=0 DrawMode=3 Wait=600000 Bgcolor=clRed
    render "$WORK/picture.png" 110x70 3
    convert -size 400x300 "tile:$WORK/picture.png" "$WORK/expected.png"
    start_hack -root -mrp "$MRP" -palettes "$X11_DATA"
    expect_screen "$WORK/expected.png" 60
    stop_hack TERM
    expect_stored_untouched
}

# A colour name the display does not know ends with status 2. A window of its
# own: the picture centred on the background colour; a mouse movement in the
# first second does not end the show, a key does (the show reads a resize
# after the movement, so the picture centred in the new size shows that the
# movement was handled and ignored). Then a size the engine
# refuses: the message on standard error, the window closed with
# WM_DELETE_WINDOW, and the stored file untouched although the show sets
# SizeFull when it ends. Then a resized window gets pictures of its new size
# from the next picture on, and -fullscreen fills the screen.
case_own_window() {
    setup own-window 400x300
    # Colour names come from the display; one it does not know is a usage error.
    local status=0
    "$NIMBREL_HACK" -bgcolor nosuchcolour >/dev/null 2>"$WORK/usage.txt" || status=$?
    [ "$status" -eq 2 ] && [ "$(head -1 "$WORK/usage.txt")" = "nimbrel: unknown colour nosuchcolour" ] ||
        fail "-bgcolor nosuchcolour: status $status, $(head -1 "$WORK/usage.txt")"
    render "$WORK/picture.png" 120x90 0
    # (240 div 2) - (120 div 2) = 60, (160 div 2) - (90 div 2) = 35
    convert -size 240x160 'xc:#336699' "$WORK/picture.png" -geometry +60+35 -composite "$WORK/expected.png"
    # -wait 1: the picture after the resize comes within a second.
    start_hack -geometry 300x200+20+10 -mrp "$MRP" -palettes "$X11_DATA" -size 120x90 -layout center \
        -bgcolor '#336699' -draw-mode 0 -wait 1
    local window seen
    window=$(visible_window)
    seen=$(now_ms)
    [ "$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')" = 300x200 ] ||
        fail "the window is not 300x200: $(xdotool getwindowgeometry "$window")"
    # Two movements inside the window, then the resize, in one connection:
    # the show receives them in this order. The resize fails when the window
    # has gone already.
    xdotool mousemove 100 100 mousemove 120 110 windowsize "$window" 240 160 2>"$WORK/xdotool.txt" ||
        expect_running "a mouse movement in the first second ended the show"
    log "the mouse moved $(($(now_ms) - seen)) ms after the window could be seen"
    expect_screen "$WORK/expected.png" 60 240x160+20+10
    xdotool key space
    expect_exit 20
    HACK_PID=

    store_settings SizeFull=0 SizeX=0 SizeY=50
    start_hack -geometry 200x100+0+0 -mrp "$MRP" -palettes "$X11_DATA" -bgcolor navy
    local i
    window=
    for i in $(seq 100); do
        window=$(xdotool search --name '^Nimbrel$' 2>/dev/null | head -1) || true
        [ -n "$window" ] && grep -q 'サイズ指定が不正です' "$WORK/hack.log" && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "no window named Nimbrel"
    grep -qx 'nimbrel: サイズ指定が不正です' "$WORK/hack.log" || {
        cat "$WORK/hack.log" >&2
        fail "no message for the refused size"
    }
    # navy is (0, 0, 128): the window shows the background colour alone.
    convert -size 200x100 'xc:#000080' "$WORK/navy.png"
    expect_screen "$WORK/navy.png" 20 200x100+0+0
    "$X11_HELPER" delete "$window"
    expect_exit 20
    HACK_PID=
    expect_stored_untouched

    # -full: the next picture takes the size the window has by then.
    rm -f "$STORED_FILE"
    render "$WORK/before.png" 200x100 4
    render "$WORK/after.png" 260x150 4
    start_hack -geometry 200x100+0+0 -mrp "$MRP" -palettes "$X11_DATA" -wait 1
    expect_screen "$WORK/before.png" 60 200x100+0+0
    window=$(xdotool search --name '^Nimbrel$' | head -1)
    xdotool windowsize "$window" 260 150
    expect_screen "$WORK/after.png" 60 260x150+0+0
    kill -TERM "$HACK_PID"
    expect_exit 20
    HACK_PID=

    render "$WORK/full.png" 400x300 4
    start_hack -fullscreen -mrp "$MRP" -palettes "$X11_DATA" -wait 600
    expect_screen "$WORK/full.png" 60
    xdotool click 1
    expect_exit 20
}

# SIGTERM in the middle of a slow picture: the show ends within a row or two,
# with status 0 and no shared-memory segment. The time is printed; the bound
# only catches a show that does not end at all.
case_sigterm() {
    setup sigterm 640x480
    # Every point inside the set, so every point takes the whole iteration
    # limit: a limit that makes each row take about 20 ms in this build, as
    # nimbrel-render's figures show, and the picture about 10 s.
    local limit=1000 seconds rate
    while :; do
        printf 'T=MANDEL, Title=Slow, Cr=-0.2, Ci=0, W=0.05, I=%d\r\n' "$limit" >"$WORK/slow.mrp"
        seconds=$("$NIMBREL_RENDER" --stats -s 32x24 -i 0 -m 0 -o "$WORK/calibration.png" "$WORK/slow.mrp" |
            sed -n 's/.* \([0-9.]*\) s$/\1/p')
        [ -n "$seconds" ] || fail "nimbrel-render gave no figures"
        awk -v s="$seconds" 'BEGIN { exit !(s >= 0.05) }' && break
        limit=$((limit * 10))
    done
    rate=$(awk -v s="$seconds" -v n=$((32 * 24 * limit)) 'BEGIN { printf "%.0f", n / s }')
    limit=$(awk -v r="$rate" 'BEGIN { l = int(r * 0.02 / 640); print (l < 100 ? 100 : l) }')
    printf 'T=MANDEL, Title=Slow, Cr=-0.2, Ci=0, W=0.05, I=%d\r\n' "$limit" >"$WORK/slow.mrp"
    log "$rate iterations a second: the limit $limit"
    start_hack -root -mrp "$WORK/slow.mrp" -palettes "$WORK" -draw-mode 0 -wait 600
    # The first copy of the picture in progress makes the shared-memory image.
    local i
    for i in $(seq 300); do
        [ "$(segments_of "$HACK_PID")" -ge 1 ] && break
        sleep 0.1
    done
    [ "$(segments_of "$HACK_PID")" -ge 1 ] || fail "no shared-memory segment: no copy of the picture"
    expect_running "before the signal"
    log "the picture is being drawn"
    sleep 0.5
    stop_hack TERM
    echo "x11.sigterm: nimbrel ended $ENDED_MS ms after SIGTERM in the middle of a picture"
    [ "$ENDED_MS" -le 5000 ] || fail "nimbrel took $ENDED_MS ms to end after SIGTERM"
}

# A scene whose every row would take hours (every point inside the set with
# the largest limit a line may give, at 3840x2160): SIGTERM a second into the
# first row still ends the show at once, since the rows yield within
# themselves.
case_endless() {
    setup endless 3840x2160
    printf 'T=MANDEL, Title=h, Cr=-0.1, Ci=0, W=0.2, I=2000000000, DM=1\r\n' >"$WORK/endless.mrp"
    start_hack -root -mrp "$WORK/endless.mrp" -palettes "$WORK" -wait 1
    sleep 1
    expect_running "in the first row"
    # A budget of work between two yields takes about 30 ms in the release
    # build and some seconds in the sanitizer build, which the bound allows.
    local bound=2000
    [ -n "${X11_SANITIZED:-}" ] && bound=90000
    stop_hack TERM $((bound / 1000 + 1))
    echo "x11.endless: nimbrel ended $ENDED_MS ms after SIGTERM in a row of hours"
    [ "$ENDED_MS" -le "$bound" ] || fail "nimbrel took $ENDED_MS ms to end after SIGTERM"
}

# The first picture on a full-HD screen: the time from the start of the
# program until the screen shows the complete picture, as the helper that
# reads the screen every 10 ms sees it. The scene: the first of the samples,
# alone in its file.
case_first_picture() {
    setup first-picture 1920x1080
    grep -m1 '^T=' "$X11_SAMPLES/scenes.mrp" >"$WORK/first.mrp"
    "$NIMBREL_RENDER" -s 1920x1080 -i 0 -p "$X11_SAMPLES/palettes" -o "$WORK/expected.png" --stats "$WORK/first.mrp" ||
        fail "nimbrel-render"
    convert "$WORK/expected.png" "$WORK/expected.ppm"
    "$X11_HELPER" match "$WORK/expected.ppm" 120000 >"$WORK/match.txt" &
    local match=$!
    start_hack -root -no-journey -mrp "$WORK/first.mrp" -palettes "$X11_SAMPLES/palettes" -wait 600
    wait "$match" || fail "the screen never equalled nimbrel-render's picture"
    echo "x11.first-picture: the first complete picture at 1920x1080 after $(cat "$WORK/match.txt") ms"
    expect_screen "$WORK/expected.png" 10
    stop_hack TERM
}

# -journey: a zoom from the whole set into a scene 8 halvings deep, a keyframe
# a halving, at the clock's frame rate; the screen ends on exactly the still
# that nimbrel-render draws, and stays on it for the pause.
case_journey() {
    setup journey 320x240
    printf 'T=MANDEL, Title=j, Cr=-0.7453, Ci=0.1127, W=0.0117, I=300, DM=0\r\n' >"$WORK/deep.mrp"
    "$NIMBREL_RENDER" -s 320x240 -i 0 -p "$WORK" -o "$WORK/expected.png" "$WORK/deep.mrp" >/dev/null ||
        fail "nimbrel-render"
    start_hack -root -journey -zoom-speed 0.3 -mrp "$WORK/deep.mrp" -palettes "$WORK" -wait 600
    sleep 0.5
    screenshot "$WORK/early.png"
    [ "$(differing_pixels "$WORK/expected.png" "$WORK/early.png")" != 0 ] || fail "the still came at once, not at the end of a zoom"
    expect_screen "$WORK/expected.png" 60
    sleep 1
    expect_screen "$WORK/expected.png" 1
    stop_hack TERM
}

# Debian's XScreenSaver with the hack installed into a staging folder: its
# activation shows one of the sample scenes, its deactivation and its exit end
# the hack. The daemon refuses to run as root: as root the case creates a
# user of its own.
case_daemon() {
    command -v xscreensaver >/dev/null && command -v xscreensaver-command >/dev/null ||
        skip "xscreensaver is not installed (scripts/install-deps installs it)"
    local size=320x240
    STAGE=$(mktemp -d /tmp/nimbrel-x11-XXXXXX)
    chmod 755 "$STAGE"
    cmake --install "$X11_BUILD" --prefix "$STAGE/usr" >"$STAGE/install.log" || {
        cat "$STAGE/install.log" >&2
        fail "cmake --install"
    }
    local hack="$STAGE/usr/libexec/xscreensaver/nimbrel"
    [ -x "$hack" ] || fail "the installed hack is not in $hack"
    mkdir -p "$STAGE/home"
    local run_as=()
    if [ "$(id -u)" -eq 0 ]; then
        command -v useradd >/dev/null && command -v runuser >/dev/null ||
            skip "running as root without useradd and runuser: no ordinary user to run the daemon as"
        local name="nimbrel-x11-$$"
        useradd -M -d "$STAGE/home" -s /bin/sh "$name" 2>"$STAGE/useradd.log" ||
            skip "running as root and useradd failed ($(cat "$STAGE/useradd.log")): no ordinary user to run the daemon as"
        TEST_USER=$name
        chown "$name" "$STAGE/home"
        run_as=(runuser -u "$name" --)
        log "the daemon runs as the user $name"
    fi
    setup daemon "$size" -ac
    # The case looks for the stills of the gallery, which the hack plays
    # without a scene file of its own; journeys have a case of their own.
    cat >"$STAGE/home/.xscreensaver" <<EOF
mode:		one
selected:	0
timeout:	1:00:00
lock:		False
fade:		False
unfade:		False
splash:		False
dpmsEnabled:	False
grabDesktopImages:	False
programs:	"Nimbrel"	$hack -root -no-journey	\n
EOF
    [ -n "$TEST_USER" ] && chown "$TEST_USER" "$STAGE/home/.xscreensaver"
    local env=(env -i HOME="$STAGE/home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin LANG=C.UTF-8)
    xss_command() { "${run_as[@]}" "${env[@]}" xscreensaver-command "$@"; }
    "${run_as[@]}" "${env[@]}" xscreensaver -no-splash >"$WORK/daemon.log" 2>&1 &
    DAEMON_PID=$!
    local i
    for i in $(seq 200); do
        xss_command -version >/dev/null 2>&1 && break
        sleep 0.1
    done
    xss_command -version >/dev/null 2>&1 || {
        cat "$WORK/daemon.log" >&2
        fail "the daemon did not start"
    }
    log "the daemon runs: $(xss_command -version 2>&1 | head -1)"

    # The gallery's scenes as the first picture shows them: each with a
    # fresh engine, in the draw mode of the settings (none stored: 4).
    local count
    count=$(grep -c '^T=' "$X11_GALLERY/scenes.mrp")
    for i in $(seq 0 $((count - 1))); do
        render "$WORK/sample-$i.png" "$size" 4 "$i" gallery
    done

    # The hack the daemon started, among the daemon's processes.
    find_hack() {
        local pid
        for pid in $(descendants "$DAEMON_PID"); do
            [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$hack" ] && {
                echo "$pid"
                return
            }
        done
    }
    wait_hack() {
        local i
        for i in $(seq 300); do
            HACK_PID=$(find_hack)
            [ -n "$HACK_PID" ] && return
            sleep 0.1
        done
        cat "$WORK/daemon.log" >&2
        fail "the daemon started no nimbrel"
    }
    # A sanitizer build draws a deep gallery scene some ten times slower,
    # and ends only at its next yield.
    wait_gone() {
        local i tenths=200
        [ -n "${X11_SANITIZED:-}" ] && tenths=900
        for i in $(seq "$tenths"); do
            kill -0 "$1" 2>/dev/null || return 0
            sleep 0.1
        done
        fail "nimbrel still runs $((tenths / 10)) s after $2"
    }

    xss_command -activate >/dev/null
    wait_hack
    log "the daemon started nimbrel ($HACK_PID)"
    local end=$((SECONDS + 90)) shown=
    while [ $SECONDS -lt $end ] && [ -z "$shown" ]; do
        screenshot "$WORK/shot.png"
        for i in $(seq 0 $((count - 1))); do
            [ "$(differing_pixels "$WORK/sample-$i.png" "$WORK/shot.png")" = 0 ] && shown=$i && break
        done
        sleep 0.2
    done
    [ -n "$shown" ] || fail "the screen shows none of the sample scenes (see $WORK/shot.png)"
    log "the screen shows sample scene $shown"
    local pid=$HACK_PID
    xss_command -deactivate >/dev/null
    wait_gone "$pid" "-deactivate"
    [ "$(segments_of "$pid")" -eq 0 ] || fail "nimbrel left a shared-memory segment"
    log "-deactivate ended nimbrel"

    xss_command -activate >/dev/null
    wait_hack
    pid=$HACK_PID
    log "activated again: nimbrel ($pid)"
    xss_command -exit >/dev/null
    wait_gone "$pid" "-exit"
    wait_gone "$DAEMON_PID" "-exit (the daemon)"
    [ "$(segments_of "$pid")" -eq 0 ] || fail "nimbrel left a shared-memory segment"
    HACK_PID=
    log "-exit ended nimbrel and the daemon"
}

# The staged installation and the Debian package hold what a Linux user
# expects where the user expects it, and nothing else; the package depends on
# the libraries that the programs link.
case_package() {
    command -v cpack >/dev/null && command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null ||
        skip "cpack, dpkg-deb or dpkg-shlibdeps is missing (scripts/install-deps installs dpkg-dev)"
    WORK="$X11_WORK/package"
    rm -rf "$WORK"
    mkdir -p "$WORK"
    STAGE=$(mktemp -d /tmp/nimbrel-x11-XXXXXX)
    printf '%s\n' usr/bin/nimbrel-render usr/bin/nimbrel-explore usr/libexec/xscreensaver/nimbrel \
        usr/share/man/man1/nimbrel-render.1.gz usr/share/man/man1/nimbrel-explore.1.gz \
        usr/share/doc/nimbrel/copyright usr/share/doc/nimbrel/CHANGELOG.md usr/share/man/man6/nimbrel.6.gz usr/share/nimbrel/samples/palettes/aurora.mcf \
        usr/share/nimbrel/samples/palettes/copper.mcf usr/share/nimbrel/samples/palettes/fire.mcf \
        usr/share/nimbrel/samples/palettes/jewel.mcf usr/share/nimbrel/samples/palettes/ocean.mcf \
        usr/share/nimbrel/samples/palettes/relief.mcf usr/share/nimbrel/samples/palettes/夕焼け.mcf \
        usr/share/nimbrel/samples/scenes.mrp usr/share/xscreensaver/config/nimbrel.xml >"$WORK/expected.txt"
    (cd "$X11_GALLERY" && find . -type f | sed 's|^\./|usr/share/nimbrel/gallery/|') >>"$WORK/expected.txt"
    LC_ALL=C sort -o "$WORK/expected.txt" "$WORK/expected.txt"
    cmake --install "$X11_BUILD" --prefix "$STAGE/usr" >"$WORK/install.log" || fail "cmake --install"
    (cd "$STAGE" && find usr -type f | LC_ALL=C sort) >"$WORK/staged.txt"
    diff "$WORK/expected.txt" "$WORK/staged.txt" || fail "the staged installation holds other files"
    log "cmake --install: the $(wc -l <"$WORK/staged.txt") files where they belong"
    cpack --config "$X11_BUILD/CPackConfig.cmake" -G DEB -B "$STAGE/deb" >"$WORK/cpack.log" 2>&1 || {
        cat "$WORK/cpack.log" >&2
        fail "cpack -G DEB"
    }
    local deb
    deb=$(ls "$STAGE"/deb/nimbrel_*.deb)
    dpkg -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort >"$WORK/deb.txt"
    diff "$WORK/expected.txt" "$WORK/deb.txt" || fail "the package holds other files"
    local depends library
    depends=$(dpkg-deb --field "$deb" Depends)
    for library in libx11-6 libxext6 libpng16-16 libsdl2-2.0-0 libstdc++6 libc6; do
        grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
    done
    log "$(basename "$deb"): the same files; Depends: $depends"
}

case ${1:-} in
package) case_package ;;
root) case_root ;;
window-id) case_window_id ;;
tiled) case_tiled ;;
own-window) case_own_window ;;
huge-size) case_huge_size ;;
sigterm) case_sigterm ;;
endless) case_endless ;;
first-picture) case_first_picture ;;
journey) case_journey ;;
daemon) case_daemon ;;
*)
    echo "usage: x11.sh package|root|window-id|tiled|own-window|huge-size|sigterm|endless|first-picture|journey|daemon" >&2
    exit 2
    ;;
esac
