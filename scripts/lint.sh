#!/usr/bin/env bash
# Checks the formatting of every C++ file and runs clang-tidy with the repository's checks on
# the library and the host (needs a configured build/ for compile_commands.json).
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files
[ -f build/compile_commands.json ] || cmake --preset default >/dev/null
# clang-tidy's own exit status is not trusted: its findings are read from what it prints.
findings=$(git ls-files 'symbtables/*.cpp' 'host/*.cpp' 'python/src/*.cpp' |
    xargs -P "$(nproc)" -n 4 clang-tidy -p build --quiet 2>&1 | grep -E "(warning|error):" || true)
if [ -n "$findings" ]; then
    echo "$findings"
    exit 1
fi
echo "lint clean"
