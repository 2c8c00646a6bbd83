#!/usr/bin/env bash
# Builds the library, the host and the tests, then runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
varbank_build default
ctest --preset default -j "$(nproc)"
