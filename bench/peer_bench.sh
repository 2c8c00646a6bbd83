#!/usr/bin/env bash
# varbank serve (HTTP/JSON) against a stock node-opcua server holding the same generated program,
# side by side in one run on 127.0.0.1: bench/peer_bench.sh [100000[,1000000]].
# node-opcua is installed from the OPC UA front's lock file into build-release/peer-opcua, so
# the peer is the exact version the front runs. Every phase is bounded in time, the whole run
# by VARBANK_PEER_BENCH_S (default 1800 s). Writes bench/results/peer.md.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=${1:-100000}
command -v node >/dev/null || { echo "node is missing (scripts/setup.sh installs it)" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install wrk)" >&2; exit 1; }
[ -d build-release ] || cmake --preset release >/dev/null
cmake --build build-release -j2 --target varbank >/dev/null
peer=build-release/peer-opcua
if ! cmp -s opcua/package-lock.json "$peer/package-lock.json" ||
    [ ! -f "$peer/node_modules/node-opcua/package.json" ]; then
    mkdir -p "$peer"
    cp opcua/package.json opcua/package-lock.json "$peer/"
    (cd "$peer" && npm ci --omit=dev --no-audit --no-fund >/dev/null)
fi
exec timeout "${VARBANK_PEER_BENCH_S:-1800}" node bench/opcua_bench.mjs --variables "$sizes" \
    --build build-release --servers http,stock --opcua-dir "$peer" --out bench/results/peer.md
