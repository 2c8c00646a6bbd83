#!/usr/bin/env bash
# Builds the library, the host and the tests, then runs every test suite (Chromium, for the
# page test, and the OPC UA server's packages are installed when possible). On a terminal ctest keeps its progress on one line and
# prints the summary, with the output of any test that fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
varbank_ensure_browser || true
varbank_ensure_opcua || true
varbank_build default
ctest --preset default --progress -j "$(nproc)"
