# shellcheck shell=bash
# ensure_packages PKG...: installs the Debian packages that are missing.
ensure_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]} ..."
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  local log
  log=$(mktemp)
  # Waits for another apt or dpkg (of a second script run beside) to finish.
  local wait=(-o DPkg::Lock::Timeout=600)
  if ! { $sudo apt-get "${wait[@]}" update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${wait[@]}" install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "Could not install ${missing[*]}." >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# The packages that building and testing the program need; the scripts that
# source this file use them.
# shellcheck disable=SC2034
BUILD_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgtest-dev)
# shellcheck disable=SC2034
DESKTOP_TEST_PACKAGES=(xvfb xdotool xclip)
# A session bus with its accessibility bus, and a screen reader's library.
# shellcheck disable=SC2034
ACCESSIBILITY_TEST_PACKAGES=(dbus-daemon dbus-bin at-spi2-core python3-pyatspi)
# A Wayland compositor without a screen, and Qt's Wayland platform.
# shellcheck disable=SC2034
WAYLAND_TEST_PACKAGES=(weston qt6-wayland)
# The real serial drivers in a virtual machine (tests/drivers).
# shellcheck disable=SC2034
DRIVER_TEST_PACKAGES=(qemu-system-x86 busybox-static cpio kmod xz-utils zstd)
# The guest that runs 32-bit Windows code (tests/host32): Wine with its 32-bit
# half, a display and the tools of the end-to-end scenarios.
# shellcheck disable=SC2034
WINE32_GUEST_PACKAGES=(wine wine64 wine32:i386 xvfb xdotool xclip procps)
