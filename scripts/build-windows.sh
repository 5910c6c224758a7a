#!/usr/bin/env bash
# Cross-builds the Qt-free half for 64-bit Windows into build-windows/: the core libraries,
# velkaro-cli.exe, velkaro-sim.exe and the test programs (GoogleTest built from Debian's
# googletest sources). The .exe files are linked statically and run on a bare Windows. A release
# build without debug information, as a user gets it, and faster to build; -O2 as on Linux (GCC
# 12's -O3 warns falsely inside libstdc++).
# Extra arguments go to the CMake configure step (-DCMAKE_BUILD_TYPE=RelWithDebInfo to debug).
set -euo pipefail
cd "$(dirname "$0")/.."

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B build-windows -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DVELKARO_GUI=OFF -DVELKARO_BENCH=OFF -DVELKARO_WERROR="$werror" "${launcher[@]}" "$@"
cmake --build build-windows -j "${VELKARO_JOBS:-$(nproc)}"
