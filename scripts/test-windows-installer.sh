#!/usr/bin/env bash
# Makes the Windows installer and zip from build-windows/ (scripts/build-windows.sh first), then
# installs silently into a fresh Wine prefix, checks the files and the Start-menu entry, starts
# velkaro-cli.exe --version from the install folder, uninstalls silently and checks that
# nothing is left. The prefix is the test's own and is deleted at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build-windows --target windows_packages
version=$(sed -n 's/^project(Velkaro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
setup=$PWD/build-windows/package/velkaro-$version-setup.exe
zip=$PWD/build-windows/package/velkaro-$version-windows-x64.zip
[ -f "$setup" ] && [ -f "$zip" ] || { echo "FAIL: no installer or zip" >&2; exit 1; }

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
cleanup() { WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
timeout 300 wineboot --init
timeout 120 wineserver -w

fail() { echo "FAIL: $*" >&2; exit 1; }
folder="$WINEPREFIX/drive_c/Program Files/Velkaro"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
expected=(velkaro-cli.exe velkaro-sim.exe readme.txt uninstall.exe)
window=0
if [ -f build-windows/src/app/velkaro.exe ]; then
  window=1
  expected+=(velkaro.exe)
fi

timeout 300 wine "$setup" /S
timeout 120 wineserver -w
for f in "${expected[@]}"; do [ -f "$folder/$f" ] || fail "not installed: $f"; done
if [ "$window" = 1 ]; then
  [ -f "$menu/Velkaro.lnk" ] || fail "no Start-menu entry in $menu"
fi
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velkaro'
timeout 120 wine reg query "$key" >/dev/null 2>&1 || fail "no uninstall entry $key"
out=$(timeout 120 wine "C:\\Program Files\\Velkaro\\velkaro-cli.exe" --version | tr -d '\r')
echo "$out" | grep -q "$version" || fail "velkaro-cli.exe --version from the install folder said: $out"

timeout 300 wine "C:\\Program Files\\Velkaro\\uninstall.exe" /S
timeout 120 wineserver -w
# The uninstaller runs from a copy in the temporary folder and may end after its starter.
for _ in $(seq 1 50); do [ -e "$folder" ] || break; sleep 0.2; done
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder")"
[ ! -e "$menu/Velkaro.lnk" ] || fail "the Start-menu entry was left behind"
if timeout 120 wine reg query "$key" >/dev/null 2>&1; then fail "the uninstall entry was left behind"; fi
echo "Windows installer: installed $(((${#expected[@]}))) files, started velkaro-cli.exe ($out)," \
     "uninstalled without a trace; $(du -h "$setup" | cut -f1) setup, $(du -h "$zip" | cut -f1) zip"
