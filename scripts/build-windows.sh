#!/usr/bin/env bash
# Cross-builds for 64-bit Windows into build-windows/: the core libraries, velkaro-cli.exe,
# velkaro-sim.exe and the test programs (GoogleTest built from Debian's googletest sources), and
# the window velkaro.exe with its tests when a Qt for Windows is in the cache. The .exe files are
# linked statically and run on a bare Windows. A release build without debug information, as a
# user gets it, and faster to build; -O2 as on Linux (GCC 12's -O3 warns falsely inside
# libstdc++).
# Extra arguments go to the CMake configure step (-DCMAKE_BUILD_TYPE=RelWithDebInfo to debug).
set -euo pipefail
cd "$(dirname "$0")/.."

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The window too when scripts/build-qt-windows.sh has left a complete Qt for Windows.
qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null || true)
qt_version=${qt_version%%+*}
qt_prefix=${VELKARO_QT_WINDOWS:-${XDG_CACHE_HOME:-$HOME/.cache}/velkaro/qt6-mingw-${qt_version:-none}}
window=(-DVELKARO_GUI=OFF -DVELKARO_QT_WINDOWS=)
if [ -f "$qt_prefix/velkaro-qt.stamp" ]; then
  echo "Building the window too, with Qt for Windows from $qt_prefix"
  window=(-DVELKARO_GUI=ON -DVELKARO_QT_WINDOWS="$qt_prefix" -DQT_HOST_PATH=/usr
          -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
else
  echo "The window (velkaro.exe) is not built: no Qt for Windows in $qt_prefix;" \
       "scripts/build-qt-windows.sh builds it (about an hour)"
fi

cmake -S . -B build-windows -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "${window[@]}" -DVELKARO_BENCH=OFF -DVELKARO_WERROR="$werror" "${launcher[@]}" "$@"
cmake --build build-windows -j "${VELKARO_JOBS:-$(nproc)}"
