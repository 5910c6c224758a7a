#!/usr/bin/env bash
# Builds everything and runs every test: the full build (GUI tests offscreen), then the Qt-free
# suites again under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded suites under
# ThreadSanitizer, every fuzz target for 20 s
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

# ThreadSanitizer over the suites whose code runs threads: the exchange and the device
# operations, the simulator, the TFTP client, and the CLI's parallel apply, rollouts and metrics
# reads (its programs are built with it too). Any report fails: the program stops with exit code
# 66.
tsan_start=$(date +%s)
tsan_suites=(support_tests exchange_tests operations_tests device_operations_tests sim_tests
             sim_program_tests tftp_client_tests cli_restore_tests cli_fleet_tests
             cli_upgrade_tests cli_drop_rate_tests cli_watch_tests cli_metrics_tests)
cmake -S . -B build-tsan -G Ninja -DVELKARO_TSAN=ON -DVELKARO_GUI=OFF -DVELKARO_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKARO_WERROR=$werror
cmake --build build-tsan -j "$jobs" --target "${tsan_suites[@]}" velkaro-cli velkaro-sim
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 300 \
  -L "^($(IFS='|'; echo "${tsan_suites[*]}"))\$"
echo "ThreadSanitizer stage: $(($(date +%s) - tsan_start)) s"

VELKARO_WERROR=$werror scripts/fuzz.sh 20
scripts/test-package.sh
scripts/test-windows.sh
