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

# wine64-preloader is only recommended by wine64, but without it Wine cannot keep the addresses it
# needs free: the kernel puts wine64's heap anywhere in the gigabyte above it, now and then over
# the shared user data page (0x7ffe0000), and that process ends at once with exit code 1 and,
# under WINEDEBUG=-all, without a word ("failed to map the shared user data: c0000018").
APT_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine wine64 wine64-preloader gsoap msitools wixl osslsigncode openssl
    bison cmake make ninja-build googletest python3 xz-utils ca-certificates
)

# Debian source package, upstream version, its folder in the cache, the stamp of a finished folder.
DEPENDENCIES=(
    "boost1.81 $BOOST_VERSION boost-$BOOST_VERSION .built"
    "gsoap $GSOAP_VERSION gsoap-$GSOAP_VERSION .unpacked"
    "pugixml $PUGIXML_VERSION pugixml-$PUGIXML_VERSION .unpacked"
)

export WINEPREFIX=${BRISKEN_WINEPREFIX:-$DEPS_ROOT/wine-prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { printf '[setup] %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# run_logged LOG COMMAND...: runs the command with its output in LOG; when it fails, says so and
# shows the end of LOG.
run_logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 && return 0
    say "failed: $* (end of $log below)"
    tail -n 40 "$log" >&2
    return 1
}

# take_lock VARIABLE FILE WHAT: opens FILE on a new descriptor kept in VARIABLE and waits for its
# lock; fails without a word when FILE cannot be opened. The kernel drops the lock when the holder
# dies, so an interrupted run never leaves it held.
take_lock() {
    local fd
    { exec {fd}>>"$2"; } 2>/dev/null || return 1
    if ! flock -n "$fd"; then
        say "waiting for another run that is $3"
        flock "$fd"
    fi
    printf -v "$1" '%s' "$fd"
}

release_lock() { # VARIABLE
    local fd=${!1}
    exec {fd}>&-
}

unwritable() { # FOLDER VARIABLE
    say "cannot write to $1: set $2 to a folder you can write (for example $2=\$HOME/.cache/$(basename "$1")) and run again"
    exit 1
}

install_packages() {
    local installed missing=() p
    installed=$'\n'$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${APT_PACKAGES[@]}" 2>/dev/null || true)$'\n'
    for p in "${APT_PACKAGES[@]}"; do
        [[ $installed == *$'\n'"$p installed"$'\n'* ]] || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing packages: ${missing[*]}"
    local log=/tmp/brisken-apt-$(id -u).log
    run_logged "$log" as_root apt-get update -qq
    run_logged "$log" as_root env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# ---- Debian source packages in $DEPS_ROOT/src, each checked against its .dsc ----

newest_dsc() { # FOLDER PACKAGE VERSION
    local f found=
    for f in "$1/$2_$3"-*.dsc; do [ -f "$f" ] && found=$f; done
    printf '%s' "$found"
}

dsc_files() { # DSC: "sha256 size name" for every file of the source package
    awk '/^Checksums-Sha256:/ { listing = 1; next } /^[^ ]/ { listing = 0 } listing && NF == 3' "$1"
}

# source_intact FOLDER PACKAGE VERSION size|sha256: the package's .dsc is there and so is every file
# it lists, with the listed size (cheap, every run) or also the listed SHA-256 (before unpacking).
source_intact() {
    local dsc sha size name count=0
    dsc=$(newest_dsc "$1" "$2" "$3")
    [ -n "$dsc" ] || return 1
    while read -r sha size name; do
        count=$((count + 1))
        [ "$(stat -c %s "$1/$name" 2>/dev/null)" = "$size" ] || return 1
    done < <(dsc_files "$dsc")
    [ "$count" -gt 0 ] || return 1
    [ "$4" = size ] && return 0
    dsc_files "$dsc" | awk '{ print $1 "  " $3 }' | (cd "$1" && sha256sum --check --quiet >/dev/null 2>&1)
}

orig_tarball() { # PACKAGE VERSION: path of the cached upstream tarball
    local dsc
    dsc=$(newest_dsc "$DEPS_ROOT/src" "$1" "$2")
    printf '%s/%s' "$DEPS_ROOT/src" "$(dsc_files "$dsc" | awk '$3 ~ /\.orig\.tar\./ { print $3; exit }')"
}

# Downloads the given source packages beside the cache ($DEPS_ROOT/src.download) with a private
# apt state, its deb-src lines derived from the machine's own apt sources, checks them against
# their .dsc and only then moves them into $DEPS_ROOT/src.
download_sources() { # PACKAGE VERSION...
    local staging=$DEPS_ROOT/src.download apt_dir=$DEPS_ROOT/apt
    local names=() i
    for ((i = 1; i <= $#; i += 2)); do names+=("${!i}"); done
    say "downloading Debian source packages (${names[*]})"
    rm -rf "$staging"
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$staging" "$DEPS_ROOT/src"
    : > "$apt_dir/parts/deb-src.sources"
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        sed 's/^Types:.*$/Types: deb-src/' "$f" >> "$apt_dir/parts/deb-src.sources"
        printf '\n' >> "$apt_dir/parts/deb-src.sources"
    done
    rm -f "$apt_dir/parts/deb-src.list"
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > "$apt_dir/parts/deb-src.list"
    fi
    local opts=(-o Dir::Etc::SourceList=/nonexistent -o "Dir::Etc::SourceParts=$apt_dir/parts"
        -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
    run_logged "$DEPS_ROOT/apt.log" apt-get "${opts[@]}" update -qq
    run_logged "$DEPS_ROOT/apt.log" bash -c 'cd "$1" && shift && apt-get "$@"' - "$staging" \
        "${opts[@]}" source --download-only "${names[@]}"
    while [ $# -gt 0 ]; do
        if ! source_intact "$staging" "$1" "$2" sha256; then
            say "the download of $1 $2 does not match its .dsc; run again to retry"
            return 1
        fi
        rm -f "$DEPS_ROOT/src/$1_$2"[.-]*
        # The .dsc last: a folder without it counts as not downloaded.
        find "$staging" -maxdepth 1 -name "$1_$2[.-]*" ! -name '*.dsc' -exec mv -t "$DEPS_ROOT/src" {} +
        mv "$(newest_dsc "$staging" "$1" "$2")" "$DEPS_ROOT/src/"
        shift 2
    done
    rm -rf "$staging"
}

# Re-downloads every source package that is incomplete, or whose folder is still to be made and
# whose files do not match their checksums.
fetch_sources() {
    local stale=() entry package version folder stamp check
    for entry in "${DEPENDENCIES[@]}"; do
        read -r package version folder stamp <<<"$entry"
        check=size
        [ -f "$DEPS_ROOT/$folder/$stamp" ] || check=sha256
        source_intact "$DEPS_ROOT/src" "$package" "$version" "$check" || stale+=("$package" "$version")
    done
    [ ${#stale[@]} -eq 0 ] || download_sources "${stale[@]}"
}

build_boost() {
    local dir=$DEPS_ROOT/boost-$BOOST_VERSION
    [ -f "$dir/.built" ] && return 0
    say "building Boost $BOOST_VERSION for mingw-w64 (a few minutes)"
    rm -rf "$dir" && mkdir -p "$dir"
    run_logged "$DEPS_ROOT/unpack.log" tar -xf "$(orig_tarball boost1.81 "$BOOST_VERSION")" -C "$dir" --strip-components=1
    (
        cd "$dir/tools/build"
        run_logged "$dir/bison.log" bison -y -d -o src/engine/jamgram.cpp src/engine/jamgram.y
        cd "$dir"
        say "  bootstrapping b2"
        run_logged "$dir/bootstrap.log" ./bootstrap.sh
        run_logged "$dir/b2-headers.log" ./b2 headers
        echo 'using gcc : mingw : x86_64-w64-mingw32-g++-posix : <archiver>x86_64-w64-mingw32-ar <ranlib>x86_64-w64-mingw32-ranlib <rc>x86_64-w64-mingw32-windres ;' > user-config.jam
        say "  compiling libraries"
        run_logged "$dir/b2.log" ./b2 -j"$JOBS" --user-config=user-config.jam toolset=gcc-mingw \
            target-os=windows address-model=64 \
            threadapi=win32 variant=release link=static runtime-link=static cxxstd=17 \
            --with-filesystem --with-program_options --with-regex --with-locale --with-thread \
            --with-date_time --with-json \
            boost.locale.icu=off boost.locale.iconv=off boost.locale.posix=off \
            boost.locale.winapi=on boost.locale.std=on stage
    )
    touch "$dir/.built"
}

unpack_source() { # package version folder
    local dir=$DEPS_ROOT/$3
    [ -f "$dir/.unpacked" ] && return 0
    say "unpacking $1 $2"
    rm -rf "$dir" && mkdir -p "$dir"
    run_logged "$DEPS_ROOT/unpack.log" tar -xf "$(orig_tarball "$1" "$2")" -C "$dir" --strip-components=1
    touch "$dir/.unpacked"
}

cache_ready() {
    local entry package version folder stamp
    for entry in "${DEPENDENCIES[@]}"; do
        read -r package version folder stamp <<<"$entry"
        [ -f "$DEPS_ROOT/$folder/$stamp" ] || return 1
        source_intact "$DEPS_ROOT/src" "$package" "$version" size || return 1
    done
}

# Builds what the cache lacks, one run at a time: a second run waits, then finds it done.
build_cache() {
    cache_ready && return 0
    local lock
    mkdir -p "$DEPS_ROOT" 2>/dev/null || unwritable "$DEPS_ROOT" BRISKEN_DEPS_CACHE
    take_lock lock "$DEPS_ROOT/.lock" "building the dependency cache $DEPS_ROOT" \
        || unwritable "$DEPS_ROOT" BRISKEN_DEPS_CACHE
    if ! cache_ready; then
        fetch_sources
        build_boost
        unpack_source gsoap "$GSOAP_VERSION" "gsoap-$GSOAP_VERSION"
        unpack_source pugixml "$PUGIXML_VERSION" "pugixml-$PUGIXML_VERSION"
    fi
    release_lock lock
}

# ---- Wine ----

# The prefix counts as ready only once a program has run in it.
prepare_wine() {
    if [ -d "$WINEPREFIX" ] && [ ! -O "$WINEPREFIX" ]; then
        say "the Wine prefix $WINEPREFIX belongs to another user: set BRISKEN_WINEPREFIX to a folder of your own and run again"
        exit 1
    fi
    [ -f "$WINEPREFIX/.ready" ] && return 0
    local lock log=$WINEPREFIX/setup.log
    mkdir -p "$WINEPREFIX" 2>/dev/null || unwritable "$WINEPREFIX" BRISKEN_WINEPREFIX
    take_lock lock "$WINEPREFIX.lock" "creating the Wine prefix $WINEPREFIX" \
        || unwritable "$(dirname "$WINEPREFIX")" BRISKEN_WINEPREFIX
    if [ ! -f "$WINEPREFIX/.ready" ]; then
        say "creating the private Wine prefix $WINEPREFIX"
        # The Wine server outlives these commands: it must not hold the lock.
        { wineboot -i && wine cmd /c exit && wineserver -w; } </dev/null >"$log" 2>&1 {lock}>&- || {
            say "the Wine prefix $WINEPREFIX does not work (end of $log below); run again, and if it still fails, remove it or set BRISKEN_WINEPREFIX to a new folder"
            tail -n 40 "$log" >&2
            exit 1
        }
        touch "$WINEPREFIX/.ready"
    fi
    release_lock lock
}

# take_prefix -x|-s: the Wine prefix is this run's until the script ends, however it ends. A run
# that stops the prefix's Wine server (-x), and with it every Wine program of the prefix, when it
# starts and when it ends has the prefix alone: any other run waits here instead of having its
# programs killed under it, and it waits for the runs already there. Runs that leave the server be
# (-s) share the prefix with each other. The lock is held by a helper that ends with the script,
# never by the script's own descriptors, which Wine's servers and helpers would inherit and keep.
# A run of these scripts started inside one that holds the prefix (bench/startup runs
# scripts/scanner) uses it through that run, which BRISKEN_PREFIX_HELD names to it: waiting for
# its own ancestor, it would wait forever.
take_prefix() {
    [ -z "${PREFIX_TAKEN:-}" ] || return 0
    local mode=$1 lock=$WINEPREFIX.lock answer=
    if held_by_ancestor "$mode"; then
        PREFIX_TAKEN=1
        return 0
    fi
    read -r answer < <(hold_until_exit "$mode" -n "$lock") || true
    if [ "$answer" != held ]; then
        say "waiting for another run that is using the Wine prefix $WINEPREFIX"
        read -r answer < <(hold_until_exit "$mode" "$lock") || true
        [ "$answer" = held ] || unwritable "$(dirname "$WINEPREFIX")" BRISKEN_WINEPREFIX
    fi
    PREFIX_TAKEN=1
    export BRISKEN_PREFIX_HELD="$mode $$ $WINEPREFIX"
}

# held_by_ancestor -x|-s: whether BRISKEN_PREFIX_HELD says that this script or one of its
# ancestors holds this Wine prefix. The variable alone is not enough: a run started elsewhere may
# carry it, and the holder may have ended. A run that wants the prefix alone (-x) inside one that
# shares it could never get it: it says so and ends instead of waiting.
held_by_ancestor() {
    local held_mode holder held_prefix
    read -r held_mode holder held_prefix <<<"${BRISKEN_PREFIX_HELD:-}"
    [ "$held_prefix" = "$WINEPREFIX" ] && [ -n "$holder" ] && is_ancestor "$holder" || return 1
    if [ "$1" = -x ] && [ "$held_mode" != -x ]; then
        say "cannot have the Wine prefix $WINEPREFIX alone inside a run that shares it (process $holder)"
        exit 1
    fi
}

# is_ancestor PID: whether PID is this script's process or one of its ancestors.
is_ancestor() {
    local pid=$$ stat
    while [[ $pid =~ ^[0-9]+$ ]] && [ "$pid" -gt 1 ]; do
        [ "$pid" = "$1" ] && return 0
        read -r stat 2>/dev/null <"/proc/$pid/stat" || return 1
        stat=${stat##*) }           # the fields after the command name, which may hold anything
        read -r _ pid _ <<<"$stat"  # state, parent
    done
    return 1
}

# hold_until_exit -x|-s [-n] FILE: in the background, locks FILE exclusively or shared (at once or
# not at all with -n), says "held", and keeps the lock until this script's process has ended: gone,
# or a zombie that its parent has not reaped yet.
hold_until_exit() {
    flock -o "$@" sh -c 'echo held
        while state=$(sed -n "s/.*) \(.\).*/\1/p" "/proc/$1/stat" 2>/dev/null) && [ -n "$state" ] &&
            [ "$state" != Z ]; do
            sleep 0.5
        done' sh "$$" </dev/null 2>/dev/null &
}

# start_wineserver [SECONDS]: takes the prefix (take_prefix; alone without SECONDS, shared with
# SECONDS), makes sure a wineserver runs with no inherited pipes (a Wine helper started by a
# program whose output is a pipe would keep that pipe open) and warms it up. Without SECONDS it
# persists for the whole script and is stopped at its exit (a server that was already running is
# restarted to persist); with SECONDS, a server started here outlives the script by that many
# seconds, so that the next run starts at once, and one already running is left as it is.
start_wineserver() {
    if [ $# -eq 0 ]; then
        take_prefix -x
        if ! wineserver -p </dev/null >/dev/null 2>&1; then
            wineserver -k </dev/null >/dev/null 2>&1 || true
            wineserver -w </dev/null >/dev/null 2>&1 || true
            wineserver -p </dev/null >/dev/null 2>&1
        fi
        trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    else
        take_prefix -s
        wineserver -p"$1" </dev/null >/dev/null 2>&1 || return 0
    fi
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# ---- The project ----

# The servers the program asks, host:port each, taken from the environment variables of the same
# names; without them the CMake defaults (where the local stand-in servers listen) apply.
SERVER_SETTINGS=(BRISKEN_DEFINITIONS_HOST BRISKEN_COMPONENTS_HOST)

# Configures only a build folder without a Ninja build or with other settings (an older Makefile
# build folder included); later changes of CMakeLists.txt files re-run CMake from the build itself.
# The settings are the arguments (the server addresses among them) and the toolchain file's
# content: a change of either needs a fresh CMake cache.
configure_project() {
    local toolchain=$REPO_ROOT/cmake/mingw-w64-x86_64.cmake stamp=$BUILD_DIR/.brisken-configure settings name
    local arguments=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DBRISKEN_BOOST_ROOT="$DEPS_ROOT/boost-$BOOST_VERSION"
        -DBRISKEN_GSOAP_ROOT="$DEPS_ROOT/gsoap-$GSOAP_VERSION"
        -DBRISKEN_PUGIXML_ROOT="$DEPS_ROOT/pugixml-$PUGIXML_VERSION")
    for name in "${SERVER_SETTINGS[@]}"; do
        [ -z "${!name:-}" ] || arguments+=("-D$name=${!name}")
    done
    settings=$(printf '%s\n' "${arguments[@]}" "toolchain $(sha256sum <"$toolchain" | cut -d' ' -f1)")
    if [ -f "$BUILD_DIR/build.ninja" ] && [ -f "$stamp" ] && [ "$(<"$stamp")" = "$settings" ]; then
        return 0
    fi
    say "configuring $BUILD_DIR"
    mkdir -p "$BUILD_DIR"
    rm -f "$stamp"
    run_logged "$BUILD_DIR.configure.log" cmake --fresh "${arguments[@]}" -S "$REPO_ROOT" -B "$BUILD_DIR"
    printf '%s\n' "$settings" > "$stamp"
}

# The build log without Ninja's progress lines: the compilers' warnings and errors.
build_messages() { # LOG
    grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: (no work to do|build stopped)|^(-- |Re-running CMake)' "$1" || true
}

# build_project [TARGET...]: builds the targets (default: everything) one run at a time, shows
# the compilers' messages briefly when it succeeds and in full (up to a screen) when it fails.
build_project() {
    local lock log=$BUILD_DIR.build.log
    mkdir -p "$BUILD_DIR"
    take_lock lock "$BUILD_DIR/.lock" "building in $BUILD_DIR" || { say "cannot write to $BUILD_DIR"; exit 1; }
    configure_project
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    local build=(cmake --build "$BUILD_DIR" -j"$JOBS" "${targets[@]}")
    # Quiet when there is nothing to do: a dry run is a few milliseconds.
    "${build[@]}" -- -n 2>/dev/null | grep -q '^ninja: no work to do' \
        || say "building ${*:-everything} in $BUILD_DIR"
    # Ninja cannot re-run CMake from build files it cannot read (left by a faulty CMakeLists.txt).
    # A Wine server that a build step might start must not hold the lock ({lock}>&-).
    local built=yes
    "${build[@]}" >"$log" 2>&1 {lock}>&- || built=no
    if [ $built = no ] && grep -q '^ninja: error: build.ninja:' "$log"; then
        rm -f "$BUILD_DIR/.brisken-configure"
        configure_project
        "${build[@]}" >"$log" 2>&1 {lock}>&- && built=yes
    fi
    if [ $built = no ]; then
        say "the build failed (whole log: $log):"
        build_messages "$log" | head -n 150 >&2
        exit 1
    fi
    release_lock lock
    local messages
    messages=$(build_messages "$log")
    if [ -n "$messages" ]; then
        say "the build gave warnings (whole log: $log):"
        head -n 20 <<<"$messages" >&2
        local lines
        lines=$(wc -l <<<"$messages")
        [ "$lines" -le 20 ] || say "... $((lines - 20)) more lines in $log"
    fi
}

# Packages, dependency cache and Wine prefix: everything the build needs.
prepare_all() {
    install_packages
    build_cache
    prepare_wine
}

setup_all() {
    prepare_all
    start_wineserver
    build_project
}
