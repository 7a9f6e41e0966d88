# Shared by scripts/run and scripts/test: install what is missing, configure and build.
# shellcheck shell=bash
set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

# Debian packages the build, the program and the tests need.
PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libxkbcommon-dev libxkbcommon-x11-dev
    librtmidi-dev libfluidsynth-dev fluid-soundfont-gm timgm6mb-soundfont fluidr3mono-gm-soundfont
    jackd2 libjack-jackd2-dev
    libgtest-dev googletest
    xvfb xauth imagemagick libxtst-dev python3-mido
    fonts-urw-base35 fonts-dejavu-core
    clang libclang-rt-dev
    dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
)

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    # jackd2 asks about realtime priority; answer with the default.
    echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections 2>/dev/null || true
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [cmake options...]; TARGETS (space-separated) limits the build;
# TARV_WERROR=ON in the environment makes every warning an error (as continuous integration does).
configure_and_build() {
    local dir=$1; shift
    if [ -n "${TARV_WERROR:-}" ]; then set -- "$@" "-DTARV_WERROR=$TARV_WERROR"; fi
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$TOP" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    else
        cmake -S "$TOP" -B "$dir" "$@" >/dev/null
    fi
    local targets=()
    for t in ${TARGETS:-}; do targets+=(--target "$t"); done
    cmake --build "$dir" -j "$JOBS" "${targets[@]}"
}

# stop_process PID: asks a child of this shell to end, kills it if it still runs after 5 s,
# and reaps it. Never fails, so it is safe in an exit trap under `set -e`.
stop_process() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# start_xvfb FOLDER: an X server on a free display (its number goes through FOLDER/display);
# sets XVFB_PID and XVFB_DISPLAY (":N"). Without -noreset the server starts over each time its
# last client leaves, and a program that connects meanwhile finds no display.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$1/display" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 1 100); do [ -s "$1/display" ] && break; sleep 0.05; done
    XVFB_DISPLAY=":$(cat "$1/display")"
}
