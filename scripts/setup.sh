#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing. Sourced by the other
# scripts; runs apt-get only as root and only for what is absent.
VARBANK_PACKAGES=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
                  clang-format clang-tidy libpugixml-dev libcli11-dev nlohmann-json3-dev zlib1g-dev libclang-rt-14-dev python3
                  libboost-dev python3-pytest libmodbus-dev pkg-config pybind11-dev python3-dev
                  python3-pymodbus)

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
    echo "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
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

# Configures (once) and builds one CMake preset.
varbank_build() {
    local preset=$1
    local dir=build
    [ "$preset" != default ] && dir=build-$preset
    if [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset"
}
