#!/usr/bin/env bash
# Builds the program and starts it on its embedded default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DVELKARO_BENCH=OFF
cmake --build build -j "$(nproc)" --target velkaro-sim
exec build/src/sim/velkaro-sim "$@"
