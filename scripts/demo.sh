#!/usr/bin/env bash
# Builds the library and runs the example host on the bundled example application.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
varbank_ensure_packages
varbank_build default >/dev/null
./build/tests/minimal_host
