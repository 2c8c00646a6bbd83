#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60): scripts/fuzz.sh [SECONDS] [TARGET...]. New inputs go to build-fuzz/corpus/,
# the seed corpora in fuzz/corpus/ are only read; crashes are written to build-fuzz/. Exits
# non-zero when a target finds a crash, a leak or a timeout.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(analyser resolve browse arraytext importer)
if [ ! -f build-fuzz/build.ninja ]; then
    cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
        -DVARBANK_FUZZ=ON -DVARBANK_BUILD_TESTS=OFF -DVARBANK_BUILD_HOST=OFF >/dev/null
fi
cmake --build build-fuzz
status=0
for target in "${targets[@]}"; do
    [ -x "build-fuzz/fuzz/fuzz_$target" ] || { echo "no target $target"; status=1; continue; }
    mkdir -p "build-fuzz/corpus/$target" "build-fuzz/artifacts/$target"
    dict=()
    [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
    echo "== fuzz_$target for ${seconds}s"
    set +e
    "build-fuzz/fuzz/fuzz_$target" "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
        "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="build-fuzz/artifacts/$target/" -print_final_stats=1 2>&1 |
        grep -E "^(stat::|==|INFO: (Loaded|Running)|#[0-9]+ +DONE)|ERROR|SUMMARY|crash-|leak-|timeout-"
    rc=${PIPESTATUS[0]}
    set -e
    if [ "$rc" -ne 0 ]; then
        echo "fuzz_$target failed with status $rc (inputs in build-fuzz/artifacts/$target/)"
        status=1
    fi
done
exit $status
