#!/usr/bin/env bash
# Runs the page test: installs puppeteer-core into WORK_DIR (once), then drives the system's
# Chromium against `varbank serve`. Usage: run.sh VARBANK_BINARY WORK_DIR. Exits 77 (skipped)
# when Chromium, node or npm is absent, or when the npm packages cannot be installed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
binary=$1
work=$2

skip() {
    echo "SKIPPED: $*" >&2
    exit 77
}

chromium=${VARBANK_CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || skip "no Chromium at $chromium (install the Debian package chromium)"
command -v node >/dev/null || skip "node is not installed"
command -v npm >/dev/null || skip "npm is not installed"

mkdir -p "$work"
cp "$here/package.json" "$here/.npmrc" "$work/"
if [ ! -d "$work/node_modules/puppeteer-core" ]; then
    echo "installing puppeteer-core into $work"
    if ! (cd "$work" && timeout 240 npm install --no-audit --no-fund --package-lock=false >npm-install.log 2>&1); then
        tail -5 "$work/npm-install.log" >&2
        rm -rf "$work/node_modules"
        skip "npm install failed (offline?); see $work/npm-install.log"
    fi
fi

# The test script is run from the work folder so that node finds its node_modules.
cp "$here/browser.test.mjs" "$work/"
cd "$work" && exec timeout 90 node browser.test.mjs "$binary" "$chromium" "$work" "$here/../../examples"
