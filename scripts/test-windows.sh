#!/usr/bin/env bash
# Cross-builds the Qt-free half for Windows (scripts/build-windows.sh) and runs its test suites
# under Wine, on the loopback interface only. Installs the MinGW compiler and Wine when missing.
# The Wine prefix is created once, before any test runs, so that its slow first start never
# counts against a timed test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh  # the MinGW compiler, Wine and the GoogleTest sources among them

start=$(date +%s)
scripts/build-windows.sh
built=$(date +%s)

# A prefix of our own, never the user's; no desktop integration, no debugger pop-ups.
export WINEPREFIX="${VELKARO_WINEPREFIX:-$PWD/build-windows/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  timeout 300 wineboot --init
fi
timeout 120 wineserver -w || true
# One server for the whole run instead of one per test start; ended below.
wineserver -p 600
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program start of a session loads Wine's own DLLs (and updates an older prefix);
# done here, outside every test's time limit.
timeout 300 wine build-windows/src/cli/velkaro-cli.exe --version

# With the window's suites, one desktop for the whole run as well. Wine starts its desktop
# process (explorer.exe) from the first program that needs a window, handing it that program's
# stderr, and keeps it while any Wine program runs: the window test that happened to start it held
# ctest waiting on its output until the 300 s time-out, long after the test itself had ended.
# Started here, it holds no test's output; it lives as long as this start.exe, ended after the
# tests. The Qt-free suites open no window and need none.
desktop=
if [ -f build-windows/src/app/velkaro.exe ]; then
  wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
  desktop=$!
  trap 'kill "$desktop" 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
  # A program that needs the desktop must end with its output, as every test has to; one that
  # started the desktop itself would keep the pipe open while the desktop lives.
  if ! timeout 60 sh -c 'wine rundll32.exe user32.dll,GetDesktopWindow 2>&1 | cat >/dev/null'; then
    echo "A Wine program's output outlived it: the run's desktop was not up" >&2
    exit 1
  fi
fi

# A Wine start very rarely ends at once with no output at all (seen once in about 1,500 starts):
# only such a test runs once more. A test that failed with any output (an assertion, a crash
# with its exception status, a time-out) fails the step at once.
junit=$PWD/build-windows/wine-tests.xml
status=0
ctest --test-dir build-windows --output-on-failure -j "${VELKARO_JOBS:-$(nproc)}" --timeout 300 \
  --output-junit "$junit" || status=$?
if [ "$status" -ne 0 ]; then
  quiet=$(python3 scripts/wine-quiet-failures.py "$junit") || exit 1
  [ -n "$quiet" ] || { echo "Windows tests failed" >&2; exit 1; }
  echo "Ended at once with no output under Wine, run once more:" $quiet
  regex="^($(printf '%s\n' $quiet | sed 's/[][\.*^$+?(){}|]/\\&/g' | paste -sd'|'))\$"
  ctest --test-dir build-windows --output-on-failure --timeout 300 -R "$regex"
fi
tested=$(date +%s)
# The window's own run below brings a desktop on its virtual display.
if [ -n "$desktop" ]; then
  kill "$desktop" 2>/dev/null || true
  for _ in $(seq 1 120); do kill -0 "$desktop" 2>/dev/null || break; sleep 0.5; done
fi
if [ -f build-windows/src/app/velkaro.exe ]; then
  scripts/test-windows-window.sh
else
  echo "The window's Windows tests were skipped: no Qt for Windows in the cache;" \
       "scripts/build-qt-windows.sh builds it (about an hour), then run this again"
fi
wineserver -k 2>/dev/null || true
scripts/test-windows-installer.sh
finished=$(date +%s)
echo "Windows step: build $((built - start)) s, Wine tests $((tested - built)) s," \
     "installer $((finished - tested)) s"
