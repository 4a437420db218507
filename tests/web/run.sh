#!/usr/bin/env bash
# Runs cases of the web page's tests in Debian's Chromium:
#   tests/web/run.sh CASE...        (cases/CASE.test.mjs; none: all of them)
#   tests/web/run.sh --build        the site, by scripts/web
#   tests/web/run.sh --zip WORK     the web zip's files (zip.sh)
# The environment names the site (NIMBREL_SITE), nimbrel-render (NIMBREL_RENDER)
# and the folder for the tests' files (NIMBREL_WEB_OUT). Exits 77, skipped,
# when the browser or the test packages are not on this machine; on CI that
# is a failure instead, since CI installs them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
chromium=${NIMBREL_CHROMIUM:-/usr/lib/chromium/chromium}

skip() {
    if [ "${CI:-}" = true ]; then
        echo "error: $* (scripts/install-deps installs it)" >&2
        exit 1
    fi
    echo "skipped: $* (scripts/install-deps installs it)"
    exit 77
}
command -v emcc >/dev/null || skip "no emscripten (emcc), which builds the page"
[ -x "$chromium" ] || skip "no Chromium at $chromium"
command -v node >/dev/null || skip "no Node.js"
[ -f "$here/node_modules/@playwright/test/package.json" ] || skip "no Playwright in tests/web/node_modules"
if [ "${1:-}" = --build ]; then exec bash "$here/../../scripts/web"; fi
site=${NIMBREL_SITE:-$here/../../build/web/site}
[ -f "$site/index.html" ] || { echo "error: no page at $site/index.html: scripts/web builds it" >&2; exit 1; }
if [ "${1:-}" = --zip ]; then exec bash "$here/zip.sh" "$2"; fi

cases=()
for name in "$@"; do cases+=("cases/$name.test.mjs"); done
cd "$here"
export PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1
exec node node_modules/@playwright/test/cli.js test --config playwright.config.mjs "${cases[@]}"
