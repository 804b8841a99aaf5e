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

build_win32() {  # cmake arguments
    configure_and_build "$win32_dir" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@"
}

# Wine in its own prefix inside the build tree, with code page 932 as the
# ANSI code page.
wine_env() {
    export WINEPREFIX="$root/build/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=ja_JP.UTF-8
    export LC_ALL=ja_JP.UTF-8
}

# A persistent server, detached from every pipe, and a warm prefix: Wine's
# service processes would otherwise start inside the first program run and
# hold the caller's output pipes open.
wine_start() {
    wine_env
    wineserver -p >/dev/null 2>&1 </dev/null &
    wine wineboot >/dev/null 2>&1 </dev/null
    # With no window manager on the display, Wine waits two seconds for one
    # to withdraw each closed window; unmanaged windows skip the wait.
    if ! grep -qs '"Managed"="N"' "$WINEPREFIX/user.reg"; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    fi
}

wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}
