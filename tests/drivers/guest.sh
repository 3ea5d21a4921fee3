#!/usr/bin/env bash
# Runs in the guest, on the host's root: the steps that drivers.sh asks for,
# one file each in WORK/steps, in turn. Each prints one line on the console:
#   STEP name status=N wall=S cpu=S [what the step read]
# Usage: guest.sh WORK
set -uo pipefail
work=$1
# shellcheck source=/dev/null
. "$work/env" # OPERATOR, PROBE, REPO
# shellcheck source=scripts/lib/desktop.sh
. "$REPO/scripts/lib/desktop.sh"

# The guest's clock is its own: what it measures, it measures itself.
timed() { # timed COMMAND...: runs it, sets status, wall and cpu (user + system seconds)
  local start end
  start=$(date +%s.%N)
  TIMEFORMAT='%U %S'
  { time "$@" >/tmp/out 2>&1; } 2>/tmp/times
  status=$?
  end=$(date +%s.%N)
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
  cpu=$(awk '{ printf "%.2f", $1 + $2 }' /tmp/times)
}

field() { # field NAME EXPECTED: what the field shows, once it shows EXPECTED or after 10 s
  local shown
  for _ in $(seq 20); do
    shown=$(read_field "$1")
    [ "$shown" = "$2" ] && break
    sleep 0.5
  done
  printf '%s' "$shown"
}

# The window, clicked as an operator: a dispense on port 1 (the UART), one on
# port 2 (an adapter), then a status on port 2.
window() {
  desktop_start || { echo "STEP window status=9 no display"; return; }
  OPERATOR_ERRORS=/tmp/operator-errors WINDOW_WAIT=60 operator_start "$OPERATOR" || {
    echo "STEP window status=9 no window: $(cat /tmp/operator-errors)"
    return
  }
  click Command4
  wait_for_line "$work/uart.trace" "card dispensed" 30
  local uart1 uart2
  uart1=$(field Text1 -2)
  uart2=$(field Text2 1)
  click Command5
  wait_for_line "$work/usb0.trace" "card dispensed" 30
  local usb1 usb2
  usb1=$(field Text1 -2)
  usb2=$(field Text2 1)
  click Command1
  local status
  status=$(field Text1 Busy)
  echo "STEP window status=0 uart=$uart1/$uart2 usb=$usb1/$usb2 after=$status"
  desktop_stop
}

# probe ARGS...: cvd-probe on the second adapter, timed.
probe() {
  timed "$PROBE" --device /dev/ttyUSB1 "$@"
  echo "STEP probe status=$status wall=$wall cpu=$cpu $(tr '\n' ' ' </tmp/out)"
}

# unplugged ARGS...: cvd-probe on the second adapter, which the host pulls
# meanwhile. From the moment its device is gone to the moment the program
# says its error: how long that took, and the CPU it spent meanwhile (clock
# ticks of /proc/PID/stat, 100 a second); its exit, slow under the
# sanitizers, is not the wait's.
unplugged() {
  local pid gone="" said="" ticks=0 ticksGone=0 ticksSaid=0 stat
  "$PROBE" --device /dev/ttyUSB1 "$@" >/tmp/out 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    read -r -a stat <"/proc/$pid/stat" 2>/dev/null && ticks=$((stat[13] + stat[14]))
    if [ -z "$gone" ] && [ ! -e /dev/ttyUSB1 ]; then
      gone=$(date +%s.%N)
      ticksGone=$ticks
    fi
    if [ -n "$gone" ] && [ -z "$said" ] && [[ $(</tmp/out) == *error:* ]]; then
      said=$(date +%s.%N)
      ticksSaid=$ticks
    fi
    sleep 0.02
  done
  wait "$pid"
  status=$?
  # It may end before its device node goes: then it noticed within a sample.
  [ -n "$gone" ] || { gone=$(date +%s.%N); ticksGone=$ticks; }
  [ -n "$said" ] || { said=$(date +%s.%N); ticksSaid=$ticks; }
  local after busy=no
  after=$(awk -v a="$gone" -v b="$said" 'BEGIN { printf "%.2f", b - a }')
  # 5 % of a core, and the work of the noticing itself (the pause's last
  # wake, a request tried, the error made and written): some ticks, up to 13
  # in a sanitized build under emulation. A spinning core costs a tick every
  # 10 ms.
  local work=10
  [ -z "${ASAN_OPTIONS:-}" ] || work=30
  awk -v t=$((ticksSaid - ticksGone)) -v s="$after" -v w=$work 'BEGIN { exit !(t > 0.05 * s * 100 + w) }' && busy=yes
  echo "STEP unplugged status=$status noticed=$after cpu_ticks=$((ticksSaid - ticksGone)) busy=$busy $(tr '\n' ' ' </tmp/out)"
}

# adapter: waits until the second adapter is there (after a plug).
adapter() {
  for _ in $(seq 100); do [ -e /dev/ttyUSB1 ] && break; sleep 0.1; done
  echo "STEP adapter status=0" /dev/ttyUSB*
}

next=1
while :; do
  step=$work/steps/$next
  for _ in $(seq 600); do [ -e "$step" ] && break; sleep 0.1; done
  [ -e "$step" ] || { echo "STEP none status=9 no step $next"; break; }
  read -r name args <"$step"
  [ "$name" = end ] && break
  # shellcheck disable=SC2086 # the arguments are words
  "$name" $args
  next=$((next + 1))
done
