#!/usr/bin/env bash
# Runs the OPC UA tests with node's test runner. Usage: run.sh VARBANK_BINARY OPCUA_DIR
# EXAMPLES_DIR [SAMPLES_DIR]. Exits 77 (skipped) when node or the packages of OPCUA_DIR are not installed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export VARBANK_BINARY=$1 VARBANK_OPCUA_DIR=$2 VARBANK_EXAMPLES=$3 VARBANK_SAMPLES=${4:-}

command -v node >/dev/null || { echo "SKIPPED: node is not installed (scripts/setup.sh installs it)" >&2; exit 77; }
if [ ! -f "$VARBANK_OPCUA_DIR/node_modules/node-opcua/package.json" ]; then
    echo "SKIPPED: the OPC UA packages are not installed in $VARBANK_OPCUA_DIR/node_modules (run scripts/setup.sh's varbank_ensure_opcua, or scripts/test.sh)" >&2
    exit 77
fi
cd "$here" && exec timeout 540 node --experimental-websocket --test --test-concurrency=1 units.test.mjs hooks.test.mjs feed.test.mjs server.test.mjs writes.test.mjs security.test.mjs reload.test.mjs subscriptions.test.mjs samples.test.mjs
