#!/usr/bin/env bash
# Builds the Debian package velkaro_<version>_amd64.deb with CPack from the build folder (the one
# scripts/test.sh uses, so after the tests only the packaging step runs) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=$(realpath -m "${VELKARO_BUILD_DIR:-build}")
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >&2
cmake --build "$build" -j "$(nproc)" >&2
rm -rf "$build/package"
if ! (cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1); then
  cat "$build/cpack.log" >&2
  exit 1
fi

debs=("$build"/package/velkaro_*_amd64.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: expected one velkaro_*_amd64.deb in $build/package" >&2
  exit 1
fi
echo "${debs[0]}"
