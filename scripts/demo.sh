#!/usr/bin/env bash
# Builds the library and the varbank host, saying what it does (packages, configure, the build's
# progress), then runs the host on the bundled example: what the dictionary holds, a few names
# resolved (member paths, array elements, bits), the browse of the root and of one structure,
# and a few values from the program's memory image. Then serves examples/ over HTTP (the API
# and the symbol browser page) until Ctrl-C; --no-serve stops after the commands.
set -euo pipefail
cd "$(dirname "$0")/.."
serve=1
for argument in "$@"; do
    case "$argument" in
    --no-serve) serve=0 ;;
    *) echo "usage: scripts/demo.sh [--no-serve]" >&2; exit 2 ;;
    esac
done
source scripts/setup.sh
varbank_ensure_packages
varbank_build default
echo
example=examples/production_line.xml
run() {
    echo "\$ varbank $*"
    ./build/host/varbank "$@"
    echo
}
run info "$example"
run resolve "$example" Motor1.Speed 'Line.Conveyors[2].Belt.Speed' 'Speeds[3]' \
    'Line.Recipes[2][3]' Status.3 AlarmLamp
run browse "$example"
run browse "$example" Motor1 --columns AC
run read "$example" Motor1.Speed LineName Line.ActiveRecipe 'Line.Recipes[2]'
if [ "$serve" -eq 1 ]; then
    echo "\$ varbank serve examples --verbose"
    echo "(open the URL below in a browser; Ctrl-C stops the service)"
    exec ./build/host/varbank serve examples --verbose
fi
