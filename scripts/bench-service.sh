#!/usr/bin/env bash
# Load benchmark of varbank serve: wrk against 127.0.0.1 on a generated program of 100,000
# variables (release build): resolve of one name per request, a batch of 100, and browse pages
# of 100, at 1, 2 and 16 connections, 5 seconds each. Writes bench/results/service.md.
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
./build-release/host/varbank serve "$work/plant.xml" --port 0 >"$work/serve.out" 2>"$work/serve.err" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 300); do grep -q http "$work/serve.out" && break; sleep 0.1; done
url=$(grep -o 'http://[^ ]*' "$work/serve.out") || { cat "$work/serve.err"; exit 1; }
{
    echo "# varbank serve under wrk ($(nproc) cores, ${duration} s per run, $(date -u +%Y-%m-%d))"
    echo
    echo "| request | connections | requests/s | p50 | p90 | p99 |"
    echo "|---|---:|---:|---:|---:|---:|"
    for scenario in resolve_one resolve_batch browse_page; do
        for connections in 1 2 16; do
            wrk -t 1 -c "$connections" -d "${duration}s" --timeout 10s --latency \
                -s "bench/service/$scenario.lua" "$url" >"$work/wrk.txt"
            rate=$(awk '/^Requests\/sec/ {print $2}' "$work/wrk.txt")
            p50=$(awk '$1 == "50%" {print $2}' "$work/wrk.txt")
            p90=$(awk '$1 == "90%" {print $2}' "$work/wrk.txt")
            p99=$(awk '$1 == "99%" {print $2}' "$work/wrk.txt")
            errors=$(grep -E "Non-2xx|Socket errors" "$work/wrk.txt" || true)
            [ -z "$errors" ] || { echo "$scenario: $errors" >&2; exit 1; }
            echo "| $scenario | $connections | $rate | $p50 | $p90 | $p99 |"
        done
    done
} | tee bench/results/service.md
