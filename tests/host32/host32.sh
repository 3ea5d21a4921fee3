#!/usr/bin/env bash
# The Windows build with the site's 32-bit automaton libraries, under Wine.
# This machine's kernel runs no 32-bit code, so the run happens in a QEMU
# guest (Debian's kernel, TCG) whose root is a Debian system with Wine's
# 32-bit half (wine32), shared read-only; the trees come in at their own
# paths, and a work folder is shared writable. Wine's prefix is made in the
# guest once per machine (about two minutes under emulation) and cached.
# Usage: host32.sh WINDOWS-BUILD-DIR LINUX-BUILD-DIR (with cvd-sim built)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
# shellcheck source=scripts/lib/packages.sh
. "$repo/scripts/lib/packages.sh"
# shellcheck source=scripts/lib/chroot.sh
. "$repo/scripts/lib/chroot.sh"
# shellcheck source=scripts/lib/guest.sh
. "$repo/scripts/lib/guest.sh"

ensure_packages "${DRIVER_TEST_PACKAGES[@]}"
root_tarball=$(CHROOT_ARCHITECTURES=amd64,i386 chroot_tarball bookworm "${WINE32_GUEST_PACKAGES[@]}")
prefix_cache=$CHROOT_CACHE/wine32-prefix-$(basename "$root_tarball" .tar).tar.zst
kernel=$(guest_kernel)

work=$(mktemp -d /var/tmp/cvd-host32.XXXXXX)
root=$work/root
share=$work/share
qemu_pid=
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  local tree
  for tree in "$linux_build" "$windows_build" "$repo"; do
    mountpoint -q "$root$tree" && umount "$root$tree"
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The work folder appears in the guest at its own path too.
mkdir -p "$root" "$share" "$root$share"
tar -xf "$root_tarball" -C "$root"
for tree in "$repo" "$windows_build" "$linux_build"; do
  mkdir -p "$root$tree"
  mountpoint -q "$root$tree" || mount --bind -o ro "$tree" "$root$tree"
done
cat >"$share/env" <<ENV
REPO=$repo
BIN=$windows_build/bin
SIM=$linux_build/bin/cvd-sim
ENV
guest_initramfs "$kernel" "$work"

# boot: runs guest32.sh in the guest, its lines shown as they come.
# qemu64 with the SSE levels Debian's Wine takes: this QEMU's "max" model
# faults in Wine's 64-bit system calls under Debian 12's kernel. Two vCPUs:
# Wine runs a server and a process or two beside the program.
boot() {
  local started=$SECONDS
  : >"$work/console"
  timeout 1500 qemu-system-x86_64 -accel tcg -cpu qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt,+cx16,+lahf-lm -smp 2 -m 2048 \
    -nodefaults -display none -no-reboot -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.gz" \
    -append "quiet panic=-1 rdinit=/init cvd_guest=$here/guest32.sh cvd_work=$share cvd_keep=$repo,$windows_build,$linux_build" \
    -fsdev local,id=host,path="$root",readonly=on,security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=host,mount_tag=host \
    -fsdev local,id=work,path="$share",security_model=none,multidevs=remap \
    -device virtio-9p-pci,fsdev=work,mount_tag=work \
    -device virtio-serial-pci -chardev file,id=console,path="$work/console" -device virtconsole,chardev=console \
    -serial null &
  qemu_pid=$!
  tail -n +1 -f --pid="$qemu_pid" "$work/console" | grep --line-buffered -v -e '^\[ ' -e fixme || true
  wait "$qemu_pid" || true
  qemu_pid=
  echo "(the guest ran for $((SECONDS - started)) s)"
}

if [ -f "$prefix_cache" ]; then
  tar -C "$share" --zstd -xf "$prefix_cache"
else
  echo "Making a Wine prefix in the guest (once per machine, some minutes under emulation) ..."
  boot
  [ -f "$share/prefix/system.reg" ] || { echo "The guest made no Wine prefix." >&2; exit 1; }
  tar -C "$share" --zstd -cf "$prefix_cache.part" prefix && mv "$prefix_cache.part" "$prefix_cache"
fi
boot
grep -q '^RESULT 0 failures' "$work/console"
