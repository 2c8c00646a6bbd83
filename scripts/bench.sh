#!/usr/bin/env bash
# Builds the release preset and runs the benchmark suite; writes the raw results to
# bench/results/latest.json and a short table to bench/results/latest.md, then measures
# resolution from Python against that figure into bench/results/python.md.
# Extra arguments go to the benchmark binary (for example --benchmark_filter=Resolve).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
varbank_build release >/dev/null
mkdir -p bench/results
./build-release/bench/varbank_bench --benchmark_out=bench/results/latest.json \
    --benchmark_out_format=json "$@"
python3 bench/summarize.py bench/results/latest.json > bench/results/latest.md
cat bench/results/latest.md
/usr/bin/python3 bench/python_bench.py --build build-release > bench/results/python.md
cat bench/results/python.md
