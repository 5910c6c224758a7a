#!/usr/bin/env bash
# Builds the program and starts it on its embedded default: the window against the built-in
# simulated devices on 127.0.0.1 (--demo), so nothing is sent to the network.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DVELKARO_BENCH=OFF
cmake --build build -j "$(nproc)" --target velkaro
exec build/src/app/velkaro --demo "$@"
