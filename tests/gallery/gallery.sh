#!/usr/bin/env bash
# The gallery: what it holds (counts), and that every scene draws.
#   gallery.sh counts GALLERY_FOLDER
#   gallery.sh draws GALLERY_FOLDER NIMBREL_RENDER WORK_FOLDER
set -euo pipefail

case_="$1"
gallery="$2"
mrp="$gallery/scenes.mrp"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# One scene a line, as UTF-8 "key=value|key=value|..." with keys in lower case.
scenes() {
    iconv -f CP932 -t UTF-8 "$mrp" | tr -d '\r' | awk -F, '
        { head = toupper($1); gsub(/[ \t]/, "", head) }
        head == "T=MANDEL" || head == "T=JULIA" {
            out = "kind=" substr(head, 3)
            for (i = 2; i <= NF; i++) {
                f = $i; eq = index(f, "=")
                k = tolower(substr(f, 1, eq - 1)); v = substr(f, eq + 1)
                gsub(/^[ \t]+|[ \t]+$/, "", k); gsub(/^[ \t]+|[ \t]+$/, "", v)
                out = out "|" k "=" v
            }
            print out
        }'
}

# The decimal exponent of a value such as 2.5e-38, 0.0003 or 12.
exponent() {
    awk -v w="$1" 'BEGIN {
        m = w; e = 0; p = index(tolower(w), "e")
        if (p) { m = substr(w, 1, p - 1); e = substr(w, p + 1) + 0 }
        sub(/^-/, "", m); sub(/^0*/, "", m)
        if (substr(m, 1, 1) == ".") { z = m; sub(/^\.0*/, "", z); e -= length(m) - length(z) } # 0.00ab
        else if (index(m, ".")) e += index(m, ".") - 2
        else e += length(m) - 1
        print e
    }'
}


counts() {
    iconv -f CP932 -t UTF-8 "$mrp" >/dev/null || fail "$mrp is not Shift-JIS"
    [ "$(head -c1 "$mrp")" = "*" ] || fail "$mrp does not start with a comment"
    [ "$(grep -vc $'\r$' "$mrp")" = 0 ] || fail "not every line of $mrp ends with CR LF"
    # One awk pass over the scenes: the checks of each scene, then the counts.
    local report
    report="$(scenes | awk -F'|' '
        function exponent(w,   m, e, p, z) {
            m = w; e = 0; p = index(tolower(w), "e")
            if (p) { m = substr(w, 1, p - 1); e = substr(w, p + 1) + 0 }
            sub(/^-/, "", m); sub(/^0*/, "", m)
            if (substr(m, 1, 1) == ".") { z = m; sub(/^\.0*/, "", z); e -= length(m) - length(z) }
            else if (index(m, ".")) e += index(m, ".") - 2
            else e += length(m) - 1
            return e
        }
        {
            n++; delete f
            for (i = 1; i <= NF; i++) { eq = index($i, "="); f[substr($i, 1, eq - 1)] = substr($i, eq + 1) }
            if (f["title"] == "") { print "FAIL scene " n " has no title"; next }
            if (f["memo"] == "") { print "FAIL scene " n " has no memo"; next }
            if (f["i"] == "") { print "FAIL scene " n " has no iteration limit"; next }
            print "MCF " n " " f["mcf"]
            e = exponent(f["w"])
            if (e <= -20) deep++
            if (e < -300) deeper++
            if (f["kind"] == "JULIA") julia++
            if (f["i"] + 0 >= 100000) high++
            dm = f["dm"]; if (dm !~ /^[1-8]$/) dm = 0
            dms[dm]++
            pow = f["pow"] == "" ? 2 : f["pow"]; pows[pow] = 1
            key = f["kind"] "," f["cr"] "," f["ci"] "," f["w"] "," f["jr"] "," f["ji"] "," pow
            if (key in seen) print "FAIL scene " n " shows the view of scene " seen[key]
            seen[key] = n
        }
        END {
            print "INFO scenes " n ", deep " deep " (below 1e-300: " deeper "), Julia sets " julia
            if (n < 60) print "FAIL " n " scenes, fewer than 60"
            if (deep < 20) print "FAIL " deep " deep views (W at most 1e-20), fewer than 20"
            if (deeper < 3) print "FAIL " deeper " views below 1e-300, fewer than 3"
            if (julia < 12) print "FAIL " julia " Julia sets, fewer than 12"
            if (high < 3) print "FAIL fewer than 3 scenes with an iteration limit of 100000 or more"
            for (p = 2; p <= 5; p++) if (!(p in pows)) print "FAIL no scene of power " p
            for (m = 0; m <= 8; m++) {
                print "INFO draw mode " m ": " dms[m] + 0
                if (dms[m] < 3) print "FAIL draw mode " m " in fewer than 3 scenes"
            }
        }')"
    local kind rest
    while read -r kind rest; do
        case "$kind" in
        INFO) echo "$rest" ;;
        FAIL) fail "$rest" ;;
        MCF)
            [ -f "$gallery/palettes/${rest#* }.mcf" ] ||
                fail "scene ${rest%% *} names the palette '${rest#* }', which is not there"
            ;;
        esac
    done <<<"$report"
    local palettes
    palettes="$(find "$gallery/palettes" -name '*.mcf' | wc -l)"
    [ "$palettes" -ge 12 ] || fail "$palettes palettes, fewer than 12"
}

# Every scene at a small size: exit 0, nothing on standard error, one picture
# a scene. The deep ones at 32x18, the others at 64x36.
draws() {
    local render="$3" work="$4"
    rm -rf "$work"
    mkdir -p "$work/shallow" "$work/deep"
    local n=0 s e
    iconv -f CP932 -t UTF-8 "$mrp" | tr -d '\r' | while IFS= read -r line; do
        s="$(printf '%s\n' "$line" | awk -F, '{ h = toupper($1); gsub(/[ \t]/, "", h); print h }')"
        case "$s" in T=MANDEL | T=JULIA) ;; *) continue ;; esac
        w="$(printf '%s\n' "$line" | tr ',' '\n' | awk -F= '{ k = tolower($1); gsub(/[ \t]/, "", k) } k == "w" { v = $2; gsub(/[ \t]/, "", v); print v }')"
        if [ "$(exponent "$w")" -le -20 ]; then echo "$line" >>"$work/deep.txt"; else echo "$line" >>"$work/shallow.txt"; fi
    done
    for part in shallow:64x36 deep:32x18; do
        local name="${part%%:*}" size="${part##*:}"
        iconv -f UTF-8 -t CP932 "$work/$name.txt" | sed 's/$/\r/' >"$work/$name.mrp"
        local status=0
        "$render" -s "$size" -p "$gallery/palettes" -o "$work/$name" "$work/$name.mrp" 2>"$work/$name.err" || status=$?
        [ "$status" = 0 ] || fail "nimbrel-render exits with $status on the $name scenes: $(cat "$work/$name.err")"
        [ ! -s "$work/$name.err" ] || fail "nimbrel-render warns on the $name scenes: $(cat "$work/$name.err")"
        local want got
        want="$(wc -l <"$work/$name.txt")"
        got="$(find "$work/$name" -name 'scene-*.png' | wc -l)"
        [ "$want" = "$got" ] || fail "$got pictures of $want $name scenes"
        echo "$name: $got scenes drawn at $size"
    done
}

case "$case_" in
counts) counts ;;
draws) draws "$@" ;;
*) fail "unknown case $case_" ;;
esac
