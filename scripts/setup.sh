#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing. Sourced by the other
# scripts; runs apt-get only as root and only for what is absent.
VARBANK_PACKAGES=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
                  clang-format clang-tidy libpugixml-dev libcli11-dev nlohmann-json3-dev zlib1g-dev libclang-rt-14-dev python3
                  libboost-dev python3-pytest libmodbus-dev pkg-config pybind11-dev python3-dev
                  python3-pymodbus python3-websocket libtomlplusplus-dev libsimdjson-dev
                  libmosquitto-dev mosquitto mosquitto-clients python3-paho-mqtt)

varbank_ensure_packages() {
    local missing=()
    for package in "${VARBANK_PACKAGES[@]}"; do
        dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
        return 1
    fi
    echo "updating the package lists (apt-get update)"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    echo "installing ${#missing[@]} packages, a few minutes on a fresh machine: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
    echo "packages installed"
}

# Installs Chromium for the page test when it is missing. Optional: returns non-zero, without
# stopping the calling script, where it cannot be installed (the page test is then skipped).
varbank_ensure_browser() {
    [ -x /usr/bin/chromium ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "chromium is missing: the page test will be skipped (install the chromium package)" >&2
        return 1
    fi
    echo "installing: chromium"
    if ! { DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium >/dev/null; }; then
        echo "chromium could not be installed: the page test will be skipped" >&2
        return 1
    fi
}

# Installs the OPC UA server's npm packages (node-opcua, at the version of opcua's lock file)
# into opcua/node_modules when they are missing or older than the lock file, and Debian's
# nodejs and npm first when node is missing. Optional: returns non-zero, without stopping the
# calling script, where they cannot be installed (the OPC UA tests are then skipped, and
# `varbank serve --opcua-port` says what is missing).
varbank_ensure_opcua() {
    local folder
    folder="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/opcua"
    if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "node or npm is missing: the OPC UA server cannot run (install the nodejs and npm packages)" >&2
            return 1
        fi
        echo "installing: nodejs npm"
        if ! { DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
            DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nodejs npm >/dev/null; }; then
            echo "nodejs and npm could not be installed: the OPC UA tests will be skipped" >&2
            return 1
        fi
    fi
    local installed="$folder/node_modules/.package-lock.json"
    if [ -f "$installed" ] && [ ! "$folder/package-lock.json" -nt "$installed" ]; then
        return 0
    fi
    echo "installing the OPC UA packages into opcua/node_modules (npm ci)"
    if ! (cd "$folder" && timeout 600 npm ci --omit=dev --no-audit --no-fund >npm-ci.log 2>&1); then
        tail -5 "$folder/npm-ci.log" >&2
        echo "the OPC UA packages could not be installed (offline?): the OPC UA tests will be skipped" >&2
        return 1
    fi
    rm -f "$folder/npm-ci.log"
}

# Configures (once) and builds one CMake preset, saying so. CMake's configure output is shown
# only when it fails. On a terminal ninja keeps its progress on one updating line; elsewhere
# (a log, a pipe) only its first and last steps and one step per tenth of the build are kept,
# with every other line (compiler messages, failures) passed through.
varbank_build() {
    local preset=$1
    local dir=build
    [ "$preset" != default ] && dir=build-$preset
    local note=""
    if [ ! -f "$dir/build.ninja" ]; then
        echo "configuring the $preset preset in $dir/"
        local output
        if ! output=$(cmake --preset "$preset" 2>&1); then
            printf '%s\n' "$output" >&2
            return 1
        fi
        note=" (a first build takes a few minutes)"
    fi
    echo "building the $preset preset in $dir/$note"
    if [ -t 1 ]; then
        NINJA_STATUS='[%f/%t] ' cmake --build --preset "$preset"
    else
        NINJA_STATUS='[%f/%t] ' cmake --build --preset "$preset" | varbank_thin_progress
        return "${PIPESTATUS[0]}"
    fi
}

# Keeps a few of ninja's "[done/total] ..." status lines: the first and last of each total and
# the first to reach each further tenth; prints every other line unchanged.
varbank_thin_progress() {
    awk '
        /^\[[0-9]+\/[0-9]+\] / {
            split(substr($1, 2), count, "/")
            done = count[1] + 0
            total = count[2] + 0
            if (total != last_total) { last_total = total; shown = -1 }
            tenth = total > 0 ? int(done * 10 / total) : 10
            if (tenth > shown || done == total) { print; fflush(); shown = tenth }
            next
        }
        { print; fflush() }'
}
