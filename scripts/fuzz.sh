#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan + UBSan) in build-fuzz/ and runs each for
# SECONDS (default 20) from its seed corpus under fuzz/corpus/. New corpus entries stay in
# build-fuzz/corpus/; a crash leaves its input in build-fuzz/artifacts/ and fails the script.
# FUZZ_RUNS=N also stops a target after N runs; FUZZ_NICE=1 runs it at the lowest priority.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
runs=${FUZZ_RUNS:--1}
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

werror=()
[ -n "${VELKARO_WERROR:-}" ] && werror=(-DVELKARO_WERROR="$VELKARO_WERROR")
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVELKARO_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${werror[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_all

prefix=()
[ "${FUZZ_NICE:-0}" = 1 ] && prefix=(nice -n 19)
failed=()
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  work=build-fuzz/corpus/$name
  artifacts=build-fuzz/artifacts/$name/
  mkdir -p "$work" "$artifacts"
  log=build-fuzz/fuzz-$name.log
  echo "== $name: ${seconds}s"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "${prefix[@]}" "build-fuzz/fuzz/fuzz_$name" -max_total_time="$seconds" -runs="$runs" \
    -print_final_stats=1 -artifact_prefix="$artifacts" -timeout=10 -rss_limit_mb=2048 \
    "$work" "$corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^#[0-9]+.*DONE' "$log" || true
  else
    echo "FAILED: $name (see $log; input kept in $artifacts)"
    tail -n 30 "$log"
    failed+=("$name")
  fi
done
if ((${#failed[@]})); then
  echo "fuzz targets that crashed: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran ${seconds}s without a crash"
