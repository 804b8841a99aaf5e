# Shared by the scripts: where things are, how to build, how to run Wine.
# Sourced, never run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native_dir="$root/build/native"
win32_dir="$root/build/win32"
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {  # dir, then cmake arguments
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -Wno-dev "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" >/dev/null
}

configure_win32() {
    cmake -S "$root" -B "$win32_dir" -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
}

build_win32() {  # targets; all when none is named
    # Once configured, the build itself re-runs CMake when a list file changes.
    [ -f "$win32_dir/CMakeCache.txt" ] || configure_win32
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$win32_dir" -j "$jobs" "${targets[@]}" >/dev/null
}

# Wine in a prefix of its own inside the build tree (QM_WINE_PREFIX names
# another), with code page 932 as the ANSI code page.
wine_env() {
    export WINEPREFIX="$root/build/${QM_WINE_PREFIX:-wineprefix}"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=ja_JP.UTF-8
    export LC_ALL=ja_JP.UTF-8
}

# A prefix that exists and is warm, its service processes detached from the
# caller's pipes, which they would otherwise hold open.
wine_prepare() {
    wine_env
    wine wineboot >/dev/null 2>&1 </dev/null
    # With no window manager on the display, Wine waits two seconds for one
    # to withdraw each closed window; unmanaged windows skip the wait.
    if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    fi
}

# A persistent server, so that no test program starts one of its own.
wine_start() {
    wine_env
    wineserver -p >/dev/null 2>&1 </dev/null &
    wine_prepare
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
