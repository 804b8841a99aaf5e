# Shared by the scripts: where things are and how to build. Sourced, never run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
native_dir="$root/build/native"
fuzz_dir="$root/build/fuzz"
win32_dir="$root/build/win32"
jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() {  # dir, then cmake arguments
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -Wno-dev "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" >/dev/null
}

# The cross build is always configured anew as the release, so that a tree
# once configured otherwise by hand never ships as the release.
build_win32() {  # targets; all when none is named
    cmake -S "$root" -B "$win32_dir" -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    local targets=()
    for t in "$@"; do targets+=(--target "$t"); done
    cmake --build "$win32_dir" -j "$jobs" "${targets[@]}" >/dev/null
}

configure_fuzz() {
    configure_and_build "$fuzz_dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_FUZZ=ON
}
