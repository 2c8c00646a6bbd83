#!/usr/bin/env bash
# Load benchmark of varbank serve: wrk against 127.0.0.1 on a generated program of 100,000
# variables (release build), at 1, 2 and 16 connections, each run bounded in time:
# resolve of one name per request and a batch of 100, browse pages of 100, and values read
# from the memory image and from a local Modbus TCP server (one name, a batch of 100).
# Writes bench/results/service.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
command -v wrk >/dev/null || { echo "wrk is missing (apt-get install wrk)" >&2; exit 1; }
varbank_build release >/dev/null
duration=${VARBANK_BENCH_SECONDS:-5}
work=build-release/service-bench
mkdir -p "$work"
export VARBANK_VARIABLES=100000
[ -f "$work/plant.xml" ] || /usr/bin/python3 scripts/generate_program.py "$work/plant.xml" \
    --variables "$VARBANK_VARIABLES" --title plant
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT

# Starts varbank serve on the program with extra options; sets url.
start_server() {
    ./build-release/host/varbank serve "$work/plant.xml" --port 0 "$@" \
        >"$work/serve.out" 2>"$work/serve.err" &
    pids+=($!)
    for _ in $(seq 300); do grep -q http "$work/serve.out" && break; sleep 0.1; done
    url=$(grep -o 'http://[^ ]*' "$work/serve.out") || { cat "$work/serve.err" >&2; exit 1; }
}

# One table row per scenario and connection count.
run() {
    local label=$1 scenario=$2 connections
    for connections in 1 2 16; do
        wrk -t 1 -c "$connections" -d "${duration}s" --timeout 10s --latency \
            -s "bench/service/$scenario.lua" "$url" >"$work/wrk.txt"
        local errors
        errors=$(grep -E "Non-2xx|Socket errors" "$work/wrk.txt" || true)
        [ -z "$errors" ] || { echo "$label: $errors" >&2; exit 1; }
        awk -v label="$label" -v c="$connections" '
            /^Requests\/sec/ {rate = $2}
            $1 == "50%" {p50 = $2} $1 == "90%" {p90 = $2} $1 == "99%" {p99 = $2}
            END {printf "| %s | %d | %.0f | %s | %s | %s |\n", label, c, rate, p50, p90, p99}
        ' "$work/wrk.txt"
    done
}

{
    echo "# varbank serve under wrk ($(nproc) cores, ${duration} s per run, $(date -u +%Y-%m-%d))"
    echo
    echo "| request | connections | requests/s | p50 | p90 | p99 |"
    echo "|---|---:|---:|---:|---:|---:|"
    start_server
    run "resolve, 1 name" resolve_one
    run "resolve, 100 names" resolve_batch
    run "browse, page of 100" browse_page
    run "values from the image, 1 name" values_one
    run "values from the image, 100 names" values_batch
    /usr/bin/python3 tests/support/modbus_server.py 600 >"$work/modbus.out" 2>"$work/modbus.err" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/modbus.out" ] && break; sleep 0.1; done
    start_server --modbus "127.0.0.1:$(head -1 "$work/modbus.out")"
    export VARBANK_LOCATED=1
    run "values over Modbus, 1 name" values_one
    run "values over Modbus, 100 located words" values_batch
} | tee bench/results/service.md
