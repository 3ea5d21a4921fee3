# shellcheck shell=bash
# The Windows build's tools: Qt cross-built from Debian's own source (once per
# machine, cached as a tarball), and Wine prefixes whose COM ports lead only
# where we say.

# shellcheck disable=SC2034
WINDOWS_BUILD_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix mingw-w64-tools ninja-build cmake dpkg-dev
  qt6-base-dev qt6-base-dev-tools libgtest-dev wine wine64 xvfb xdotool zstd)
WINDOWS_CACHE=${WINDOWS_CACHE:-/var/cache/cvd-operator/windows}
MINGW=x86_64-w64-mingw32
WINDOWS_TOOLCHAIN=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/platform/windows/mingw-w64.cmake

# The modules and features of Qt the program needs; everything else is off.
QT_WINDOWS_FLAGS=(-DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_sql=OFF
  -DFEATURE_network=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_freetype=OFF
  -DFEATURE_fontconfig=OFF -DFEATURE_jpeg=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF
  -DFEATURE_zstd=OFF -DFEATURE_pkg_config=OFF
  # Debian's source drops wintab; the windows platform plugin needs direct2d.
  -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=ON)

# qt_windows_prefix: prints where the Qt of this source, compiler and flags lives.
qt_windows_prefix() {
  local version key
  version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
  key=$( { echo "$version"; ${MINGW}-g++-posix --version | head -n 1; echo "${QT_WINDOWS_FLAGS[*]}"
    cat "$WINDOWS_TOOLCHAIN"; } | sha256sum | cut -c1-12)
  echo "/opt/cvd-operator/qt-windows-${version%%+*}-$key"
}

# ensure_windows_qt: unpacks the cached Qt, or builds it from Debian's source
# (about 15 minutes on two cores) and caches it. The tree is not relocatable:
# it lives at the path it was built for.
ensure_windows_qt() {
  local prefix tarball src
  prefix=$(qt_windows_prefix)
  tarball="$WINDOWS_CACHE/$(basename "$prefix").tar.zst"
  [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ] && return 0
  if [ -f "$tarball" ]; then
    mkdir -p "$(dirname "$prefix")"
    tar -C "$(dirname "$prefix")" --zstd -xf "$tarball"
    return 0
  fi
  echo "Building Qt for Windows from Debian's source (once per machine, about 15 minutes) ..."
  ensure_deb_src
  src=$(mktemp -d /var/tmp/cvd-qt-windows.XXXXXX)
  (cd "$src" && apt-get source -qq qt6-base >/dev/null 2>&1) ||
    { echo "Could not fetch Debian's source of qt6-base." >&2; return 1; }
  # Qt's own toolchain file names this one: it goes with the installed tree.
  mkdir -p "$prefix"
  cp "$WINDOWS_TOOLCHAIN" "$prefix/mingw-w64.cmake"
  cmake -S "$src"/qt6-base-*/ -B "$src/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${QT_WINDOWS_FLAGS[@]}" >"$src/configure.log" 2>&1 ||
    { tail -n 40 "$src/configure.log" >&2; return 1; }
  cmake --build "$src/build" -j"$(nproc)" >"$src/build.log" 2>&1 || { tail -n 40 "$src/build.log" >&2; return 1; }
  cmake --install "$src/build" >/dev/null
  mkdir -p "$WINDOWS_CACHE"
  tar -C "$(dirname "$prefix")" --zstd -cf "$tarball.part" "$(basename "$prefix")" && mv "$tarball.part" "$tarball"
  rm -rf "$src"
}

# ensure_deb_src: lets apt fetch sources from the archives it installs from.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/cvd-operator-deb-src.sources f
  [ -f "$list" ] && return 0
  for f in /etc/apt/sources.list.d/*.sources; do
    sed 's/^Types: deb$/Types: deb-src/' "$f"
    echo
  done >"$list.part"
  mv "$list.part" "$list"
  apt-get update -qq
}

# deploy_windows_runtime FOLDER: puts beside the programs in FOLDER the DLLs
# and plugins they need from Qt and MinGW, stripped.
deploy_windows_runtime() {
  local folder=$1 qt dll runtime
  qt=$(qt_windows_prefix)
  runtime=/usr/lib/gcc/$MINGW/$(${MINGW}-gcc-posix -dumpversion)
  mkdir -p "$folder/platforms" "$folder/styles"
  for dll in Qt6Core Qt6Gui Qt6Widgets Qt6Test; do
    install -m 0644 "$qt/bin/$dll.dll" "$folder/"
  done
  install -m 0644 "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
  install -m 0644 "$qt"/plugins/styles/*.dll "$folder/styles/"
  install -m 0644 "$runtime/libstdc++-6.dll" "$runtime/libgcc_s_seh-1.dll" \
    "/usr/$MINGW/lib/libwinpthread-1.dll" "$folder/"
  find "$folder" -maxdepth 2 -name '*.dll' ! -name 'grafcet*' -exec ${MINGW}-strip --strip-unneeded {} +
}

# wine_prefix_make PREFIX TARGET...: a fresh 64-bit Wine prefix in PREFIX,
# exported as WINEPREFIX, whose COM1, COM2, ... lead to the TARGETs, and
# checked to: Wine's default maps COM1 to /dev/ttyS0, which is a real UART
# on these machines (the console), and no test may open it.
wine_prefix_make() {
  wine_prefix_use "$1"
  wineboot -i >/dev/null 2>&1
  shift
  wine_ports_set "$@"
}

# wine_prefix_use PREFIX: the prefix the next Wine programs run in.
wine_prefix_use() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# wine_ports_set TARGET...: COM1, COM2, ... of the prefix lead to the
# TARGETs, and checked to.
wine_ports_set() {
  local n=1 target ports
  ports=$(mktemp --suffix=.reg)
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n' >"$ports"
  for target in "$@"; do
    printf '"COM%d"="%s"\n' "$n" "$target" >>"$ports"
    n=$((n + 1))
  done
  # One Wine program for all of them: each start costs seconds under emulation.
  wine regedit /S "$ports" >/dev/null 2>&1
  rm -f "$ports"
  wineserver -w
  wine cmd /c exit >/dev/null 2>&1 # Wine makes its COM links anew from the registry at start
  wineserver -w
  wine_ports_checked "$@"
}

# wine_ports_checked TARGET...: the COM ports lead where we said, in the
# registry and in the links Wine made from it at its last start, or fails.
# It reads the prefix's files: a Wine started here would keep its desktop on
# whatever display is set now.
wine_ports_checked() {
  local n=1 target link
  for target in "$@"; do
    link=$(readlink "$WINEPREFIX/dosdevices/com$n" 2>/dev/null || true)
    if [ "$link" != "$target" ] ||
      ! sed -n '/^\[Software\\\\Wine\\\\Ports\]/,/^$/p' "$WINEPREFIX/system.reg" | grep -qxF "\"COM$n\"=\"$target\""; then
      echo "Wine's COM$n leads to '${link:-nothing}', not to $target: refusing to run anything on it." >&2
      return 1
    fi
    n=$((n + 1))
  done
}

# installer_version: the version an installer carries, debian/changelog's
# (CVD_VERSION overrides it) as the three numbers Windows Installer takes.
installer_version() {
  local version=${CVD_VERSION:-$(dpkg-parsechangelog -S Version)}
  version=${version#*:}
  version=${version%%-*}
  [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    { echo "The version $version is not the three numbers an installer carries." >&2; return 1; }
  echo "$version"
}
