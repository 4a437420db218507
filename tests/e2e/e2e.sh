#!/usr/bin/env bash
# End-to-end tests of Nimbrel.scr and nimbrel-explore.exe under Wine in Xvfb.
#
#   e2e.sh prefix     makes the Wine prefix that every test copies (once; kept
#                     in $E2E_WORK until the Wine version changes)
#   e2e.sh CASE       runs one test case (see the list at the end)
#
# Each case runs in a prefix and an X display of its own, so cases may run in
# parallel. The environment names the programs (CTest sets it):
#   NIMBREL_SCR      Nimbrel.scr (MinGW build)
#   NIMBREL_EXPLORE  nimbrel-explore.exe (MinGW build; the explorer's cases
#                    and the installer's)
#   NIMBREL_HELPER   nimbrel_e2e_helper.exe (MinGW build)
#   NIMBREL_DIALOG_TEST  nimbrel_e2e_dialog.exe (MinGW build; the case
#                    settings-unwind only)
#   NIMBREL_RENDER   nimbrel-render (native build)
#   E2E_DATA         tests/e2e/data: the scene and palette files
#   NIMBREL_SAMPLES  samples/ of the source
#   NIMBREL_GALLERY  gallery/ of the source
#   E2E_WORK         a folder of the build for prefixes, screenshots and logs
set -euo pipefail

: "${NIMBREL_SCR:?}" "${NIMBREL_HELPER:?}" "${NIMBREL_RENDER:?}" "${E2E_DATA:?}" "${E2E_WORK:?}"

export WINEDEBUG=-all
# No Mono or Gecko installers: the program needs neither. No menu entries in
# the user's desktop for the shortcuts an installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

readonly SCREEN_W=800 SCREEN_H=600
readonly KEY='HKCU\Software\Orv\Nimbrel\Settings'
readonly TEMPLATE="$E2E_WORK/prefix-template"

# The real ImageMagick, ahead of any stand-in of the same name.
convert() {
    if [ -x /usr/bin/convert ]; then /usr/bin/convert "$@"; else command convert "$@"; fi
}

log() { echo "[$(date +%T)] $*"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# --- the prefix that every case copies ------------------------------------

make_prefix() {
    mkdir -p "$E2E_WORK"
    exec 9>"$E2E_WORK/prefix.lock"
    flock 9
    local version
    version="$(wine --version) e2e-3"
    if [ -f "$TEMPLATE/.nimbrel-e2e" ] && [ "$(cat "$TEMPLATE/.nimbrel-e2e")" = "$version" ]; then
        log "prefix of $version is there"
        return
    fi
    log "making the prefix ($version); the first time takes a while"
    rm -rf "$TEMPLATE" "$TEMPLATE.new"
    (
        export WINEPREFIX="$TEMPLATE.new"
        unset DISPLAY
        wineboot -i
        # A crash must end the process, not wait in a dialog.
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
        # There is no window manager in Xvfb: a window Wine left to one would
        # wait for it in vain whenever it is hidden.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
        # Japanese text in every system font, as Windows links its Japanese
        # fonts to them: captions and message boxes use Tahoma here.
        local face
        for face in Tahoma "Segoe UI" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
                /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK JP' /f
        done
        wineserver -w
    ) >"$E2E_WORK/prefix.log" 2>&1 || {
        cat "$E2E_WORK/prefix.log" >&2
        fail "wineboot"
    }
    echo "$version" >"$TEMPLATE.new/.nimbrel-e2e"
    mv "$TEMPLATE.new" "$TEMPLATE"
}

# --- one case: prefix, display, processes ---------------------------------

WORK= XVFB_PID= SCR_PID= HOST_PID=

cleanup() {
    local status=$?
    set +e
    [ -n "$SCR_PID" ] && kill "$SCR_PID" 2>/dev/null
    [ -n "$HOST_PID" ] && kill "$HOST_PID" 2>/dev/null
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    # The prefix is large; screenshots and logs stay for a look after a failure.
    [ -n "$WORK" ] && rm -rf "$WORK/prefix"
    exit $status
}

# A display of our own; 24 bits so that every colour survives the trip. The
# X server writes its display number into $1.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp 3>"$1" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
}

# setup NAME [X-SERVER-STARTER]
setup() {
    local name=$1 start_x=${2:-start_xvfb}
    [ -f "$TEMPLATE/.nimbrel-e2e" ] || make_prefix
    WORK="$E2E_WORK/$name"
    rm -rf "$WORK"
    mkdir -p "$WORK"
    trap cleanup EXIT
    cp -a "$TEMPLATE" "$WORK/prefix"
    export WINEPREFIX="$WORK/prefix"
    # Wine links the user's Documents, Desktop and the like to the home
    # folder; what a program writes there stays in the prefix.
    local folder
    for folder in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$folder" ]; then
            rm "$folder"
            mkdir "$folder"
        fi
    done

    local displayfile="$WORK/display"
    "$start_x" "$displayfile"
    local i
    for i in $(seq 100); do
        [ -s "$displayfile" ] && break
        sleep 0.1
    done
    [ -s "$displayfile" ] || fail "the X server did not start"
    export DISPLAY=":$(head -1 "$displayfile")"

    # One wine server for the whole case: every wine command starts faster.
    wineserver -p
    mkdir -p "$WINEPREFIX/drive_c/nimbrel"
    cp "$E2E_DATA"/* "$WINEPREFIX/drive_c/nimbrel/"
    log "case $name on display $DISPLAY"
}

# Writes the settings given as NAME=VALUE: strings, as the program stores
# them, or NAME=dword:XXXXXXXX for a 32-bit integer value.
set_settings() {
    local file="$WORK/settings.reg" pair
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Orv\\Nimbrel\\Settings]\r\n'
        for pair in "$@"; do
            local value=${pair#*=}
            if [[ $value == dword:* ]]; then
                printf '"%s"=%s\r\n' "${pair%%=*}" "$value"
            else
                value=${value//\\/\\\\}
                printf '"%s"="%s"\r\n' "${pair%%=*}" "$value"
            fi
        done
    } >"$file"
    wine reg import "$(winepath -w "$file")" >/dev/null 2>&1 || fail "wine reg import"
}

# The settings a show of the sample scene starts from.
readonly MRP='C:\nimbrel\one.mrp'
readonly MCF='C:\nimbrel'

start_scr() {
    log "Nimbrel.scr $*"
    wine "$NIMBREL_SCR" "$@" >"$WORK/scr.log" 2>&1 &
    SCR_PID=$!
}

# Waits up to $1 seconds for the program to end; fails unless it ended with 0.
expect_exit() {
    local seconds=$1 i
    for i in $(seq $((seconds * 10))); do
        kill -0 "$SCR_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$SCR_PID" 2>/dev/null; then
        helper msgbox 0 >"$WORK/left-box.txt" 2>&1 || true
        screenshot "$WORK/left.png"
        fail "Nimbrel.scr still runs after $seconds s (see $WORK)"
    fi
    local status=0
    wait "$SCR_PID" || status=$?
    SCR_PID=
    [ "$status" -eq 0 ] || fail "Nimbrel.scr ended with status $status"
    log "Nimbrel.scr ended"
}

expect_running() {
    kill -0 "$SCR_PID" 2>/dev/null || fail "Nimbrel.scr ended: $1"
}

helper() { wine "$NIMBREL_HELPER" "$@" | tr -d '\r'; }

screenshot() { import -window root "$1"; }

# Number of pixels in which two pictures differ.
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# Takes screenshots until the screen (or the part $3 = WxH+X+Y of it) equals
# the picture $1; fails after $2 seconds, keeping the last shot and the
# difference.
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
        sleep 0.3
    done
    compare "$expected" "$shot" "$WORK/difference.png" 2>/dev/null || true
    fail "the screen differs from $(basename "$expected") in $diff pixels (see $WORK)"
}

# nimbrel-render's picture of the sample scene: $1 file, $2 size WxH, $3 the
# stored draw-mode number.
render() {
    "$NIMBREL_RENDER" -s "$2" -i 0 -m "$3" -p "$E2E_DATA" -o "$1" "$E2E_DATA/one.mrp" >/dev/null ||
        fail "nimbrel-render"
}

# Every one of the nine settings is in the registry as a string.
expect_nine_settings() {
    local listing name
    listing=$(wine reg query "$KEY" 2>/dev/null | tr -d '\r')
    for name in Bgcolor DM SizeFull MrpFile McfFolder SizeX SizeY Wait DrawMode; do
        grep -Eq "^ +$name +REG_SZ" <<<"$listing" || {
            echo "$listing" >&2
            fail "the setting $name is not in the registry"
        }
    done
    log "the nine settings are in the registry"
}

# Waits for the show window; with "move", moves the mouse over it at once.
wait_show_window() {
    helper window NimbrelShowWindow 30000 "$@" >"$WORK/window.txt" || fail "no show window"
}

# --- the cases -------------------------------------------------------------

# The full-screen show draws exactly nimbrel-render's picture at the screen
# size; a mouse move in its first second does not end it, a key does, and the
# settings are written back.
case_show_key() {
    setup show-key
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=1 DM=0 Wait=600000 DrawMode=1
    render "$WORK/expected.png" "${SCREEN_W}x${SCREEN_H}" 1
    start_scr /s
    wait_show_window move
    xdotool mousemove 400 300 mousemove 420 310
    # Past the second in which mouse moves are ignored: the show goes on.
    sleep 1.5
    expect_running "a mouse move in the first second ended the show"
    expect_screen "$WORK/expected.png" 60
    expect_running "the show ended by itself"
    xdotool key space
    expect_exit 20
    expect_nine_settings
}

# Journey 1: the show zooms from the whole set into the scene, 4.6 halvings at
# 0.3 s each, and the screen ends on exactly the still of the scene; a key then
# ends the show, and the journey's settings stay stored.
case_show_journey() {
    setup show-journey
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=1 DM=0 Wait=600000 DrawMode=1 Journey=1 ZoomSpeed=3
    render "$WORK/expected.png" "${SCREEN_W}x${SCREEN_H}" 1
    start_scr /s
    wait_show_window
    expect_screen "$WORK/expected.png" 60
    sleep 1
    expect_screen "$WORK/expected.png" 5
    xdotool key space
    expect_exit 20
    expect_nine_settings
    wine reg query "$KEY" /v Journey 2>/dev/null | tr -d '\r' | grep -Eq "Journey +REG_SZ +1$" ||
        fail "Journey is not stored as 1"
}

# SizeFull 0 and DM 1: the picture centred on Bgcolor; a mouse move once the
# picture is finished ends the show.
case_show_center() {
    setup show-center
    # $00336699 is blue 33, green 66, red 99.
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=0 SizeX=301 SizeY=201 DM=1 'Bgcolor=$00336699' \
        Wait=600000 DrawMode=2
    render "$WORK/picture.png" 301x201 2
    # (800 div 2) - (301 div 2) = 250, (600 div 2) - (201 div 2) = 200
    convert -size "${SCREEN_W}x${SCREEN_H}" 'xc:#996633' "$WORK/picture.png" -geometry +250+200 -composite \
        "$WORK/expected.png"
    start_scr /S
    wait_show_window
    expect_screen "$WORK/expected.png" 60
    sleep 0.5 # the mouse is armed again a moment after the picture
    xdotool mousemove 100 100 sleep 0.3 mousemove 200 150
    expect_exit 20
    expect_nine_settings
}

# A deep scene, far below the doubles (height 1e-60 at the Misiurewicz point
# i, the centre to every digit): the show's picture is nimbrel-render's.
case_show_deep() {
    setup show-deep
    local line='T=MANDEL, Title=Deep, Cr=0.000000000000000000000000000000000000000000000000000000000000000000000000000001, Ci=1, W=1e-60, I=3000'
    printf '%s\r\n' "$line" >"$WINEPREFIX/drive_c/nimbrel/deep.mrp"
    set_settings 'MrpFile=C:\nimbrel\deep.mrp' McfFolder="$MCF" SizeFull=0 SizeX=301 SizeY=201 DM=1 \
        'Bgcolor=$00336699' Wait=600000 DrawMode=0
    "$NIMBREL_RENDER" -s 301x201 -i 0 -m 0 -p "$E2E_DATA" -o "$WORK/picture.png" \
        "$WINEPREFIX/drive_c/nimbrel/deep.mrp" >/dev/null || fail "nimbrel-render"
    convert -size "${SCREEN_W}x${SCREEN_H}" 'xc:#996633' "$WORK/picture.png" -geometry +250+200 -composite \
        "$WORK/expected.png"
    start_scr /S
    wait_show_window
    expect_screen "$WORK/expected.png" 90
    xdotool key space
    expect_exit 20
}

# SizeFull 0 and DM 0: the picture repeated across the screen, the copies at
# the right and bottom edges cut off; the system's request to start a screen
# saver is answered and goes no further; a click ends the show.
case_show_tiled() {
    setup show-tiled
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=0 SizeX=230 SizeY=170 DM=0 Wait=600000 DrawMode=4
    render "$WORK/picture.png" 230x170 4
    convert -size "${SCREEN_W}x${SCREEN_H}" "tile:$WORK/picture.png" "$WORK/expected.png"
    start_scr -s
    wait_show_window
    expect_screen "$WORK/expected.png" 60
    local answer
    answer=$(helper syscommand "$(head -1 "$WORK/window.txt")" 0xF140) # SC_SCREENSAVE
    [ "$answer" = 1 ] || fail "SC_SCREENSAVE was answered with '$answer'"
    sleep 0.5
    expect_running "SC_SCREENSAVE ended the show"
    expect_screen "$WORK/expected.png" 5
    xdotool click 1
    expect_exit 20
}

# A scene file that is not there: the error box with the file's name, then a
# show window that still ends on a key and writes its settings.
case_missing_mrp() {
    setup missing-mrp
    set_settings 'MrpFile=C:\nimbrel\missing.mrp' McfFolder="$MCF"
    start_scr /s
    helper msgbox 30000 close >"$WORK/box.txt" || fail "no error box"
    printf 'エラー\nC:\\nimbrel\\missing.mrp\r\nが見つかりません。\n' | tr -d '\r' >"$WORK/box-expected.txt"
    # The box's own line break is CR LF; the helper's output loses the CR.
    cmp -s "$WORK/box.txt" "$WORK/box-expected.txt" || {
        diff "$WORK/box-expected.txt" "$WORK/box.txt" >&2 || true
        fail "the error box says something else"
    }
    log "the error box names the missing file"
    sleep 1
    expect_running "the show window went with the error box"
    xdotool key Escape
    expect_exit 20
    expect_nine_settings
}

# A setting of another registry type than text: the application's exception
# box (caption "Nimbrel") names it, no show starts, and a key still ends the
# program.
case_bad_value() {
    setup bad-value
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeX=dword:000000c8
    start_scr /s
    helper msgbox 30000 close >"$WORK/box.txt" || fail "no exception box"
    printf "Nimbrel\nInvalid data type for 'SizeX'\n" >"$WORK/box-expected.txt"
    cmp -s "$WORK/box.txt" "$WORK/box-expected.txt" || {
        diff "$WORK/box-expected.txt" "$WORK/box.txt" >&2 || true
        fail "the exception box says something else"
    }
    log "the exception box names the value"
    sleep 1
    expect_running "the show window went with the exception box"
    xdotool key Escape
    expect_exit 20
}

# The preview inside a host window: a child of the host that fills it; keys
# and clicks do nothing; the process ends when the host window goes away.
#
# Wine (8.0) shows nothing that a process draws with GDI into a child window
# whose top-level window belongs to another process, so the picture itself
# cannot be compared here; the full-screen cases compare the same drawing.
case_preview() {
    setup preview
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=0 SizeX=120 SizeY=90 DM=1 'Bgcolor=$00204080' \
        Wait=600000 DrawMode=1
    wine "$NIMBREL_HELPER" host 100 80 320 240 >"$WORK/host.txt" 2>&1 &
    HOST_PID=$!
    local i host=
    for i in $(seq 300); do
        host=$(head -1 "$WORK/host.txt" 2>/dev/null | tr -d '\r')
        [ -n "$host" ] && break
        sleep 0.1
    done
    [ -n "$host" ] || fail "no host window"
    start_scr /p "$host"
    local children=
    for i in $(seq 300); do
        children=$(helper children "$host")
        grep -q ' NimbrelShowWindow 100,80,420,320 visible' <<<"$children" && break
        sleep 0.1
    done
    grep -q ' NimbrelShowWindow 100,80,420,320 visible' <<<"$children" ||
        fail "no preview window filling the host: $children"
    log "the preview window fills the host"
    xdotool mousemove 260 200 click 1 sleep 0.3 key space sleep 0.3 mousemove 280 220 click 3
    sleep 1.5
    expect_running "the preview ended on input"
    helper close "$host"
    expect_exit 20
}

# --- the show on two monitors ------------------------------------------------

# Xvfb places every screen at the same origin, so two monitors come from
# Xorg's dummy driver: the primary of SCREEN_W x SCREEN_H and a second of
# 640x480 left of it, joined by Xinerama. Wine reads them from Xinerama once
# it is told not to use XRandR and XVidMode, which the dummy screens lack; the
# primary is at (0, 0) and the second at (-640, 0) for the program. In the X
# root window the second comes first: it is at x = 0, the primary at x = 640.
readonly LEFT_W=640 LEFT_H=480

start_xorg_two_monitors() {
    command -v Xorg >/dev/null && [ -e /usr/lib/xorg/modules/drivers/dummy_drv.so ] || {
        echo "SKIPPED: Xorg with the dummy driver is not installed (scripts/install-deps installs it)"
        exit 77
    }
    # The modes are the standard timings of 800x600 (SCREEN_W x SCREEN_H) and
    # 640x480 (LEFT_W x LEFT_H).
    cat >"$WORK/xorg.conf" <<'EOF_XORG'
Section "ServerFlags"
  Option "DontVTSwitch" "true"
  Option "AutoAddDevices" "false"
  Option "Xinerama" "true"
EndSection
Section "Device"
  Identifier "card0"
  Driver "dummy"
  VideoRam 32768
EndSection
Section "Device"
  Identifier "card1"
  Driver "dummy"
  VideoRam 32768
EndSection
Section "Monitor"
  Identifier "monitor0"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "800x600" 40.00 800 840 968 1056 600 601 605 628
EndSection
Section "Monitor"
  Identifier "monitor1"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "640x480" 25.17 640 656 752 800 480 490 492 525
EndSection
Section "Screen"
  Identifier "primary"
  Device "card0"
  Monitor "monitor0"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "800x600"
    Virtual 800 600
  EndSubSection
EndSection
Section "Screen"
  Identifier "left"
  Device "card1"
  Monitor "monitor1"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "640x480"
    Virtual 640 480
  EndSubSection
EndSection
Section "ServerLayout"
  Identifier "two monitors"
  Screen 0 "primary" 0 0
  Screen 1 "left" LeftOf "primary"
EndSection
EOF_XORG
    mkdir -p "$WORK/xorg.conf.d"
    Xorg -noreset -nolisten tcp -config "$WORK/xorg.conf" -configdir "$WORK/xorg.conf.d" -logfile "$WORK/xorg.log" \
        -displayfd 3 3>"$1" 2>"$WORK/xorg.stderr" &
    XVFB_PID=$!
    local i
    for i in $(seq 100); do
        [ -s "$1" ] && return
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    tail -5 "$WORK/xorg.stderr"
    echo "SKIPPED: Xorg did not start here (it needs root or a console)"
    XVFB_PID=
    exit 77
}

# The show on two monitors: each shows nimbrel-render's picture at its own
# size, one key ends the show on both, and the settings are written back. A
# scene file that is not there is reported in one error box, not one a window.
case_show_monitors() {
    setup show-monitors start_xorg_two_monitors
    # Before any program runs: Wine's desktop reads the monitors when it starts.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /t REG_SZ /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXVidMode /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -k
    wineserver -w
    wineserver -p
    set_settings MrpFile="$MRP" McfFolder="$MCF" SizeFull=1 DM=0 Wait=600000 DrawMode=1
    render "$WORK/primary.png" "${SCREEN_W}x${SCREEN_H}" 1
    render "$WORK/left.png" "${LEFT_W}x${LEFT_H}" 1
    start_scr /s
    wait_show_window
    # The pictures are drawn in turn: the primary's first.
    expect_screen "$WORK/primary.png" 60 "${SCREEN_W}x${SCREEN_H}+${LEFT_W}+0"
    expect_screen "$WORK/left.png" 60 "${LEFT_W}x${LEFT_H}+0+0"
    expect_running "the show ended by itself"
    xdotool key space
    expect_exit 20
    expect_nine_settings
    set_settings 'MrpFile=C:\nimbrel\missing.mrp'
    start_scr /s
    helper msgbox 30000 close >"$WORK/box.txt" || fail "no error box"
    grep -q 'missing.mrp' "$WORK/box.txt" || fail "the error box says something else: $(cat "$WORK/box.txt")"
    if helper msgbox 3000 >"$WORK/second-box.txt" 2>&1; then fail "a second error box: $(cat "$WORK/second-box.txt")"; fi
    log "one error box for both windows"
    expect_running "the show windows went with the error box"
    xdotool key Escape
    expect_exit 20
}

# The password change: under Wine "MPR.DLL" has the routine, so the program
# calls it and ends without a message.
case_password() {
    setup password
    start_scr /a
    expect_exit 30
}

# --- the settings dialog ---------------------------------------------------

# Control identifiers of the settings dialog (src/win32/setting_dialog_win32.h).
readonly ID_OK=1 ID_PAGES=101 ID_MRP=110 ID_REF=113 ID_MCF=112 ID_SIZE_FULL=120 ID_SIZE_USER=121 ID_SIZE_X=123
readonly ID_SIZE_Y=125 ID_SPREAD=126 ID_CENTER=127 ID_BGCOLOR=129 ID_WAIT=130 ID_DRAW_MODE=131

DIALOG=

# Starts Nimbrel.scr with the arguments and waits for its settings dialog.
open_dialog() {
    start_scr "$@"
    DIALOG=$(helper window NimbrelSettingDialog 30000) || fail "no settings dialog for '$*'"
    # The dialog fills its controls once it is active.
    local i
    for i in $(seq 50); do
        [ -n "$(control "$ID_WAIT" text)" ] && return
        sleep 0.1
    done
    fail "the settings dialog shows no values"
}

# A field of the dialog's control ID (see the helper's "controls"): enabled,
# visible, state or text.
control() {
    local id=$1 field
    case $2 in enabled) field=3 ;; visible) field=4 ;; state) field=5 ;; text) field=6 ;; esac
    helper controls "$DIALOG" | awk -F '\t' -v id="$id" -v f="$field" '$1 == id { print $f; exit }'
}

# Fails unless the field of each control has the value: ID:FIELD=VALUE ...
expect_controls() {
    local listing pair id field value actual
    listing=$(helper controls "$DIALOG")
    for pair in "$@"; do
        id=${pair%%:*} field=${pair#*:}
        value=${field#*=} field=${field%%=*}
        local column
        case $field in enabled) column=3 ;; visible) column=4 ;; state) column=5 ;; text) column=6 ;; esac
        actual=$(awk -F '\t' -v id="$id" -v f="$column" '$1 == id { print $f; exit }' <<<"$listing")
        [ "$actual" = "$value" ] || {
            echo "$listing" >&2
            fail "control $id: $field is '$actual', not '$value'"
        }
    done
}

# The value of a setting in the registry.
setting() {
    wine reg query "$KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_SZ *//p"
}

# Fails unless each setting has the value: NAME=VALUE ...
expect_settings() {
    local pair actual
    for pair in "$@"; do
        actual=$(setting "${pair%%=*}")
        [ "$actual" = "${pair#*=}" ] || fail "the setting ${pair%%=*} is '$actual', not '${pair#*=}'"
    done
}

# The settings the dialog cases start from: a draw mode the list does not
# offer, and a pause that is no whole number of seconds.
readonly DIALOG_SETTINGS=(MrpFile="$MRP" McfFolder="$MCF" SizeFull=0 SizeX=320 SizeY=240 DM=1 'Bgcolor=$00336699'
    Wait=1500 DrawMode=7)

# Every command line but the show's, the preview's and the password change's
# opens the settings dialog, filled from the stored values; Cancel (here the
# title bar's close button) stores them back unchanged.
case_settings() {
    setup settings
    set_settings "${DIALOG_SETTINGS[@]}"
    open_dialog /c:1234
    [ "$(helper state "$DIALOG")" = $'enabled\tvisible\tNimbrelの設定' ] || fail "dialog: $(helper state "$DIALOG")"
    expect_controls "$ID_PAGES:state=0" "$ID_MRP:text=$MRP" "$ID_MRP:visible=visible" "$ID_MCF:text=$MCF" \
        "$ID_SIZE_FULL:state=unchecked" "$ID_SIZE_USER:state=checked" "$ID_SIZE_X:text=320" "$ID_SIZE_X:enabled=enabled" \
        "$ID_SIZE_Y:text=240" "$ID_SIZE_X:visible=hidden" "$ID_SPREAD:state=unchecked" "$ID_CENTER:state=checked" \
        "$ID_BGCOLOR:enabled=enabled" "$ID_WAIT:text=1" "$ID_DRAW_MODE:state=3" \
        "1:text=了解(&O)" "2:text=ｷｬﾝｾﾙ(&C)" "100:text=更新(&A)" "$ID_SIZE_FULL:text=全画面" "$ID_SIZE_USER:text=サイズ指定"
    log "the dialog shows the stored values"
    helper close "$DIALOG"
    expect_exit 20
    expect_settings MrpFile="$MRP" SizeFull=0 SizeX=320 Wait=1500 DM=1
    local args
    for args in /c /x; do
        # shellcheck disable=SC2086
        open_dialog $args
        helper close "$DIALOG"
        expect_exit 20
    done
    # Esc is Cancel.
    open_dialog
    xdotool key Escape
    expect_exit 20
}

# Entries typed and OK: every value stored as the dialog shows it.
case_settings_ok() {
    setup settings-ok
    set_settings "${DIALOG_SETTINGS[@]}"
    open_dialog /c
    helper settext "$DIALOG" "$ID_MCF" 'C:\windows' >/dev/null
    helper settext "$DIALOG" "$ID_SIZE_X" 640 >/dev/null
    helper settext "$DIALOG" "$ID_SIZE_Y" 480 >/dev/null
    helper click "$DIALOG" "$ID_SPREAD"
    helper settext "$DIALOG" "$ID_WAIT" 5 >/dev/null
    helper select "$DIALOG" "$ID_DRAW_MODE" 1
    sleep 0.3
    expect_controls "$ID_SPREAD:state=checked" "$ID_CENTER:state=unchecked" "$ID_BGCOLOR:enabled=disabled"
    helper click "$DIALOG" "$ID_OK"
    expect_exit 20
    expect_settings MrpFile="$MRP" 'McfFolder=C:\windows' SizeFull=0 SizeX=640 SizeY=480 DM=0 Wait=5000 DrawMode=1 \
        'Bgcolor=$00336699'
    log "OK stored the entries"
    # Full screen; the size edits keep their text while disabled and the
    # stored sizes stay; the stored draw mode 7, shown as 浮き出し, is stored
    # as that mode (the registry's number of 浮き出し is 4).
    set_settings "${DIALOG_SETTINGS[@]}"
    open_dialog /c
    helper click "$DIALOG" "$ID_SIZE_FULL"
    sleep 0.3
    expect_controls "$ID_SIZE_FULL:state=checked" "$ID_SIZE_X:enabled=disabled" "$ID_SIZE_Y:enabled=disabled"
    helper click "$DIALOG" "$ID_OK"
    expect_exit 20
    expect_settings SizeFull=1 SizeX=320 SizeY=240 Wait=1000 DrawMode=4
}

# An empty MRP entry: the message, the page "ﾌｧｲﾙ" shown, nothing stored, the
# dialog still open.
case_settings_no_mrp() {
    setup settings-no-mrp
    set_settings "${DIALOG_SETTINGS[@]}"
    open_dialog /c
    [ "$(helper tab "$DIALOG" "$ID_PAGES" 1)" = 1 ] || fail "the page 表示 was not shown"
    expect_controls "$ID_MRP:visible=hidden" "$ID_WAIT:visible=visible"
    helper settext "$DIALOG" "$ID_MRP" "" >/dev/null
    helper settext "$DIALOG" "$ID_WAIT" 7 >/dev/null
    helper click "$DIALOG" "$ID_OK"
    helper msgbox 30000 >"$WORK/box.txt" || fail "no error box"
    printf 'エラー\nMRPﾌｧｲﾙが見つかりません\n' >"$WORK/box-expected.txt"
    cmp -s "$WORK/box.txt" "$WORK/box-expected.txt" || {
        diff "$WORK/box-expected.txt" "$WORK/box.txt" >&2 || true
        fail "the error box says something else"
    }
    expect_controls "$ID_PAGES:state=0" "$ID_MRP:visible=visible" "$ID_WAIT:visible=hidden"
    expect_settings MrpFile="$MRP" Wait=1500
    helper msgbox 1000 close >/dev/null
    sleep 0.5
    expect_running "the dialog closed after the failed check"
    log "the error box on the page ﾌｧｲﾙ; nothing stored"
    # Any other page is refused with the same message.
    [ "$(helper tab "$DIALOG" "$ID_PAGES" 2)" = 0 ] || fail "the page ﾊﾞｰｼﾞｮﾝ情報 was shown"
    helper msgbox 30000 close >"$WORK/box.txt" || fail "no error box on the page change"
    cmp -s "$WORK/box.txt" "$WORK/box-expected.txt" || fail "the page change's box says something else"
    sleep 0.3
    expect_controls "$ID_PAGES:state=0" "$ID_MRP:visible=visible"
    log "the page change was refused"
    helper close "$DIALOG"
    expect_exit 20
    expect_settings MrpFile="$MRP" Wait=1500
}

# The folder chooser: it opens over the disabled dialog, and a cancel leaves
# the entry and hands the dialog back its input.
case_settings_folder() {
    setup settings-folder
    set_settings "${DIALOG_SETTINGS[@]}"
    open_dialog /c
    helper click "$DIALOG" "$ID_REF"
    helper msgbox 30000 >"$WORK/browser.txt" || fail "no folder browser"
    grep -q 'MCFファイルがあるフォルダを選んで下さい' "$WORK/browser.txt" || {
        cat "$WORK/browser.txt" >&2
        fail "the folder browser shows another title"
    }
    [ "$(helper state "$DIALOG" | cut -f1)" = disabled ] || fail "the dialog takes input under the folder browser"
    helper msgbox 1000 cancel >/dev/null
    sleep 0.5
    [ "$(helper state "$DIALOG" | cut -f1)" = enabled ] || fail "the dialog stays disabled"
    expect_controls "$ID_MCF:text=$MCF"
    log "the folder browser opened and its cancel left the entry"
    # The keyboard is the dialog's again: Esc is its Cancel.
    xdotool key Escape
    expect_exit 20
}

# The settings dialog built with each of its requests to the system refused
# in turn (nimbrel_e2e_dialog.exe): every attempt that fails part-way leaves
# no window, DC or GDI object behind, and no window tied to a dead object.
case_settings_unwind() {
    setup settings-unwind
    : "${NIMBREL_DIALOG_TEST:?}"
    local status=0
    # Into a file, not a pipe: the first program of the prefix starts Wine's
    # services, which would hold a pipe open.
    wine "$NIMBREL_DIALOG_TEST" >"$WORK/unwind.log" 2>&1 || status=$?
    tr -d '\r' <"$WORK/unwind.log" >"$WORK/unwind.txt"
    cat "$WORK/unwind.txt"
    [ "$status" -eq 0 ] || fail "the dialog left something behind (see $WORK/unwind.txt)"
    log "$(tail -1 "$WORK/unwind.txt")"
}

# --- the explorer -----------------------------------------------------------

EXPLORER=

# Starts nimbrel-explore.exe with the arguments, its standard output in
# $WORK/explore.log, and waits for its window.
start_explorer() {
    log "nimbrel-explore.exe $*"
    wine "$NIMBREL_EXPLORE" "$@" >"$WORK/explore.log" 2>"$WORK/explore-err.log" &
    SCR_PID=$!
    EXPLORER=$(helper window NimbrelExplorer 30000) || fail "no explorer window (see $WORK/explore-err.log)"
}

# Waits until a line of the explorer's standard output matches the extended
# regular expression $1; fails after $2 seconds.
wait_log() {
    local pattern=$1 end=$((SECONDS + $2))
    while [ $SECONDS -lt $end ]; do
        if tr -d '\r' <"$WORK/explore.log" | grep -Eq -- "$pattern"; then
            log "explorer: $(tr -d '\r' <"$WORK/explore.log" | grep -E -- "$pattern" | tail -1)"
            return
        fi
        kill -0 "$SCR_PID" 2>/dev/null || fail "nimbrel-explore.exe ended: $(cat "$WORK/explore-err.log")"
        sleep 0.2
    done
    fail "after $2 s no line of the explorer's output matches /$pattern/ (see $WORK/explore.log)"
}

# The picture area of the explorer's window $1 on the screen, WxH+X+Y: its
# client area above the status bar.
picture_area() {
    local x y w h top
    read -r x y w h <<<"$(helper client "$1")"
    top=$(helper children "$1" | awk '$2 == "msctls_statusbar32" { split($3, r, ","); print r[2]; exit }')
    [ -n "$x" ] && [ -n "$top" ] || fail "no client area or status bar of the explorer's window"
    echo "${w}x$((top - y))+$x+$y"
}

# Moves the mouse to the pixel ($2, $3) of the picture area $1 (WxH+X+Y).
mouse_at() {
    local origin=${1#*+}
    xdotool mousemove $((${origin%%+*} + $2)) $((${origin#*+} + $3))
}

# Waits until the file $1 exists; fails after $2 seconds.
wait_file() {
    local end=$((SECONDS + $2))
    while [ $SECONDS -lt $end ]; do
        [ -s "$1" ] && return
        sleep 0.2
    done
    fail "after $2 s there is no $1"
}

# The user's documents folder in the prefix.
documents() { echo "$(windows_folder USERPROFILE)/Documents"; }

# Field $2 of the scene line $1.
field() { tr ',' '\n' <<<"$1" | sed -n "s/^ *$2=//p"; }

# Whether two decimal numbers agree to 1e-12 of $3.
close_to() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= s * 1e-12) }'; }

# The explorer starts on the default view, drawn as nimbrel-render draws it
# at the size asked for; a wheel notch at a point, the key of draw mode 2 and
# S leave a line in the user's own scene file, made at the first S, that
# names the view under the cursor, and the picture is nimbrel-render's
# picture of that line. The File menu makes that file the screen saver's.
case_explore_navigate() {
    setup explore-navigate
    : "${NIMBREL_EXPLORE:?}"
    start_explorer -s 480x320 --log
    wait_log '^Mandelbrot  Cr=-0\.8 Ci=0  W=3  I=256  Pow=2  DM=4 interlaced  MCF=\(built-in\)  [0-9]+\.[0-9]{3} s$' 60
    local area
    area=$(picture_area "$EXPLORER")
    [ "${area%%+*}" = 480x320 ] || fail "the picture area is $area, not 480x320"
    printf 'T=MANDEL, Title=Home, Cr=-0.8, Ci=0, W=3, I=256, DM=4\r\n' >"$WORK/home.mrp"
    "$NIMBREL_RENDER" -s 480x320 -i 0 -o "$WORK/home.png" "$WORK/home.mrp" >/dev/null || fail "nimbrel-render"
    expect_screen "$WORK/home.png" 30 "$area"
    local kept i
    kept="$(documents)/Nimbrel/scenes.mrp"
    [ ! -e "$(dirname "$kept")" ] || fail "the folder of the user's scenes is there before the first S"

    mouse_at "$area" 300 100
    xdotool click 4 key 2 key s
    wait_log 'W=1\.5  I=256  Pow=2  DM=2 boundary trace  MCF=\(built-in\)  [0-9]+\.[0-9]{3} s' 60
    wait_file "$kept" 30
    local line
    line=$(sed -n 2p "$kept" | tr -d '\r')
    log "kept: $line"
    head -1 "$kept" | grep -q '^\* Scenes kept with nimbrel-explore' || fail "no comment line first"
    # Pixel (300, 100) of the default view at 480 x 320 is (-0.2375, 0.5625);
    # a zoom by 2 there brings the centre half the way to it.
    [[ $line == "T=MANDEL, Title=Scene 1, Cr="* ]] || fail "the line is not Scene 1 of the Mandelbrot set: $line"
    [ "$(field "$line" W)" = 1.5 ] || fail "W is not 1.5"
    close_to "$(field "$line" Cr)" -0.51875 1 || fail "Cr is not -0.51875"
    close_to "$(field "$line" Ci)" 0.28125 1 || fail "Ci is not 0.28125"
    [ "$(field "$line" I)" = 256 ] && [ "$(field "$line" DM)" = 2 ] || fail "I or DM wrong"
    "$NIMBREL_RENDER" -s 480x320 -i 0 -o "$WORK/expected.png" "$kept" >/dev/null || fail "nimbrel-render"
    expect_screen "$WORK/expected.png" 30 "$area"

    # File, "Use my scenes in the screen saver...", asked and answered Yes.
    xdotool key alt+f
    sleep 0.5
    xdotool key u
    helper msgbox 30000 yes >"$WORK/question.txt" || fail "no question"
    grep -q "^Show the scenes of" "$WORK/question.txt" || fail "the question is: $(cat "$WORK/question.txt")"
    local mine
    mine=$(winepath -w "$kept")
    for i in $(seq 100); do
        [ "$(setting MrpFile)" = "$mine" ] && break
        sleep 0.1
    done
    expect_settings "MrpFile=$mine"
    log "the user's scene file is the screen saver's"
    xdotool key Escape
    expect_exit 20
}

# A scene file the show refuses: the show's message in the error box, and
# the default view. Then File, Open on the samples (the dialog driven by
# keys), drawn with the screen saver's palettes: PageDown draws the second
# scene as nimbrel-render does, F12 writes that picture beside the user's
# scene file, and the file is the first of the recent ones.
case_explore_open() {
    setup explore-open
    : "${NIMBREL_EXPLORE:?}" "${NIMBREL_SAMPLES:?}"
    local samples="$WINEPREFIX/drive_c/nimbrel/samples"
    cp -r "$NIMBREL_SAMPLES" "$samples"
    set_settings 'McfFolder=C:\nimbrel\samples\palettes'
    printf 'T=MANDEL, Title=A, Cr=0, Ci=0, W=3\r\nT=JULIA, Title=B, Cr=0, Ci=0, W=3\r\n' \
        >"$WINEPREFIX/drive_c/nimbrel/bad.mrp"
    start_explorer -s 320x200 --log 'C:\nimbrel\bad.mrp'
    helper msgbox 30000 close >"$WORK/box.txt" || fail "no error box"
    printf 'エラー\nC:\\nimbrel\\bad.mrp\r\n2 行目にｴﾗｰがあったので読み込みを中止しました。\r\nじゅりあ定数の虚部の値(Ji)がありません。\n' |
        tr -d '\r' >"$WORK/box-expected.txt"
    cmp -s "$WORK/box.txt" "$WORK/box-expected.txt" || {
        diff "$WORK/box-expected.txt" "$WORK/box.txt" >&2 || true
        fail "the error box says something else"
    }
    wait_log '^Mandelbrot  Cr=-0\.8 Ci=0  W=3 .* [0-9]+\.[0-9]{3} s$' 60
    log "the show's message in the box, and the default view"

    local area
    area=$(picture_area "$EXPLORER")
    mouse_at "$area" 100 100
    xdotool key alt+f
    sleep 0.5
    xdotool key o
    local dialog
    dialog=$(helper window '#32770' 30000) || fail "no file dialog"
    [ "$(helper state "$dialog" | cut -f3)" = Open ] || fail "the dialog is '$(helper state "$dialog")'"
    # The keys go to the window under the mouse.
    local x y w h
    read -r x y w h <<<"$(helper client "$dialog")"
    xdotool mousemove $((x + w / 2)) $((y + h / 2))
    xdotool type 'C:\nimbrel\samples\scenes.mrp'
    xdotool key Return
    wait_log 'MCF=ocean  scene 1/14  [0-9]+\.[0-9]{3} s$' 60
    [ "$(helper state "$EXPLORER" | cut -f3)" = "scenes.mrp - Nimbrel explorer" ] ||
        fail "the title is '$(helper state "$EXPLORER" | cut -f3)'"
    area=$(picture_area "$EXPLORER")
    mouse_at "$area" 100 100
    xdotool key Next
    wait_log 'MCF=fire  scene 2/14  [0-9]+\.[0-9]{3} s$' 60
    "$NIMBREL_RENDER" -s "${area%%+*}" -i 1 -p "$NIMBREL_SAMPLES/palettes" -o "$WORK/expected.png" \
        "$NIMBREL_SAMPLES/scenes.mrp" >/dev/null || fail "nimbrel-render"
    expect_screen "$WORK/expected.png" 30 "$area"
    xdotool key F12
    local png
    png="$(documents)/Nimbrel/scenes-001.png"
    wait_file "$png" 30
    sleep 0.5 # written whole
    [ "$(differing_pixels "$WORK/expected.png" "$png")" = 0 ] || fail "F12 wrote another picture (see $png)"
    log "F12 wrote nimbrel-render's picture"
    expect_registry 'HKCU\Software\Orv\Nimbrel\Explorer' 'Recent1=REG_SZ C:\nimbrel\samples\scenes.mrp'
    xdotool key Escape
    expect_exit 20
}

# --- the installer and the zip ----------------------------------------------
#
# The environment also names (CTest sets it):
#   NIMBREL_SETUP    Nimbrel-<version>-setup.exe
#   NIMBREL_ZIP      Nimbrel-<version>-win64.zip
#   NIMBREL_SHIPPED  the list of the shipped files, one path a line
#   NIMBREL_SAMPLES  samples/ of the source
#   NIMBREL_GALLERY  gallery/ of the source
#   NIMBREL_VERSION  the version of CMakeLists.txt
#   NIMBREL_CMAKE    cmake, which unpacks the zip

readonly DESKTOP='HKCU\Control Panel\Desktop'
readonly UNINSTALL='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbrel'
readonly CLASSES='HKCU\Software\Classes'

# A registry value as "TYPE DATA"; nothing when it is missing. An empty name
# is the key's default value.
reg_value() {
    local name=$2
    if [ -z "$name" ]; then
        wine reg query "$1" /ve >"$WORK/reg.txt" 2>&1 || return 0
        name='(Default)'
    else
        wine reg query "$1" /v "$name" >"$WORK/reg.txt" 2>&1 || return 0
    fi
    tr -d '\r' <"$WORK/reg.txt" | awk -v name="$name" '
        { line = $0; sub(/^ +/, "", line) }
        index(line, name " ") == 1 {
            line = substr(line, length(name) + 1); sub(/^ +/, "", line)
            type = line; sub(/ .*/, "", type)
            data = substr(line, length(type) + 1); sub(/^    /, "", data)
            print type " " data; exit
        }'
}

# Fails unless the registry holds each value: KEY NAME=TYPE DATA ...
expect_registry() {
    local key=$1 pair actual
    shift
    for pair in "$@"; do
        actual=$(reg_value "$key" "${pair%%=*}")
        [ "$actual" = "${pair#*=}" ] || fail "$key ${pair%%=*} is '$actual', not '${pair#*=}'"
    done
}

expect_no_registry() {
    local key=$1 name
    shift
    for name in "$@"; do
        [ -z "$(reg_value "$key" "$name")" ] || fail "$key $name is still there: $(reg_value "$key" "$name")"
    done
}

# A folder of the system's own: $1 an environment variable of Windows;
# prints its Unix path.
windows_folder() {
    wine cmd /c "echo %$1%" >"$WORK/folder.txt" 2>&1 || fail "no %$1%"
    winepath -u "$(tr -d '\r' <"$WORK/folder.txt" | tail -1)"
}

# The files under a folder, one relative path a line, sorted.
files_under() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# Runs the installer silently with the arguments and logs how long it took.
install_nimbrel() {
    local start end status=0
    start=$(date +%s.%N)
    # Into a file, not a pipe (see case_settings_unwind).
    wine "$NIMBREL_SETUP" /S "$@" >"$WORK/setup.log" 2>&1 || status=$?
    end=$(date +%s.%N)
    [ "$status" -eq 0 ] || fail "the installer ended with status $status"
    log "silent install${*:+ $*}: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s"
}

# Runs the uninstaller of the folder ($1, Unix) silently. It goes on in a
# copy of itself after the command returns; the uninstall entry goes last.
uninstall_nimbrel() {
    local status=0
    wine "$1/uninstall.exe" /S >"$WORK/uninstall.log" 2>&1 || status=$?
    [ "$status" -eq 0 ] || fail "the uninstaller did not start: status $status"
    local i
    for i in $(seq 600); do
        [ -z "$(reg_value "$UNINSTALL" DisplayName)" ] && break
        sleep 0.1
    done
    [ -z "$(reg_value "$UNINSTALL" DisplayName)" ] || fail "the uninstall entry is still there after 60 s"
    # The copy ends right after removing the entry.
    sleep 1
    log "uninstalled"
}

START_MENU=
start_menu() { START_MENU="$(windows_folder APPDATA)/Microsoft/Windows/Start Menu/Programs/Nimbrel"; }

# The installation in the Windows folder $1 (Unix $2): every shipped file
# and the uninstaller, nothing else; the files are the ones of the build and
# the source, and the zip holds exactly the same; the uninstall entry, the
# shortcuts and the screen saver.
expect_installed() {
    local folder=$1 unix=$2
    files_under "$unix" >"$WORK/installed.txt"
    { cat "$NIMBREL_SHIPPED"; echo uninstall.exe; } | LC_ALL=C sort >"$WORK/expected-files.txt"
    diff "$WORK/expected-files.txt" "$WORK/installed.txt" >&2 || fail "the installed files differ from the list"
    cmp "$NIMBREL_SCR" "$unix/Nimbrel.scr" || fail "the installed Nimbrel.scr is not the one built"
    cmp "$NIMBREL_EXPLORE" "$unix/nimbrel-explore.exe" || fail "the installed nimbrel-explore.exe is not the one built"
    cmp "$NIMBREL_SAMPLES/scenes.mrp" "$unix/samples/scenes.mrp" || fail "the installed scenes differ"
    cmp "$NIMBREL_GALLERY/scenes.mrp" "$unix/gallery/scenes.mrp" || fail "the installed gallery differs"
    for palette in "$NIMBREL_GALLERY"/palettes/*.mcf; do
        cmp "$palette" "$unix/gallery/palettes/$(basename "$palette")" || fail "gallery's $(basename "$palette") differs"
    done
    local palette
    for palette in "$NIMBREL_SAMPLES"/palettes/*.mcf; do
        cmp "$palette" "$unix/samples/palettes/$(basename "$palette")" || fail "$(basename "$palette") differs"
    done
    grep -q 'Copyright (c) 2026 Orv' "$unix/LICENSE.txt" && grep -q '^MIT License' "$unix/LICENSE.txt" ||
        fail "LICENSE.txt is not the MIT licence of Orv"
    grep -q 'winpthreads' "$unix/THIRD-PARTY-NOTICES.txt" || fail "the notices of the linked libraries are missing"
    grep -q "^## $NIMBREL_VERSION" "$unix/CHANGELOG.txt" || fail "CHANGELOG.txt names no $NIMBREL_VERSION"
    grep -q "Nimbrel $NIMBREL_VERSION" "$unix/ReadMe.txt" || fail "ReadMe.txt names another version"
    log "the installed files are the list's"

    rm -rf "$WORK/zip"
    mkdir -p "$WORK/zip"
    (cd "$WORK/zip" && LC_ALL=C.UTF-8 "$NIMBREL_CMAKE" -E tar xf "$NIMBREL_ZIP") || fail "the zip does not unpack"
    LC_ALL=C sort "$NIMBREL_SHIPPED" | diff - <(files_under "$WORK/zip") >&2 || fail "the zip holds other files"
    diff -r -x uninstall.exe "$WORK/zip" "$unix" >&2 || fail "the zip's files differ from the installed ones"
    # Windows reads a name in other than the system's code page only with the
    # zip's UTF-8 flag (bit 11 of the local header's flags).
    local name offset flags
    name=$(grep -v '^[ -~]*$' "$NIMBREL_SHIPPED" | head -1)
    if [ -n "$name" ]; then
        offset=$(LC_ALL=C grep -obUaF "$name" "$NIMBREL_ZIP" | head -1 | cut -d: -f1)
        flags=$(od -An -tu2 -j $((offset - 24)) -N2 "$NIMBREL_ZIP" | tr -d ' ')
        [ $((flags & 2048)) -ne 0 ] || fail "the zip stores $name without its UTF-8 flag"
    fi
    log "the zip holds the same files"

    local short
    short=$(helper shortpath "$folder\\Nimbrel.scr") || fail "no short path"
    expect_registry "$DESKTOP" "SCRNSAVE.EXE=REG_SZ $short" "ScreenSaveActive=REG_SZ 1"
    [ "$(winepath -u "$short")" -ef "$unix/Nimbrel.scr" ] || fail "SCRNSAVE.EXE $short names another file"
    local kib
    kib=$(awk '{ s += $1 } END { printf "0x%x", int(s / 1024) }' < <(cd "$unix" && xargs -d '\n' stat -c %s <"$NIMBREL_SHIPPED"))
    expect_registry "$UNINSTALL" "DisplayName=REG_SZ Nimbrel" "DisplayVersion=REG_SZ $NIMBREL_VERSION" \
        "Publisher=REG_SZ Orv" "DisplayIcon=REG_SZ $folder\\Nimbrel.scr,0" "InstallLocation=REG_SZ $folder" \
        "UninstallString=REG_SZ \"$folder\\uninstall.exe\"" "QuietUninstallString=REG_SZ \"$folder\\uninstall.exe\" /S" \
        "NoModify=REG_DWORD 0x1" "NoRepair=REG_DWORD 0x1"
    local size
    size=$(reg_value "$UNINSTALL" EstimatedSize)
    # NSIS counts each file in whole KiB.
    [[ $size == "REG_DWORD 0x"* ]] && (( ${size#* } >= kib && ${size#* } <= kib + $(wc -l <"$NIMBREL_SHIPPED") )) ||
        fail "EstimatedSize is '$size' for $kib KiB"
    log "the screen saver and the uninstall entry are set"

    start_menu
    local expected
    for expected in "Nimbrel settings.lnk	$folder\\Nimbrel.scr	/c" "Nimbrel preview.lnk	$folder\\Nimbrel.scr	/s" \
        "Nimbrel explorer.lnk	$folder\\nimbrel-explore.exe	" "Uninstall Nimbrel.lnk	$folder\\uninstall.exe	"; do
        local lnk=${expected%%	*}
        [ -f "$START_MENU/$lnk" ] || fail "no shortcut $lnk"
        [ "$(helper shortcut "$(winepath -w "$START_MENU/$lnk")" | cut -f1,2)" = "${expected#*	}" ] ||
            fail "the shortcut $lnk starts '$(helper shortcut "$(winepath -w "$START_MENU/$lnk")")'"
    done
    log "the shortcuts start the screen saver with /c and /s, the explorer and the uninstaller"

    expect_registry "$CLASSES\\.mrp" "=REG_SZ Nimbrel.Scene"
    expect_registry "$CLASSES\\Nimbrel.Scene\\shell\\open\\command" "=REG_SZ \"$folder\\nimbrel-explore.exe\" \"%1\""
    expect_registry "$CLASSES\\Nimbrel.Scene\\DefaultIcon" "=REG_SZ $folder\\nimbrel-explore.exe,0"
    log "scene files open in the explorer"
}

# The version resource of a program: $1 file, $2 FileDescription.
expect_version() {
    local four="$NIMBREL_VERSION.0"
    helper version "$(winepath -w "$1")" >"$WORK/version.txt" || fail "no version resource in $1"
    printf '%s\n' "FILEVERSION $four" "PRODUCTVERSION $four" "ProductName=Nimbrel" "FileDescription=$2" \
        "CompanyName=Orv" "LegalCopyright=Copyright (C) 2026 Orv" "FileVersion=$NIMBREL_VERSION" \
        "ProductVersion=$NIMBREL_VERSION" | diff - "$WORK/version.txt" >&2 ||
        fail "the version resource of $(basename "$1") differs"
}

# A fresh prefix: the silent installation puts every file, value, shortcut
# and entry in place; the installed show draws one of the sample scenes at
# the screen's size, as nimbrel-render draws it, and a key ends it; the
# "Nimbrel settings" shortcut opens the settings on the gallery.
case_install() {
    setup install
    : "${NIMBREL_SETUP:?}" "${NIMBREL_ZIP:?}" "${NIMBREL_SHIPPED:?}" "${NIMBREL_SAMPLES:?}" "${NIMBREL_GALLERY:?}" \
        "${NIMBREL_VERSION:?}"
    install_nimbrel
    expect_version "$NIMBREL_SETUP" "Nimbrel setup"
    local unix folder
    unix="$(windows_folder LOCALAPPDATA)/Programs/Nimbrel"
    folder=$(winepath -w "$unix")
    [ -d "$unix" ] || fail "nothing in $unix"
    expect_installed "$folder" "$unix"
    expect_version "$unix/Nimbrel.scr" "Nimbrel screen saver"
    expect_version "$unix/nimbrel-explore.exe" "Nimbrel explorer"
    expect_settings "MrpFile=$folder\\gallery\\scenes.mrp" "McfFolder=$folder\\gallery\\palettes" Journey=1
    log "the settings name the gallery"

    # The installed show plays the gallery, as the installation left the
    # settings: every scene as the show would draw it first (a fresh engine,
    # the draw mode of a start without settings), small and tiled over the
    # screen, each picture staying 4 s. The journeys the installer turns on
    # are turned off here: at 1.5 s a halving the zoom into a deep scene
    # lasts minutes, and the still is what is compared.
    local n=0 status
    while :; do
        status=0
        "$NIMBREL_RENDER" -s 96x64 -m 4 -i "$n" -p "$unix/gallery/palettes" \
            -o "$WORK/tile-$n.png" "$unix/gallery/scenes.mrp" >/dev/null 2>"$WORK/render.log" || status=$?
        [ "$status" -eq 2 ] && break
        [ "$status" -eq 0 ] || fail "nimbrel-render of gallery scene $n"
        convert -size "${SCREEN_W}x${SCREEN_H}" "tile:$WORK/tile-$n.png" "$WORK/scene-$n.png"
        n=$((n + 1))
    done
    [ "$n" -ge 60 ] || fail "the gallery holds $n scenes"
    set_settings Wait=4000 SizeFull=0 SizeX=96 SizeY=64 DM=0 Journey=0
    start_program "$unix/Nimbrel.scr" /s
    wait_show_window
    expect_screen_any 120 "$WORK"/scene-*.png
    xdotool key space
    expect_exit 20

    wine start "$(winepath -w "$START_MENU/Nimbrel settings.lnk")" >"$WORK/start.log" 2>&1 || fail "the shortcut did not start"
    DIALOG=$(helper window NimbrelSettingDialog 30000) || fail "no settings dialog from the shortcut"
    local i
    for i in $(seq 50); do
        [ -n "$(control "$ID_WAIT" text)" ] && break
        sleep 0.1
    done
    expect_controls "$ID_MRP:text=$folder\\gallery\\scenes.mrp" "$ID_MCF:text=$folder\\gallery\\palettes"
    helper close "$DIALOG"
    log "the shortcut Nimbrel settings opened the settings on the gallery"
    for i in $(seq 100); do
        helper exists "$DIALOG" || break
        sleep 0.1
    done

    # A double click on the gallery: the explorer opens at its first scene,
    # drawn with the installed palettes as the show draws it, at the size its
    # window has on this screen. Wine (8.0) reads HKEY_CLASSES_ROOT from the
    # machine's classes alone, where Windows lays the user's over them: the
    # user's two keys go there as Windows would see them.
    local key
    for key in .mrp Nimbrel.Scene; do
        wine reg copy "$CLASSES\\$key" "HKLM\\Software\\Classes\\$key" /s /f >/dev/null 2>&1 || fail "reg copy $key"
    done
    wine start "$folder\\gallery\\scenes.mrp" >"$WORK/start.log" 2>&1 || fail "start of the scene file"
    local explorer area
    explorer=$(helper window NimbrelExplorer 30000) || fail "no explorer for the scene file"
    for i in $(seq 100); do
        [ "$(helper state "$explorer" | cut -f3)" = "scenes.mrp - Nimbrel explorer" ] && break
        sleep 0.1
    done
    [ "$(helper state "$explorer" | cut -f3)" = "scenes.mrp - Nimbrel explorer" ] ||
        fail "the explorer's title is '$(helper state "$explorer" | cut -f3)'"
    area=$(picture_area "$explorer")
    "$NIMBREL_RENDER" -s "${area%%+*}" -i 0 -p "$unix/gallery/palettes" -o "$WORK/first-scene.png" \
        "$unix/gallery/scenes.mrp" >/dev/null || fail "nimbrel-render"
    expect_screen "$WORK/first-scene.png" 90 "$area"
    helper close "$explorer"
    for i in $(seq 200); do
        helper exists "$explorer" || break
        sleep 0.1
    done
    ! helper exists "$explorer" || fail "the explorer did not close"
    log "a double click opened the explorer on the scene file's first scene"
}

# Starts a Windows program in the background as the program under test
# (expect_exit waits for it).
start_program() {
    log "$(basename "$1") ${*:2}"
    wine "$@" >"$WORK/program.log" 2>&1 &
    SCR_PID=$!
}

# Clicks through the installer's pages with the default choices: $1 the
# installer window's caption, then the caption of the button that leads on,
# on one page after the other; it is clicked once it shows that caption.
click_through_setup() {
    local window caption i
    window=$(helper window '#32770' 30000) || fail "no installer window"
    caption=$(helper state "$window" | cut -f3)
    [ "$caption" = "$1" ] || fail "the installer's caption is '$caption', not '$1'"
    shift
    for caption in "$@"; do
        for i in $(seq 100); do
            [ "$(helper controls "$window" | awk -F '\t' '$1 == 1 { print $6; exit }')" = "$caption" ] && break
            sleep 0.2
        done
        helper controls "$window" >"$WORK/setup-page.txt"
        [ "$(awk -F '\t' '$1 == 1 { print $6; exit }' "$WORK/setup-page.txt")" = "$caption" ] ||
            fail "the installer's button shows no '$caption' (see $WORK/setup-page.txt)"
        helper click "$window" 1
    done
}

# The installer as a person uses it, in the user's language: English under
# an English locale, Japanese under a Japanese one; clicked through with the
# defaults, it makes Nimbrel the screen saver.
case_install_ui() {
    setup install-ui
    start_program "$NIMBREL_SETUP"
    click_through_setup "Nimbrel Setup " "I &Agree" "&Next >" "&Install" "&Finish"
    expect_exit 60
    local unix
    unix="$(windows_folder LOCALAPPDATA)/Programs/Nimbrel"
    [ "$(winepath -u "$(reg_value "$DESKTOP" SCRNSAVE.EXE | cut -d' ' -f2-)")" -ef "$unix/Nimbrel.scr" ] ||
        fail "the English installation did not make Nimbrel the screen saver"
    log "installed in English; Nimbrel is the screen saver"

    # Japanese text needs a Japanese locale of the C library: one of our own.
    mkdir -p "$WORK/locale"
    localedef -c -i ja_JP -f UTF-8 "$WORK/locale/ja_JP.UTF-8" >"$WORK/localedef.log" 2>&1 || true
    [ -f "$WORK/locale/ja_JP.UTF-8/LC_CTYPE" ] || fail "no Japanese locale (see $WORK/localedef.log)"
    wine reg delete "$DESKTOP" /v SCRNSAVE.EXE /f >/dev/null 2>&1 || fail "SCRNSAVE.EXE not deleted"
    LOCPATH="$WORK/locale" LANG=ja_JP.UTF-8 start_program "$NIMBREL_SETUP"
    click_through_setup "Nimbrel セットアップ " "同意する(&A)" "次へ(&N) >" "インストール(&I)" "完了(&F)"
    expect_exit 60
    [ "$(winepath -u "$(reg_value "$DESKTOP" SCRNSAVE.EXE | cut -d' ' -f2-)")" -ef "$unix/Nimbrel.scr" ] ||
        fail "the Japanese installation did not make Nimbrel the screen saver"
    log "installed in Japanese; Nimbrel is the screen saver"
}

# Takes screenshots until the screen equals one of the pictures; fails after
# $1 seconds with the difference from the first.
expect_screen_any() {
    local seconds=$1 shot="$WORK/shot.png" picture
    shift
    declare -A sums=()
    for picture in "$@"; do
        sums[$(convert "$picture" rgb:- | md5sum | cut -d' ' -f1)]=$picture
    done
    local end=$((SECONDS + seconds)) sum
    while [ $SECONDS -lt $end ]; do
        screenshot "$shot"
        sum=$(convert "$shot" rgb:- | md5sum | cut -d' ' -f1)
        if [ -n "${sums[$sum]:-}" ]; then
            log "the screen equals $(basename "${sums[$sum]}")"
            return
        fi
        sleep 0.3
    done
    fail "the screen equals none of the $# pictures (see $WORK/shot.png)"
}

# A user's own choices survive the installation, a repeated installation and
# the uninstallation: the scene file, the palette folder, another screen
# saver, another program for scene files. An empty scene file, as a start
# without settings leaves it, is no choice.
case_install_keeps() {
    setup install-keeps
    local unix folder
    unix="$(windows_folder LOCALAPPDATA)/Programs/Nimbrel"
    folder=$(winepath -w "$unix")
    # The settings set before each installation (on top of those before it),
    # and the settings after it.
    local -a before=("MrpFile=$MRP" "McfFolder=$MCF" "MrpFile=" "MrpFile=$MRP")
    local -a after=("MrpFile=$MRP McfFolder=$folder\\gallery\\palettes" "MrpFile=$MRP McfFolder=$MCF"
        "MrpFile=$folder\\gallery\\scenes.mrp McfFolder=$MCF" "MrpFile=$MRP McfFolder=$MCF")
    # Scene files that another program opens: every installation leaves them
    # to it.
    wine reg add "$CLASSES\\.mrp" /ve /t REG_SZ /d Other.Scene /f >/dev/null 2>&1
    wine reg add "$CLASSES\\Other.Scene\\shell\\open\\command" /ve /t REG_SZ /d 'notepad.exe "%1"' /f \
        >/dev/null 2>&1
    local i
    for i in "${!before[@]}"; do
        set_settings "${before[$i]}"
        install_nimbrel
        # shellcheck disable=SC2086
        expect_settings ${after[$i]}
        log "installed over ${before[$i]}: ${after[$i]}"
    done
    expect_registry "$CLASSES\\.mrp" "=REG_SZ Other.Scene"
    expect_no_registry "$CLASSES\\Nimbrel.Scene\\shell\\open\\command" ""
    # Another screen saver chosen since: the uninstallation leaves it, and the
    # other program's scene files.
    wine reg add "$DESKTOP" /v SCRNSAVE.EXE /t REG_SZ /d 'C:\windows\system32\other.scr' /f >/dev/null 2>&1
    uninstall_nimbrel "$unix"
    expect_registry "$DESKTOP" 'SCRNSAVE.EXE=REG_SZ C:\windows\system32\other.scr'
    expect_registry "$CLASSES\\.mrp" "=REG_SZ Other.Scene"
    expect_registry "$CLASSES\\Other.Scene\\shell\\open\\command" '=REG_SZ notepad.exe "%1"'
    [ ! -e "$unix" ] || fail "the installation folder is still there: $(files_under "$unix")"
    expect_settings "MrpFile=$MRP" "McfFolder=$MCF"
    log "another screen saver, another program's scene files and the settings stay; the folder is gone"
}

# /D= chooses the folder; the uninstallation removes the files, shortcuts
# and entry and the screen saver, keeps the settings and what the user put
# into the folder.
case_uninstall() {
    setup uninstall
    local folder='C:\ScreenSavers\Nimbrel' unix
    install_nimbrel "/D=$folder"
    unix=$(winepath -u "$folder")
    expect_installed "$folder" "$unix"
    echo "my scenes" >"$unix/mine.mrp"
    echo "000000" >"$unix/samples/palettes/mine.mcf"
    uninstall_nimbrel "$unix"
    [ "$(files_under "$unix")" = $'mine.mrp\nsamples/palettes/mine.mcf' ] ||
        fail "the folder holds: $(files_under "$unix")"
    start_menu
    [ ! -e "$START_MENU" ] || fail "the Start menu folder is still there: $(ls "$START_MENU")"
    expect_no_registry "$UNINSTALL" DisplayName UninstallString
    expect_no_registry "$DESKTOP" SCRNSAVE.EXE
    expect_no_registry "$CLASSES\\.mrp" ""
    expect_no_registry "$CLASSES\\Nimbrel.Scene\\shell\\open\\command" ""
    expect_settings "MrpFile=$folder\\gallery\\scenes.mrp" "McfFolder=$folder\\gallery\\palettes" Journey=1
    log "the files, shortcuts, entry, screen saver and scene files' class are gone; the settings and the user's files stay"
}

case ${1:-} in
prefix) make_prefix ;;
show-key) case_show_key ;;
show-center) case_show_center ;;
show-deep) case_show_deep ;;
show-journey) case_show_journey ;;
show-tiled) case_show_tiled ;;
show-monitors) case_show_monitors ;;
missing-mrp) case_missing_mrp ;;
bad-value) case_bad_value ;;
preview) case_preview ;;
password) case_password ;;
settings) case_settings ;;
settings-ok) case_settings_ok ;;
settings-no-mrp) case_settings_no_mrp ;;
settings-folder) case_settings_folder ;;
settings-unwind) case_settings_unwind ;;
explore-navigate) case_explore_navigate ;;
explore-open) case_explore_open ;;
install) case_install ;;
install-keeps) case_install_keeps ;;
uninstall) case_uninstall ;;
install-ui) case_install_ui ;;
*)
    echo "usage: e2e.sh prefix|show-key|show-center|show-deep|show-journey|show-tiled|show-monitors|missing-mrp|bad-value|preview|password|settings|settings-ok|settings-no-mrp|settings-folder|settings-unwind|explore-navigate|explore-open|install|install-keeps|uninstall|install-ui" >&2
    exit 2
    ;;
esac
