# shellcheck shell=bash
# Clean Debian systems in chroots, made with mmdebstrap from Debian's archive.
# Source it after packages.sh.
#
# chroot_enter SUITE DIR PKG...: DIR becomes a fresh SUITE system with PKG
#   installed, and /proc, /sys, /dev and /dev/pts of this machine bound in.
#   The system is unpacked from a tarball cached in CHROOT_CACHE, made on the
#   first use of that suite and package list; a machine without the cache
#   makes it (about two minutes). CHROOT_ARCHITECTURES (amd64,i386, say)
#   adds foreign architectures to it.
# chroot_run DIR COMMAND...: runs COMMAND as root in the chroot.
# chroot_leave DIR: unbinds and deletes DIR; safe to call twice, and from a trap.

CHROOT_CACHE=${CHROOT_CACHE:-/var/cache/cvd-operator/chroots}

chroot_tarball() {
  local suite=$1
  shift
  local key
  key=$(printf '%s\n' "$suite" "$@" ${CHROOT_ARCHITECTURES:+"arch=$CHROOT_ARCHITECTURES"} | sort | sha256sum | cut -c1-16)
  local tarball="$CHROOT_CACHE/$suite-$key.tar"
  if [ ! -s "$tarball" ]; then
    ensure_packages mmdebstrap >&2
    mkdir -p "$CHROOT_CACHE"
    echo "Making a $suite system with $* (once per machine; cached in $CHROOT_CACHE) ..." >&2
    local include=()
    [ $# -eq 0 ] || include=(--include="$(
      IFS=,
      echo "$*"
    )")
    # Written beside, then renamed: an interrupted run leaves no half tarball.
    if ! mmdebstrap --quiet --format=tar --variant=apt ${CHROOT_ARCHITECTURES:+--architectures="$CHROOT_ARCHITECTURES"} \
      "${include[@]}" "$suite" "$tarball.part" >&2; then
      rm -f "$tarball.part"
      echo "mmdebstrap could not make the $suite system: is Debian's archive reachable?" >&2
      return 1
    fi
    mv "$tarball.part" "$tarball"
  fi
  echo "$tarball"
}

chroot_enter() {
  local suite=$1 dir=$2
  shift 2
  local tarball
  tarball=$(chroot_tarball "$suite" "$@") || return 1
  mkdir -p "$dir"
  tar -xf "$tarball" -C "$dir"
  cp /etc/resolv.conf "$dir/etc/resolv.conf"
  local m
  for m in proc sys dev dev/pts; do
    mkdir -p "$dir/$m"
    mount --bind "/$m" "$dir/$m"
  done
}

chroot_run() {
  local dir=$1
  shift
  chroot "$dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CI="${CI:-}" "$@"
}

chroot_leave() {
  local dir=$1 m
  [ -d "$dir" ] || return 0
  for m in dev/pts dev sys proc; do
    if mountpoint -q "$dir/$m"; then
      umount "$dir/$m" || umount -l "$dir/$m"
    fi
  done
  # Never across a mount: a bound /dev still there must not be emptied.
  rm -rf --one-file-system "$dir"
}
