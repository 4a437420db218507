#!/usr/bin/env bash
# The web zip of scripts/package-web holds the built site, the gallery and the
# samples as they are in the source, the licence, the changelog and the
# notices, in one folder, and nothing else.
#   tests/web/zip.sh WORK
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
files_under() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

rm -rf "$work" && mkdir -p "$work/unpacked"
zip=$("$source/scripts/package-web" --built "$work")
version=$(sed -n 's/^project(Nimbrel VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
[ "$(basename "$zip")" = "Nimbrel-$version-web.zip" ] || fail "the zip is named $(basename "$zip")"
(cd "$work/unpacked" && LC_ALL=C.UTF-8 cmake -E tar xf "$zip") || fail "the zip does not unpack"
[ "$(ls "$work/unpacked")" = "Nimbrel-$version-web" ] || fail "the zip's folders: $(ls "$work/unpacked")"
unpacked=$work/unpacked/Nimbrel-$version-web

{ files_under "$source/build/web/site"; printf '%s\n' LICENSE.txt CHANGELOG.md THIRD-PARTY-NOTICES.txt; } |
    LC_ALL=C sort >"$work/expected.txt"
diff "$work/expected.txt" <(files_under "$unpacked") >&2 || fail "the zip holds other files than the site and the texts"
for set in gallery samples; do
    diff -r "$source/$set" "$unpacked/$set" >&2 || fail "the zip's $set differs from the source's"
done
[ -f "$unpacked/index.html" ] || fail "no index.html"
grep -q '^MIT License' "$unpacked/LICENSE.txt" && grep -q 'Copyright (c) 2026 Orv' "$unpacked/LICENSE.txt" ||
    fail "LICENSE.txt is not the MIT licence of Orv"
grep -q "^## $version" "$unpacked/CHANGELOG.md" || fail "CHANGELOG.md names no $version"
cmp -s "$source/packaging/web/THIRD-PARTY-NOTICES.txt" "$unpacked/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt is not the web module's notices"
grep -q "musl" "$unpacked/THIRD-PARTY-NOTICES.txt" || fail "the notices name no musl"
# A non-ASCII name (a palette's) is stored with the zip's UTF-8 flag (bit 11).
name=$(files_under "$unpacked" | grep -v '^[ -~]*$' | head -1)
if [ -n "$name" ]; then
    offset=$(LC_ALL=C grep -obUaF "Nimbrel-$version-web/$name" "$zip" | head -1 | cut -d: -f1)
    flags=$(od -An -tu2 -j $((offset - 24)) -N2 "$zip" | tr -d ' ')
    [ $((flags & 2048)) -ne 0 ] || fail "the zip stores $name without its UTF-8 flag"
fi
echo "the web zip holds the site, the gallery, the samples, the licence, the changelog and the notices ($(stat -c %s "$zip") bytes)"
