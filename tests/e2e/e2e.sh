#!/usr/bin/env bash
# End-to-end: the real cvd-operator on a virtual display, clicked with
# xdotool, against simulated dispensers. Usage: e2e.sh SCENARIO
#   OPERATOR  the program, built for the ports PORTS/port1 and PORTS/port2
#   SIM       cvd-sim
#   PORTS     the folder of those links
#   LINE_FLAGS  more flags that the port's terminal settings must show while
#               the program holds it (stty's names)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib/desktop.sh
. "$here/../../scripts/lib/desktop.sh"

scenario=$1
# A bus of its own, as a desktop session has, for the screen reader's view.
if [ "$scenario" = accessible_to_a_screen_reader ] && [ -z "${E2E_OWN_BUS:-}" ]; then
  E2E_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
work=$(mktemp -d)
trap 'desktop_stop; rm -rf "$work"' EXIT
mkdir -p "$PORTS"
export OPERATOR_ERRORS=$work/errors

fail() {
  echo "FAIL $scenario: $*" >&2
  local trace
  for trace in "$work"/port*.trace; do
    [ -e "$trace" ] || continue
    echo "--- $(basename "$trace")" >&2
    cat "$trace" >&2
  done
  echo "--- program errors" >&2; cat "$work/errors" >&2 || true
  exit 1
}

expect_field() {
  local shown
  shown=$(read_field "$1")
  [ "$shown" = "$2" ] || fail "$1 shows '$shown', expected '$2'"
}

# The settings the serial control gave the terminal. A pseudo-terminal drops
# PARENB, so even parity shows only as -parodd.
expect_line_settings() {
  local settings flag
  settings=$(stty -F "$(readlink "$1")" -a) || fail "cannot read the settings of $1"
  grep -q "speed 9600 baud" <<<"$settings" || fail "the line is not at 9600 baud: $settings"
  for flag in -parodd cs8 -cstopb -ixon -ixoff -crtscts ${LINE_FLAGS:-}; do
    tr -s '; ' '\n' <<<"$settings" | grep -qx -- "$flag" || fail "the line's settings lack '$flag': $settings"
  done
}

# expect_fatal PATTERN: the program says PATTERN, and ends with status 1 once
# its message box (titled Form1 too) is closed.
expect_fatal() {
  local status=0
  wait_for_line "$work/errors" "$1" 60 || fail "the program did not say: $1"
  close_boxes_until_exit "$OPERATOR_PID"
  wait "$OPERATOR_PID" || status=$?
  [ "$status" = 1 ] || fail "the program ended with status $status, not 1"
}

desktop_start || fail "no virtual display"
case $scenario in
  dispense_on_ready)
    sim_start "$PORTS/port1" "$work/port1.trace" --cards 3
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    wait_for_line "$work/port1.trace" "client closed the port" 20 || fail "the dispense did not end"
    expect_field Text1 "-2"
    expect_field Text2 "1"
    requests=$(grep -E ' > ' "$work/port1.trace" | awk '{print $3 $4}' | tr '\n' ' ')
    [ "$requests" = "0137 0142 " ] || fail "requests were: $requests"
    grep -q "card dispensed, 2 left" "$work/port1.trace" || fail "no card dispensed"
    ;;
  status_after_dispense)
    sim_start "$PORTS/port2" "$work/port2.trace" --cards 3 --cardout-busy 60000
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command5
    wait_for_line "$work/port2.trace" "client closed the port" 20 || fail "the dispense did not end"
    click Command1
    wait_for_line "$work/port2.trace" "status -> Busy" 5 || fail "no status request after the dispense"
    expect_field Text1 "Busy"
    expect_line_settings "$PORTS/port2"
    ;;
  dispense_on_empty)
    sim_start "$PORTS/port1" "$work/port1.trace" --cards 0 --reset-busy 100
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    wait_for_line "$work/port1.trace" "client closed the port" 40 || fail "the dispense did not end"
    expect_field Text1 "-2"
    grep -q "reset -> ACK" "$work/port1.trace" || fail "no reset on an empty dispenser"
    ! grep -q " > 01 42" "$work/port1.trace" || fail "a card-out request went to an empty dispenser"
    ;;
  dispense_without_dispenser)
    rm -f "$PORTS/port1"
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    expect_fatal "Serial port 1 (.*): no such device"
    ;;
  hang_up_in_the_pause)
    sim_start "$PORTS/port1" "$work/port1.trace" --cards 3
    sim=${SIM_PIDS[-1]}
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    wait_for_line "$work/port1.trace" "status -> Ready" 20 || fail "no status request"
    sleep 0.5
    kill "$sim" # its end hangs the line up, in the 1.5 s pause
    expect_fatal "Serial port 1 (.*): the device stopped answering (hang-up)"
    ! grep -q " > 01 42" "$work/port1.trace" || fail "a card-out request went out after the hang-up"
    ;;
  dispense_as_the_library_says)
    # The test library answers its script (GRAFCET_SCRIPT): 7, then -2.
    sim_start "$PORTS/port1" "$work/port1.trace" --cards 3 --cardout-busy 0
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    wait_for_line "$work/port1.trace" "card dispensed, 1 left" 60 || fail "no second attempt"
    for _ in $(seq 100); do
      [ "$(grep -c "client closed the port" "$work/port1.trace")" -ge 2 ] && break
      sleep 0.2
    done
    sleep 1
    expect_field Text1 "-2"
    expect_field Text2 "2"
    requests=$(grep -E ' > ' "$work/port1.trace" | awk '{print $3 $4}' | tr '\n' ' ')
    [ "$requests" = "0137 0142 0137 0142 " ] || fail "requests were: $requests"
    ;;
  library_host_ends_in_a_dispense | library_stops_answering)
    # The 32-bit library's host killed in the first attempt's pause, or the
    # library answering nothing (GRAFCET_SCRIPT=hang): no attempt after it.
    sim_start "$PORTS/port1" "$work/port1.trace" --cards 3
    operator_start "$OPERATOR" || fail "the window did not appear"
    click Command4
    if [ "$scenario" = library_host_ends_in_a_dispense ]; then
      wait_for_line "$work/port1.trace" "status -> Ready" 60 || fail "no status request"
      pkill -9 -f grafcet-host32 || fail "no host to end"
      expect_fatal "grafcet-host32.exe, which runs it, ended (.*) during VerifCardOut"
    else
      expect_fatal "grafcet-host32.exe, which runs it, gave no answer within 5 s, and was stopped during VerifCardOut"
    fi
    [ "$(grep -c ' > 01 37' "$work/port1.trace")" = 1 ] || fail "an attempt began after the library failed"
    ;;
  accessible_to_a_screen_reader)
    # A screen reader runs before the program starts, and says so on the session's bus.
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
      string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true >/dev/null || fail "no accessibility bus"
    operator_start "$OPERATOR" || fail "the window did not appear"
    tree=$(/usr/bin/python3 "$here/accessible_tree.py" "$(basename "$OPERATOR")" 2>&1) || fail "$tree"
    expected="application '$(basename "$OPERATOR")'
  frame 'Form1'
    push button 'CVD Statut'
    push button 'CVD Reset'
    push button 'CVD CardOut'
    push button 'distribuer Carte 1'
    push button 'distribuer Carte 2'
    text 'Result'
    text 'Attempt'"
    [ "$tree" = "$expected" ] || fail "a screen reader finds:
$tree"
    ;;
  *)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac
echo "PASS $scenario"
