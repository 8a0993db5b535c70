# Shared by the scripts: package checks and the build.
# shellcheck shell=bash

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-base-dev-tools)
DEMO_PACKAGES=(xvfb xauth imagemagick xdotool openbox x11-utils)

# Installs the Debian packages given when any is missing (as root), otherwise prints the
# exact apt-get line and stops.
ensure_packages() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing packages. Run:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

# build_all PRESET: configures and builds with the CMakePresets.json preset of that name
# (default: build/, strict: build-strict/, sanitize: build-san/, fuzz: build-fuzz/,
# package: build-package/).
build_all() {
    (
        cd "$ROOT" || exit
        cmake --preset "$1" >/dev/null
        cmake --build --preset "$1"
    )
}
