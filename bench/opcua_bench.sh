#!/usr/bin/env bash
# Side-by-side benchmark of the OPC UA front and a stock node-opcua server (bench/opcua_bench.mjs)
# on a release build: bench/opcua_bench.sh [100000,1000000] [more options of opcua_bench.mjs].
# Writes bench/results/opcua.md (and the raw figures to build-release/opcua-bench/opcua.json).
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=${1:-100000,1000000}
shift || true
command -v node >/dev/null || { echo "node is missing (scripts/setup.sh installs it)" >&2; exit 1; }
[ -f opcua/node_modules/node-opcua/package.json ] ||
    { echo "node-opcua is missing: (cd opcua && npm ci)" >&2; exit 1; }
[ -d build-release ] || cmake --preset release >/dev/null
cmake --build build-release -j2 --target varbank >/dev/null
exec node bench/opcua_bench.mjs --variables "$sizes" --build build-release "$@"
