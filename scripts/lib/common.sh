# Shared by the scripts: package checks, the build, the simulated terminal.
# shellcheck shell=bash

# Read by the scripts that source this file.
# shellcheck disable=SC2034
BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-base-dev-tools
    qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    libsystemd-dev libpq-dev pkgconf)
# shellcheck disable=SC2034
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

# shell_scripts: every shell script in the repository, one a line, as paths from $ROOT: the
# ones with a shell's #! line and the sourced libraries (*.sh).
shell_scripts() {
    (
        cd "$ROOT" || exit
        git ls-files '*.sh'
        git ls-files -z | xargs -0 awk 'FNR == 1 && /^#!.*[\/ ](ba|da|k)?sh( |$)/ { print FILENAME } { nextfile }'
    ) | sort -u
}

# start_simulator EXECUTABLE WORKDIR LOG [ARGS...]: starts the simulated terminal in the
# background on WORKDIR/com1 (with ARGS, e.g. --demo), its output to LOG, and points the
# program at it with WORKDIR/portacom. Its PID is left in SIM_PID for the caller to stop
# (stop_simulator). Call it in the script's own shell, not in $(...), or SIM_PID is lost.
# Returns non-zero, with the reason on stderr, when com1 does not appear within 5 s.
SIM_PID=
start_simulator() {
    local exe=$1 work=$2 log=$3
    shift 3
    # A link left by a simulator that was killed would pass for the new one.
    if [ -L "$work/com1" ]; then rm -f "$work/com1"; fi
    "$exe" --dir "$work" --port 1 "$@" >"$log" 2>&1 &
    SIM_PID=$!
    local _ why="did not link $work/com1 within 5 s"
    for _ in $(seq 50); do
        [ -L "$work/com1" ] && break
        if ! kill -0 "$SIM_PID" 2>/dev/null; then
            why="stopped without linking $work/com1"
            break
        fi
        sleep 0.1
    done
    if [ ! -L "$work/com1" ]; then
        echo "the simulated terminal $exe $why; its log ($log):" >&2
        sed 's/^/    /' "$log" >&2
        stop_simulator
        return 1
    fi
    printf '1\r\n' >"$work/portacom"
}

# stop_simulator: stops the simulated terminal start_simulator started, if it still runs.
stop_simulator() {
    [ -n "$SIM_PID" ] || return 0
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=
}
