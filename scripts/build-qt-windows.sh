#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (static, MinGW) from Debian's own qt6-base source, at
# the version of the host's Qt so that the host's moc, rcc and uic match, and installs it into a
# cache prefix outside the tree:
#   ${VELKARO_QT_WINDOWS:-${XDG_CACHE_HOME:-~/.cache}/velkaro/qt6-mingw-VERSION}
# scripts/build-windows.sh builds velkaro.exe whenever that prefix is complete. A stamp in it
# records the version and the options; a second run with the same ones does nothing.
# The sources come through a package list of this script's own (deb-src twins of the system's
# Debian entries), so the system's apt configuration is never changed. Qt SVG is not built: its
# source at the host's version is not in the archive; the Windows window embeds its icons as
# PNG files rendered from the SVG at build time instead.
# About an hour on a 2-core machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh  # host Qt (its tools), the MinGW compiler, dpkg-dev for unpacking

host_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)   # e.g. 6.4.2+dfsg-10
qt_version=${host_version%%+*}
qt_version=${qt_version%%-*}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velkaro
prefix=${VELKARO_QT_WINDOWS:-$cache/qt6-mingw-$qt_version}
work=${VELKARO_QT_WORK:-$cache/qt6-mingw-build}
jobs=${VELKARO_JOBS:-$(nproc)}

# Everything the window needs: Core, Gui, Widgets and Test, with the Windows platform plugin
# and its styles. Tablet events need wintab.h, which the Debian tarball leaves out; OpenGL stays
# on (6.4's Windows plugin does not compile without it).
options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
  -DINPUT_freetype=qt -DINPUT_harfbuzz=qt -DINPUT_libpng=qt -DINPUT_libjpeg=qt
  -DINPUT_pcre=qt -DINPUT_doubleconversion=qt
)
stamp_text="qt6-base $host_version ${options[*]}"
stamp=$prefix/velkaro-qt.stamp
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$stamp_text" ]; then
  echo "Qt for Windows is already built: $prefix"
  exit 0
fi

start=$(date +%s)
mkdir -p "$work"

# A private package list: the system's Debian entries (this release and its -updates and
# -security suites) as deb-src, in apt's own state folder of this script.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
apt_dir=$work/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/parts" "$apt_dir/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 stanzas whose suites are all this release's: the same stanza with Types: deb-src.
    awk -v rel="$codename" '
      function flush() {
        if (n && ok && deb) { for (i = 1; i <= n; i++) print lines[i]; print "" }
        n = 0; ok = 0; deb = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      /^Types:/ { deb = ($0 ~ /[[:space:]]deb([[:space:]]|$)/); lines[++n] = "Types: deb-src"; next }
      /^Suites:/ {
        ok = 1
        for (i = 2; i <= NF; i++) if ($i !~ ("^" rel "(-updates|-security)?$")) ok = 0
      }
      { lines[++n] = $0 }
      END { flush() }
    ' "$f"
done > "$apt_dir/parts/debian-src.sources"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  awk -v rel="$codename" '$1 == "deb" && $3 ~ ("^" rel "(-updates|-security)?$") { $1 = "deb-src"; print }' "$f"
done > "$apt_dir/sources.list"
if ! grep -q deb-src "$apt_dir/sources.list" "$apt_dir/parts/debian-src.sources"; then
  echo "No Debian $codename entry in the system's package lists to take the Qt sources from" >&2
  exit 1
fi
apt_opts=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
  -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
)
apt-get "${apt_opts[@]}" update -qq

fetch_source() {  # package version folder-glob
  local found
  found=$(find "$work" -maxdepth 1 -type d -name "$3" | head -n 1)
  if [ -z "$found" ]; then
    # dpkg-source reports its steps on standard output: kept off the folder name returned here.
    (cd "$work" && apt-get "${apt_opts[@]}" source -qq "$1=$2") >&2
    found=$(find "$work" -maxdepth 1 -type d -name "$3" | head -n 1)
  fi
  [ -n "$found" ] || { echo "The source of $1 $2 did not unpack" >&2; exit 1; }
  echo "$found"
}
base_src=$(fetch_source qt6-base "$host_version" 'qt6-base-*')

toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
cmake -G Ninja -S "$base_src" -B "$work/base" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=BOTH \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}"
cmake --build "$work/base" -j "$jobs"
cmake --install "$work/base"

echo "$stamp_text" > "$stamp"
# The build tree is about 4 GB and nothing reads it once Qt is installed; the unpacked source
# stays for a rebuild. VELKARO_QT_KEEP_BUILD=1 keeps the tree too.
[ "${VELKARO_QT_KEEP_BUILD:-0}" = 1 ] || rm -rf "$work/base"
finished=$(date +%s)
echo "Qt $qt_version for Windows built in $(((finished - start) / 60)) min $(((finished - start) % 60)) s: $prefix ($(du -sh "$prefix" | cut -f1))"
