#!/usr/bin/env bash
# Builds the Debian package and checks it: its file list, the version the programs report,
# lintian, desktop-file-validate and appstreamcli. As root it also installs the package with
# apt-get, starts the programs, removes the package and checks that no file of it is left.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(scripts/package.sh | tail -n 1)
version=$(dpkg-deb -f "$deb" Version)
echo "== $deb (version $version)"
dpkg-deb --info "$deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The package holds exactly the files cmake --install puts under /usr, nothing else.
dpkg-deb --contents "$deb" | tee "$work/contents.txt"
awk '$1 !~ /^d/ { sub(/^\.\/usr\//, "", $6); print $6 }' "$work/contents.txt" | sort >"$work/files.txt"
grep -hv '^#' tests/packaging/installed-files.txt tests/packaging/installed-files-gui.txt |
  sort >"$work/expected.txt"
if ! diff -u "$work/expected.txt" "$work/files.txt"; then
  echo "FAIL: the package's files differ from the expected list (- expected, + in the package)"
  exit 1
fi

# The stripped programs still carry their version block: --version and the About box show the
# package's version.
dpkg-deb -x "$deb" "$work/root"
cli_version=$("$work/root/usr/bin/velkaro-cli" --version)
if [ "$cli_version" != "velkaro-cli $version" ]; then
  echo "FAIL: velkaro-cli --version says '$cli_version', the package is $version"
  exit 1
fi
if ! grep -aq "FileVersion=$version" "$work/root/usr/bin/velkaro"; then
  echo "FAIL: velkaro's version block (shown by the About box) lacks FileVersion=$version"
  exit 1
fi

echo "== lintian"
lintian --fail-on error "$deb"
echo "== desktop-file-validate"
desktop-file-validate "$work"/root/usr/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$work"/root/usr/share/metainfo/*.metainfo.xml

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing the package needs root (apt-get install, apt-get remove)"
  exit 0
fi
if dpkg-query -W -f='${Status}' velkaro 2>/dev/null | grep -q 'installed'; then
  echo "SKIP: a velkaro package is already installed here; not replacing it"
  exit 0
fi

echo "== apt-get install $deb"
apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@"
}
remove_package() { apt_get remove velkaro >/dev/null 2>&1 || true; }
trap 'remove_package; rm -rf "$work"' EXIT
apt_get install "$(realpath "$deb")" >/dev/null
dpkg -L velkaro >"$work/dpkg-list.txt"

[ "$(velkaro-cli --version)" = "velkaro-cli $version" ] ||
  { echo "FAIL: installed velkaro-cli --version: $(velkaro-cli --version)"; exit 1; }
# The window starts on its demo devices (127.0.0.1 only) and is still running 2 s later.
QT_QPA_PLATFORM=offscreen velkaro --demo >"$work/velkaro.log" 2>&1 &
gui=$!
sleep 2
if ! kill -0 "$gui" 2>/dev/null; then
  wait "$gui" && rc=0 || rc=$?
  echo "FAIL: velkaro --demo ended within 2 s (exit $rc):"
  cat "$work/velkaro.log"
  exit 1
fi
kill "$gui"
wait "$gui" 2>/dev/null || true
echo "velkaro --demo ran for 2 s; velkaro-cli reports $version"

apt_get remove velkaro >/dev/null
left=0
while read -r path; do
  [ -e "$path" ] || continue
  # A folder may stay when another package still owns it.
  if [ ! -d "$path" ] || ! dpkg-query -S "$path" >/dev/null 2>&1; then
    echo "FAIL: left behind after apt-get remove: $path"
    left=1
  fi
done <"$work/dpkg-list.txt"
if dpkg-query -W -f='${Status}' velkaro 2>/dev/null | grep -q 'installed'; then
  echo "FAIL: velkaro is still installed"
  left=1
fi
[ "$left" -eq 0 ] || exit 1
echo "apt-get remove left none of the $(grep -c . "$work/dpkg-list.txt") paths dpkg -L listed"
