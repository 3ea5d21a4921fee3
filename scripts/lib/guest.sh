# shellcheck shell=bash
# A QEMU guest on Debian's own kernel: the packaged kernel, extracted, never
# installed, cached by version; and an initramfs of ours (tests/drivers/init)
# that loads the drivers, mounts a root shared over virtio-9p and runs one
# script in it. Needs DRIVER_TEST_PACKAGES.

GUEST_KERNEL_CACHE=${KERNEL_CACHE:-/var/cache/cvd-operator/kernel}
# virtio's console and 9p for every guest; xhci and the FTDI driver for the
# serial driver rig.
GUEST_MODULES=(virtio_pci virtio_console 9pnet_virtio 9p xhci_pci ftdi_sio)

guest_kernel_version() {
  apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: linux-image-\(.*\)/\1/p' | head -n1 || true
}

# guest_kernel: prints the folder of the current kernel (vmlinuz, and the
# modules in the order they load), fetching it once per version.
guest_kernel() {
  local version kernel unpack path plain
  PATH=$PATH:/usr/sbin:/sbin
  version=$(guest_kernel_version)
  if [ -z "$version" ]; then
    apt-get update >/dev/null # a fresh system may have no package lists yet
    version=$(guest_kernel_version)
  fi
  kernel=$GUEST_KERNEL_CACHE/$version
  if [ ! -e "$kernel/vmlinuz" ]; then
    echo "Fetching Debian's kernel $version (once per machine) ..." >&2
    unpack=$(mktemp -d /var/tmp/cvd-kernel.XXXXXX)
    (cd "$unpack" && apt-get download "linux-image-$version" >/dev/null 2>&1 && dpkg-deb -x linux-image-*.deb tree)
    # Debian 13 keeps the modules under /usr/lib; depmod and modprobe look in /lib.
    if [ ! -d "$unpack/tree/lib/modules" ]; then
      mkdir -p "$unpack/tree/lib"
      ln -s ../usr/lib/modules "$unpack/tree/lib/modules"
    fi
    depmod -b "$unpack/tree" "$version" >&2
    mkdir -p "$kernel.new/modules"
    for module in "${GUEST_MODULES[@]}"; do modprobe -d "$unpack/tree" -S "$version" --show-depends "$module"; done |
      awk '$1 == "insmod" && !seen[$2]++ { print $2 }' >"$unpack/order"
    # Busybox's insmod takes plain modules; newer kernels ship them compressed.
    while read -r path; do
      plain=$(basename "${path%.xz}")
      plain=${plain%.zst}
      case $path in
        *.xz) xz -dc "$path" ;;
        *.zst) zstd -qdc "$path" ;;
        *) cat "$path" ;;
      esac >"$kernel.new/modules/$plain"
      echo "$plain" >>"$kernel.new/modules.order"
    done <"$unpack/order"
    cp "$unpack/tree/boot/vmlinuz-$version" "$kernel.new/vmlinuz"
    rm -rf "$unpack" "$kernel"
    mv "$kernel.new" "$kernel"
  fi
  echo "$kernel"
}

# guest_initramfs KERNEL WORK: WORK/initramfs.gz, of busybox, the kernel's
# modules and the first process.
guest_initramfs() {
  local kernel=$1 work=$2
  mkdir -p "$work/initramfs/bin" "$work/initramfs/proc" "$work/initramfs/sys" "$work/initramfs/dev"
  cp /bin/busybox "$work/initramfs/bin/busybox"
  cp -r "$kernel/modules" "$kernel/modules.order" "$work/initramfs/"
  cp "$(dirname "${BASH_SOURCE[0]}")/../../tests/drivers/init" "$work/initramfs/init"
  (cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initramfs.gz")
}
