# Shared set-up for scripts/scanner and scripts/test: installs what is missing,
# cross-builds the dependencies once per machine, prepares a private Wine prefix
# and builds the project. Source it; it defines functions and changes nothing by itself.

set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BRISKEN_BUILD_DIR:-$REPO_ROOT/build}
DEPS_ROOT=${BRISKEN_DEPS_CACHE:-/var/cache/brisken-deps}
JOBS=$(nproc)

BOOST_VERSION=1.81.0
GSOAP_VERSION=2.8.124
PUGIXML_VERSION=1.13

APT_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine wine64 gsoap msitools wixl osslsigncode openssl
    bison cmake make googletest python3 xz-utils ca-certificates
)

export WINEPREFIX=${BRISKEN_WINEPREFIX:-$DEPS_ROOT/wine-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { printf '[setup] %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local missing=()
    for p in "${APT_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing packages: ${missing[*]}"
    as_root apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Downloads the Debian source packages into $DEPS_ROOT/src with a private apt state,
# its deb-src lines derived from the machine's own apt sources.
fetch_sources() {
    local src=$DEPS_ROOT/src
    if [ -f "$src/boost1.81_$BOOST_VERSION.orig.tar.xz" ] && [ -f "$src/gsoap_$GSOAP_VERSION.orig.tar.gz" ] \
        && [ -f "$src/pugixml_$PUGIXML_VERSION.orig.tar.gz" ]; then
        return 0
    fi
    say "downloading Debian source packages (boost1.81, gsoap, pugixml)"
    local apt_dir=$DEPS_ROOT/apt
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$src"
    : > "$apt_dir/parts/deb-src.sources"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed 's/^Types:.*$/Types: deb-src/' "$f" >> "$apt_dir/parts/deb-src.sources"
        printf '\n' >> "$apt_dir/parts/deb-src.sources"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > "$apt_dir/parts/deb-src.list"
    fi
    local opts=(-o Dir::Etc::SourceList=/nonexistent -o "Dir::Etc::SourceParts=$apt_dir/parts"
        -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
    apt-get "${opts[@]}" update -qq >/dev/null
    (cd "$src" && apt-get "${opts[@]}" source --download-only boost1.81 gsoap pugixml >/dev/null)
}

build_boost() {
    local dir=$DEPS_ROOT/boost-$BOOST_VERSION
    [ -f "$dir/.built" ] && return 0
    say "building Boost $BOOST_VERSION for mingw-w64 (about a minute)"
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xf "$DEPS_ROOT/src/boost1.81_$BOOST_VERSION.orig.tar.xz" -C "$dir" --strip-components=1
    (
        cd "$dir/tools/build"
        bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y
        cd "$dir"
        say "  bootstrapping b2"
        ./bootstrap.sh >bootstrap.log 2>&1
        ./b2 headers >/dev/null
        echo 'using gcc : mingw : x86_64-w64-mingw32-g++-posix : <archiver>x86_64-w64-mingw32-ar <ranlib>x86_64-w64-mingw32-ranlib <rc>x86_64-w64-mingw32-windres ;' > user-config.jam
        say "  compiling libraries"
        ./b2 -j"$JOBS" --user-config=user-config.jam toolset=gcc-mingw target-os=windows address-model=64 \
            threadapi=win32 variant=release link=static runtime-link=static cxxstd=17 \
            --with-filesystem --with-program_options --with-regex --with-locale --with-thread \
            --with-date_time --with-json \
            boost.locale.icu=off boost.locale.iconv=off boost.locale.posix=off \
            boost.locale.winapi=on boost.locale.std=on stage >b2.log 2>&1 \
            || { tail -40 b2.log >&2; exit 1; }
    )
    touch "$dir/.built"
}

unpack_source() { # name version tarball
    local dir=$DEPS_ROOT/$1-$2
    [ -f "$dir/.unpacked" ] && return 0
    say "unpacking $1 $2"
    rm -rf "$dir" && mkdir -p "$dir"
    tar -xf "$DEPS_ROOT/src/$3" -C "$dir" --strip-components=1
    touch "$dir/.unpacked"
}

prepare_wine() {
    if [ ! -f "$WINEPREFIX/.ready" ]; then
        say "creating the private Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        touch "$WINEPREFIX/.ready"
    fi
}

# Keeps one wineserver for the whole script (faster starts) and makes sure that no Wine
# helper inherits the caller's pipes.
start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 || true
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

build_project() {
    say "building the project in $BUILD_DIR"
    cmake -S "$REPO_ROOT" -B "$BUILD_DIR" \
        -DCMAKE_TOOLCHAIN_FILE="$REPO_ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release \
        -DBRISKEN_BOOST_ROOT="$DEPS_ROOT/boost-$BOOST_VERSION" \
        -DBRISKEN_GSOAP_ROOT="$DEPS_ROOT/gsoap-$GSOAP_VERSION" \
        -DBRISKEN_PUGIXML_ROOT="$DEPS_ROOT/pugixml-$PUGIXML_VERSION" >"$BUILD_DIR.configure.log" 2>&1 \
        || { cat "$BUILD_DIR.configure.log" >&2; return 1; }
    cmake --build "$BUILD_DIR" -j"$JOBS" >"$BUILD_DIR.build.log" 2>&1 \
        || { grep -E 'error|Error' -A5 "$BUILD_DIR.build.log" | head -80 >&2; return 1; }
}

setup_all() {
    install_packages
    mkdir -p "$DEPS_ROOT"
    fetch_sources
    build_boost
    unpack_source gsoap "$GSOAP_VERSION" "gsoap_$GSOAP_VERSION.orig.tar.gz"
    unpack_source pugixml "$PUGIXML_VERSION" "pugixml_$PUGIXML_VERSION.orig.tar.gz"
    prepare_wine
    start_wineserver
    build_project
}
