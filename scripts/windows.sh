# The Windows toolchain, made from Debian's packages only: MinGW-w64, Wine, NSIS, and Qt,
# RtMidi and GoogleTest built for Windows from Debian's own sources into a cache folder outside
# the repository, keyed by their versions and options, so that it is built once and reused.
# shellcheck shell=bash
# Sourced after common.sh.

WIN_PACKAGES=(
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine wine64 fonts-wine ninja-build nsis dpkg-dev unzip xdotool python3
)
WIN_TOOLCHAIN=$TOP/cmake/mingw-w64-x86_64.cmake
WIN_QT_VERSION=6.4.2
WIN_RTMIDI_VERSION=5.0.0
# Qt for Windows holds what the program loads (Core, Gui, Widgets, the windows, offscreen and
# minimal platforms, PNG) and Test for the suite; everything else is left out to keep the build
# short. Debian's source omits the tablet headers, hence no tablet events.
WIN_QT_OPTIONS=(
    -xplatform win32-g++ -qt-host-path /usr -release -shared
    -nomake tests -nomake examples -no-opengl -no-dbus -no-vulkan
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-tabletevent
    -no-feature-concurrent -no-feature-xml -no-feature-style-windowsvista
    -no-libjpeg -no-gif
    -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre
)
WIN_CACHE=${TARV_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarv}
# The key: what the libraries are built from and with (the compiler's version; the toolchain
# file's settings are the same for every build of them).
win_key() {
    { echo "qt $WIN_QT_VERSION ${WIN_QT_OPTIONS[*]} rtmidi $WIN_RTMIDI_VERSION"
      x86_64-w64-mingw32-g++-posix --version 2>/dev/null | head -n1; } | sha256sum | cut -c1-12
}
export WINEDEBUG=${WINEDEBUG:--all}
# Keeps Wine from asking for its Mono and Gecko add-ons, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Debian's source packages, from the mirrors this machine already uses for binary packages.
enable_deb_src() {
    local list=/etc/apt/sources.list.d/tarv-deb-src.sources sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    [ -f "$list" ] && return 0
    {
        for f in /etc/apt/sources.list.d/*.sources; do
            [ "$f" = "$list" ] && continue
            grep -q '^Types:.*\bdeb\b' "$f" || continue
            sed -e 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done
        if [ -f /etc/apt/sources.list ]; then
            sed -n 's/^deb \(.*\)/Types: deb-src\nURIs: \1\n/p' /etc/apt/sources.list \
                | awk '/^URIs:/ { n = split($0, w, " "); print "URIs: " w[2]; print "Suites: " w[3];
                                   c = ""; for (i = 4; i <= n; i++) c = c " " w[i]; print "Components:" c; next }
                       { print }'
        fi
    } | $sudo tee "$list.new" >/dev/null
    $sudo mv "$list.new" "$list"
    $sudo apt-get update -qq
}

# fetch_source PACKAGE VERSION FOLDER: Debian's source of PACKAGE (upstream VERSION, Debian's
# patches applied) unpacked below FOLDER; prints the source's folder.
fetch_source() {
    local pkg=$1 version=$2 dir=$3
    mkdir -p "$dir"
    if ! ls -d "$dir/$pkg-$version"* >/dev/null 2>&1; then
        (cd "$dir" && apt-get source -qq "$pkg" >/dev/null)
    fi
    ls -d "$dir/$pkg-$version"* | head -n1
}

build_win_qt() {
    local work=$WIN_CACHE/work-$WIN_KEY src
    src=$(fetch_source qt6-base "$WIN_QT_VERSION" "$work")
    rm -rf "$work/qt-build" && mkdir -p "$work/qt-build"
    echo "Building Qt $WIN_QT_VERSION for Windows into $WIN_PREFIX (about 40 minutes on two cores)"
    (cd "$work/qt-build" \
        && "$src/configure" -prefix "$WIN_PREFIX" "${WIN_QT_OPTIONS[@]}" \
            -- -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            >"$work/qt-configure.log" 2>&1 \
        || { tail -n 40 "$work/qt-configure.log" >&2; return 1; })
    nice cmake --build "$work/qt-build" --parallel "$JOBS" >"$work/qt-build.log" 2>&1 \
        || { grep -B2 -A20 'FAILED' "$work/qt-build.log" | head -n 60 >&2; return 1; }
    cmake --install "$work/qt-build" >/dev/null
}

build_win_rtmidi() {
    local work=$WIN_CACHE/work-$WIN_KEY src
    src=$(fetch_source rtmidi "$WIN_RTMIDI_VERSION" "$work")
    rm -rf "$work/rtmidi-build"
    cmake -S "$src" -B "$work/rtmidi-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DTARV_WIN_PREFIX="$WIN_PREFIX" \
        -DCMAKE_INSTALL_PREFIX="$WIN_PREFIX" -DBUILD_SHARED_LIBS=ON -DRTMIDI_BUILD_TESTING=OFF \
        -DRTMIDI_API_WINMM=ON -DRTMIDI_API_JACK=OFF -DRTMIDI_API_ALSA=OFF >/dev/null
    cmake --build "$work/rtmidi-build" >/dev/null
    cmake --install "$work/rtmidi-build" >/dev/null
}

build_win_gtest() {
    local work=$WIN_CACHE/work-$WIN_KEY
    rm -rf "$work/gtest-build"
    cmake -S /usr/src/googletest -B "$work/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" -DTARV_WIN_PREFIX="$WIN_PREFIX" \
        -DCMAKE_INSTALL_PREFIX="$WIN_PREFIX" >/dev/null
    cmake --build "$work/gtest-build" >/dev/null
    cmake --install "$work/gtest-build" >/dev/null
}

# prepare_windows: installs the packages, builds what is missing of the toolchain and sets
# WIN_PREFIX; each part leaves a stamp only when it is complete, so an interrupted build starts
# that part again.
prepare_windows() {
    install_missing "${WIN_PACKAGES[@]}"
    WIN_KEY=$(win_key)
    WIN_PREFIX=$WIN_CACHE/win64-$WIN_KEY
    mkdir -p "$WIN_PREFIX"
    if [ ! -f "$WIN_PREFIX/.qt-done" ] || [ ! -f "$WIN_PREFIX/.rtmidi-done" ]; then enable_deb_src; fi
    [ -f "$WIN_PREFIX/.qt-done" ] || { build_win_qt || return 1; touch "$WIN_PREFIX/.qt-done"; }
    [ -f "$WIN_PREFIX/.rtmidi-done" ] || { build_win_rtmidi || return 1; touch "$WIN_PREFIX/.rtmidi-done"; }
    [ -f "$WIN_PREFIX/.gtest-done" ] || { build_win_gtest || return 1; touch "$WIN_PREFIX/.gtest-done"; }
    rm -rf "$WIN_CACHE/work-$WIN_KEY"
}

# build_windows: the toolchain, then build-win/ configured for Windows and built (TARGETS limits
# it, as for configure_and_build). Wine's prefix for the tests is made first and its server kept
# running until stop_wine, so that each test program starts in a fraction of a second.
build_windows() {
    prepare_windows || return 1
    local dir=$TOP/build-win
    # A toolchain of another key makes a new build folder.
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q "^TARV_WIN_PREFIX:.*=$WIN_PREFIX\$" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    export WINEPREFIX=$dir/wine
    # The server runs in the prefix's folder, so the folder comes first (Wine fills an empty one).
    mkdir -p "$WINEPREFIX"
    # A server that stays (a new one for each program would cost seconds at every test).
    wineserver -k 2>/dev/null || true
    wineserver -p
    wineboot -i >/dev/null 2>&1 || true
    configure_and_build "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$WIN_TOOLCHAIN" \
        -DTARV_WIN_PREFIX="$WIN_PREFIX" -DCMAKE_PREFIX_PATH="$WIN_PREFIX" -DQT_HOST_PATH=/usr
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}
