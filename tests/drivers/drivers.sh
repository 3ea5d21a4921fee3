#!/usr/bin/env bash
# The program over the kernel's real serial drivers: a QEMU guest (Debian's
# own kernel, TCG, one vCPU, no network) with one 16550 UART and two emulated
# FTDI adapters, each line's far end a cvd-sim on the host. The guest runs the
# binaries just built, from the host's root shared read-only.
# Usage: drivers.sh BUILD-DIR   (needs root for the kernel's cache only once)
set -euo pipefail
# A monitor command after QEMU has gone fails; it must not end the script.
trap '' PIPE
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
SIM=$build/bin/cvd-sim
# shellcheck source=scripts/lib/guest.sh
. "$repo/scripts/lib/guest.sh"
# shellcheck source=scripts/lib/sim.sh
. "$repo/scripts/lib/sim.sh"

PATH=$PATH:/usr/sbin:/sbin

kernel=$(guest_kernel)

# A work folder the guest can read (its /tmp is its own).
work=$build/drivers-work
rm -rf "$work"
mkdir -p "$work/steps"
qemu_pid=
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  sim_stop
}
trap cleanup EXIT

guest_initramfs "$kernel" "$work"

cat >"$work/env" <<ENV
OPERATOR=$build/bin/cvd-operator-drivers
PROBE=$build/bin/cvd-probe
REPO=$repo
ENV
# The sanitizers' settings of a sanitized build, for its runs in the guest.
for variable in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  [ -n "${!variable:-}" ] && echo "export $variable=${!variable}" >>"$work/env"
done

failures=0
fail() { echo "FAIL $*" >&2; failures=$((failures + 1)); }

step=0
tell() { # tell STEP [ARGS]: the guest's next step
  step=$((step + 1))
  echo "$*" >"$work/steps/$step"
}
answer() { # answer: the guest's line for the last step (at most 90 s)
  local deadline=$((SECONDS + 90))
  while [ $SECONDS -lt $deadline ]; do
    if [ "$(grep -c '^STEP ' "$work/console" 2>/dev/null)" -ge "$step" ]; then
      grep '^STEP ' "$work/console" | sed -n "${step}p" | tr -d '\r'
      return 0
    fi
    kill -0 "$qemu_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "STEP none status=99 no answer to step $step"
}
monitor() { echo "$*" >&7; }
# unplug: pulls the second adapter, and returns once QEMU has done it (its
# monitor answers in turn, and lists the first adapter alone).
unplug() {
  local seen
  seen=$(wc -l <"$work/monitor.log")
  monitor "device_del ftdi1"
  monitor "info usb"
  for _ in $(seq 250); do
    tail -n +$((seen + 1)) "$work/monitor.log" | grep -q "ID: ftdi0" && return 0
    sleep 0.02
  done
  fail "QEMU did not pull the adapter"
}

# The far ends: the UART's and the first adapter's for the window; the second
# adapter is plugged and pulled on the way, each time on a new dispenser.
sim_start "$work/uart" "$work/uart.trace" --cards 3
sim_start "$work/usb0" "$work/usb0.trace" --cards 3 --cardout-busy 60000
sim_start "$work/usb1-0" "$work/usb1-0.trace" --fault silent
mkfifo "$work/monitor.in" "$work/monitor.out"
cat "$work/monitor.out" >"$work/monitor.log" &
qemu-system-x86_64 -accel tcg -cpu max -smp 1 -m 1024 -nodefaults -display none -no-reboot \
  -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.gz" \
  -append "quiet panic=-1 rdinit=/init cvd_guest=$here/guest.sh cvd_work=$work cvd_keep=$repo,$build" \
  -fsdev local,id=host,path=/,readonly=on,security_model=none,multidevs=remap \
  -device virtio-9p-pci,fsdev=host,mount_tag=host \
  -device virtio-serial-pci -chardev file,id=console,path="$work/console" -device virtconsole,chardev=console \
  -serial null -chardev serial,id=uart,path="$(readlink "$work/uart")" -serial chardev:uart \
  -device qemu-xhci,id=xhci \
  -chardev serial,id=usb0,path="$(readlink "$work/usb0")" -device usb-serial,id=ftdi0,chardev=usb0,bus=xhci.0,port=1 \
  -chardev serial,id=usb1-0,path="$(readlink "$work/usb1-0")" -device usb-serial,id=ftdi1,chardev=usb1-0,bus=xhci.0,port=2 \
  -chardev pipe,id=monitor,path="$work/monitor" -mon chardev=monitor,mode=readline \
  -trace serial_write -trace serial_update_parameters -trace 'usb_serial_set_*' -D "$work/qemu-trace.log" &
qemu_pid=$!
exec 7>"$work/monitor.in"
booted=$SECONDS

# field VALUE LINE: the value of "name=value" in a step's line
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }

tell window
line=$(answer)
echo "$line"
[ "$(field status "$line")" = 0 ] || fail "the window: $line"
[ "$(field uart "$line")/$(field usb "$line")/$(field after "$line")" = "-2/1/-2/1/Busy" ] ||
  fail "the window showed $line, expected uart=-2/1 usb=-2/1 after=Busy"
requests() { awk '$2 == ">" { printf "%s%s ", $3, $4 }' "$1"; }
[ "$(requests "$work/uart.trace")" = "0137 0142 " ] || fail "requests on the UART: $(requests "$work/uart.trace")"
[ "$(requests "$work/usb0.trace")" = "0137 0142 0137 " ] || fail "requests on the adapter: $(requests "$work/usb0.trace")"

# Unplug the second adapter at a moment of the exchange, seen on its
# dispenser's trace: MOMENT | cvd-sim options | cvd-probe command | the line to wait for | seconds after it
unplugs=(
  "in a reply wait||status|> 01 37|0.3"
  "in the 1.5 s pause||dispense|< 01 23|0.7"
  "in the recovery polls|--state error --reset-busy 60000|dispense|> 01 40|0.8"
)
plug=0
for row in "${unplugs[@]}"; do
  IFS='|' read -r moment options command trigger after <<<"$row"
  if [ $plug -gt 0 ]; then
    read -r -a sim_options <<<"$options"
    sim_start "$work/usb1-$plug" "$work/usb1-$plug.trace" "${sim_options[@]}"
    monitor "chardev-add serial,id=usb1-$plug,path=$(readlink "$work/usb1-$plug")"
    monitor "device_add usb-serial,id=ftdi1,chardev=usb1-$plug,bus=xhci.0,port=2"
    tell adapter
    answer >/dev/null
  fi
  trace=$work/usb1-$plug.trace
  tell unplugged "$command"
  wait_start=$SECONDS
  until grep -q -e "$trigger" "$trace" || [ $((SECONDS - wait_start)) -gt 60 ]; do sleep 0.05; done
  sleep "$after"
  unplug
  before=$(requests "$trace")
  line=$(answer)
  echo "$moment: $line"
  [ "$(field status "$line")" = 1 ] || fail "$moment: exit status $(field status "$line"), expected 1"
  grep -q "/dev/ttyUSB1.*stopped answering" <<<"$line" || fail "$moment: the error does not name the device"
  [ "$(requests "$trace")" = "$before" ] || fail "$moment: bytes reached the line after the unplug"
  [ "$(field busy "$line")" = no ] || fail "$moment: more than 5 % of a core after the unplug"
  plug=$((plug + 1))
done

# The adapter back, on a Ready dispenser: a new run works on it.
sim_start "$work/usb1-back" "$work/usb1-back.trace" --cards 3
monitor "chardev-add serial,id=usb1-back,path=$(readlink "$work/usb1-back")"
monitor "device_add usb-serial,id=ftdi1,chardev=usb1-back,bus=xhci.0,port=2"
tell adapter
    answer >/dev/null
tell probe status
line=$(answer)
echo "replugged: $line"
if [ "$(field status "$line")" != 0 ] || ! grep -q " Ready" <<<"$line"; then fail "after the replug: $line"; fi
tell end
wait "$qemu_pid" || true
qemu_pid=

# The line settings as the devices saw them (QEMU's trace events). The UART:
# its parameters when a request's first byte goes to the transmit register.
awk '
  /serial_update_parameters/ { params = $0; sub(/.*serial_update_parameters /, "", params) }
  / addr 0x03 / { dlab = index("89abcdef", substr($NF, 3, 1)) > 0 }
  / addr 0x00 val 0x01$/ && !dlab { requests++; if (params !~ /baudrate=9600 parity=.E. data=8 stop=1/) bad++ }
  END { printf "UART: %d requests, %d under other settings\n", requests, bad; exit !(requests >= 2 && bad == 0) }
' "$work/qemu-trace.log" || fail "the UART's settings at a request"
# The FTDI chips, which trace no data: the driver opens the line in XON/XOFF
# (flow control 4); each opening of the program's must then set even parity,
# 8 data bits, 1 stop bit and 9600 baud, and switch flow control off (0)
# before the line is set otherwise again: one per run on the adapter.
awk '
  / dev 0:0 / { next }
  /usb_serial_set_data/ { if (open) check(); open = /parity E, data bits 8, stop bits 1/; baud = flow = 0; if (open) runs[$3]++ }
  open && /set_baud/ { baud = / 9600$/ }
  open && /set_flow_control/ { flow = / 0$/ }
  function check() { if (!baud || !flow) bad++ }
  END { if (open) check(); for (d in runs) printf "FTDI %s: %d runs\n", d, runs[d]; printf "FTDI: %d runs under other settings\n", bad
        exit !(bad == 0 && length(runs) == 2) }
' "$work/qemu-trace.log" || fail "the FTDI chips' settings"
echo "booted and ran in $((SECONDS - booted)) s"
[ $failures -eq 0 ]
