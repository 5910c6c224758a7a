#!/usr/bin/env bash
# Starts velkaro.exe --demo under Wine with the Windows platform on a virtual display (Xvfb and
# Wine's X11 driver), waits for the window titled "Velkaro", saves a screenshot of the display
# (build-windows/screenshots/windows-demo.png) and ends it.
# The grid's contents are checked by the window's QtTest suites, which run under Wine too.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build-windows/src/app/velkaro.exe
[ -f "$exe" ] || { echo "No $exe: the window was not built (scripts/build-qt-windows.sh)"; exit 0; }

export WINEPREFIX="${VELKARO_WINEPREFIX:-$PWD/build-windows/wineprefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() { kill "$program" 2>/dev/null || true; wineserver -k 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true; }
program=
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 1 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

log=$PWD/build-windows/screenshots/windows-demo.pcapng
mkdir -p build-windows/screenshots
rm -f "$log"
QT_QPA_PLATFORM=windows wine "$exe" --demo --log "Z:${log//\//\\}" >/dev/null 2>&1 &
program=$!
found=0
for _ in $(seq 1 240); do  # a first start in a prefix sets up its fonts: up to 2 minutes
  if xwininfo -root -tree 2>/dev/null | grep -q '"Velkaro"'; then found=1; break; fi
  sleep 0.5
done
[ "$found" = 1 ] || { echo "FAIL: no window titled Velkaro within 120 s" >&2; exit 1; }
# Scan as a user would: Ctrl+S in the window. The screen's text cannot be read here, so the
# packet log the window writes when it closes must hold the answers of the three demo devices.
window=$(xdotool search --name '^Velkaro$' | head -n 1)
xdotool key --window "$window" ctrl+s
sleep 4  # the scan: ten rounds, 250 ms apart
mkdir -p build-windows/screenshots
shot=build-windows/screenshots/windows-demo
xwd -root -silent -out "$shot.xwd"
python3 scripts/xwd-to-png.py "$shot.xwd" "$shot.png"
xdotool key --window "$window" alt+F4  # closed as a user closes it: the log is written then
for _ in $(seq 1 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
[ -f "$log" ] || { echo "FAIL: the window wrote no packet log at its end" >&2; exit 1; }
for name in "Switch 001" "Switch 002" "Rack 003"; do
  grep -q -a -F "$name" "$log" || { echo "FAIL: no answer of '$name' reached the window" >&2; exit 1; }
done
echo "Windows window: 'Velkaro' shown under Wine, a scan heard the three demo devices;" \
     "screenshot $shot.png"
