#!/usr/bin/env bash
# Builds everything and runs every test: the full build (GUI tests offscreen), then the Qt-free
# suites again under AddressSanitizer and UndefinedBehaviorSanitizer, every fuzz target for 20 s
# (scripts/fuzz.sh; a crash fails), then the Debian package (built from the first build,
# validated, and as root installed and removed again), and last the Windows cross build with its
# tests under Wine (scripts/test-windows.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake -S . -B build -G Ninja -DVELKARO_WERROR=$werror
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300

cmake -S . -B build-asan -G Ninja -DVELKARO_SANITIZE=ON -DVELKARO_GUI=OFF -DVELKARO_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DVELKARO_WERROR=$werror
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 300

VELKARO_WERROR=$werror scripts/fuzz.sh 20
scripts/test-package.sh
scripts/test-windows.sh
