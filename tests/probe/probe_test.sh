#!/usr/bin/env bash
# cvd-probe against cvd-sim: each command meets a few dispenser behaviours and
# faults. Checks the output, the JSON and the exit status.
# Usage: probe_test.sh CVD-PROBE CVD-SIM TERMIOS-SPY
set -uo pipefail
probe=$1 SIM=$2 spy=$3
# shellcheck source=scripts/lib/sim.sh
. "$(dirname "$0")/../../scripts/lib/sim.sh"
work=$(mktemp -d)
trap 'sim_stop; rm -rf "$work"' EXIT
failures=0 passes=0

start_sim() { # start_sim NAME [cvd-sim options...]: a dispenser at $work/NAME
  local name=$1
  shift
  sim_start "$work/$name" "$work/$name.trace" "$@" || exit 1
}

check() { # check NAME STATUS EXPECTED-STATUS OUTPUT PATTERN...: every pattern (grep -E) is in OUTPUT
  local name=$1 status=$2 expected=$3 output=$4 pattern
  shift 4
  local ok=1
  [ "$status" -eq "$expected" ] || ok=0
  for pattern in "$@"; do grep -qE -- "$pattern" <<<"$output" || ok=0; done
  if [ $ok -eq 1 ]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    printf 'FAIL %s: status %s (expected %s), output:\n%s\n' "$name" "$status" "$expected" "$output"
  fi
}

# name | cvd-sim options | cvd-probe arguments | exit status | patterns, ';'-separated
table=(
  "status ready|--cards 3|status|0|^Ready$"
  "status busy, json|--state busy|--json status|0|^\{\"code\":36,\"name\":\"Busy\",\"reply\":\"01 24\",\"reply_ms\":[0-9.]+,\"request\":\"status\",\"sent\":\"01 37\",\"sent_ms\":[0-9.]+\}$"
  "reset, trace|--cards 3|--trace reset|0|^ +[0-9.]+ > 01 40 +reset$;^ +[0-9.]+ < 01 50 +ACK$;^ +[0-9.]+ +port closed$"
  "card-out on empty|--cards 0|card-out|0|^NACK$"
  "status silent|--fault silent|status|3|^no reply within 1 s$"
  "status garbage, json|--fault garbage|--json status|3|\"code\":0,\"name\":null,\"reply\":\"ff 7e 00\""
  "status one byte|--fault one-byte|status|3|^no reply code in 01$"
  "status late|--fault late:1500|status|3|^no reply within 1 s$"
  "status extra bytes|--fault extra-bytes|--trace status|0|< 01 23 99 98 +Ready$"
  "status split, json|--fault split:300|--json status|0|\"name\":\"Ready\",\"reply\":\"01 23\",\"reply_ms\":[3-9][0-9]{2}(\.[0-9])?,"
  "dispense on ready|--cards 3|dispense|0|^request status$;^reply +Ready \(01 23\) after [0-9]+ ms$;^pause 1\.5[0-9] s$;^request card-out$;^port closed$;^card-out sent; the dispenser answered ACK$"
  "dispense on error: reset, busy, then ready|--state error --reset-busy 300|dispense|0|^request reset$;^reply +ACK \(01 50\);^card-out sent; the dispenser answered ACK$"
  "dispense on error, json|--state error --reset-busy 300|--json dispense|0|\"request\":\"reset\";\"pause_s\":0\.[0-9]+;^\{\"card_out_code\":80,\"card_out_name\":\"ACK\",\"card_out_sent\":true\}$"
  "no device given|--cards 3|status|2|"
  "port beyond the build's list|--cards 3|--port 9 status|2|--port takes a port number, 1 to [0-9]+\\."
)
for row in "${table[@]}"; do
  IFS='|' read -r name options arguments expected patterns <<<"$row"
  read -r -a sim_options <<<"$options"
  read -r -a probe_arguments <<<"$arguments"
  start_sim dispenser "${sim_options[@]}"
  target=(--device "$work/dispenser")
  [ "$expected" -eq 2 ] && target=()
  output=$("$probe" "${target[@]}" "${probe_arguments[@]}" 2>&1)
  status=$?
  IFS=';' read -r -a list <<<"$patterns"
  check "$name" "$status" "$expected" "$output" "${list[@]}"
  kill "${SIM_PIDS[-1]}"
  wait "${SIM_PIDS[-1]}" 2>/dev/null
done

# One exchange as cvd-probe and cvd-sim trace it: the same arrows and bytes.
start_sim both --cards 3
"$probe" --device "$work/both" --trace reset >"$work/probe.trace" 2>&1
frames() { awk '$2 ~ /^[<>]$/ { print $2, $3, $4 }' "$1"; }
[ "$(frames "$work/probe.trace")" = "$(frames "$work/both.trace")" ]
check "probe and simulator trace an exchange alike" $? 0 "$(cat "$work/probe.trace" "$work/both.trace")" "> 01 40"

# The line settings the serial control hands to the kernel (seen by an
# interposer): one setting asks for even parity; the last one before the
# request is 9600 baud, 8 data bits, 1 stop bit, no flow control, raw.
start_sim settings --cards 3
# Under AddressSanitizer the interposer comes before its runtime; that is meant.
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=$spy TERMIOS_SPY_LOG=$work/settings.log \
  "$probe" --device "$work/settings" status >/dev/null 2>&1
asked=$(sed '/^write$/q' "$work/settings.log")
last=$(grep '^set' <<<"$asked" | tail -n 1)
check "line settings handed to the kernel" 0 0 "$asked"$'\n'"last: $last" "parenb=1 parodd=0" "^write$" \
  "^last: set baud9600=1 cs8=1 parenb=. parodd=0 cstopb=0 crtscts=0 raw=1$"

# A line that cannot be watched for a hang-up is not used.
output=$(ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=$spy TERMIOS_SPY_REFUSE_WATCH=1 \
  "$probe" --device "$work/settings" status 2>&1)
check "a line the program cannot watch" $? 1 "$output" "settings\): the line cannot be watched for a hang-up"
grep -c "01 37" "$work/settings.trace" | grep -qx 1 || check "no request on a line the program cannot watch" 1 0 "" ""

# A hang-up during a dispense: the line's error, exit status 1.
start_sim cut --cards 3
"$probe" --device "$work/cut" dispense >"$work/cut.out" 2>&1 &
probing=$!
sleep 0.8
kill "${SIM_PIDS[-1]}"
wait $probing
check "hang-up during a dispense" $? 1 "$(cat "$work/cut.out")" "stopped answering \(hang-up\)"

# A port held by another process (a dispense running) is busy, and is not taken.
start_sim held --cards 3
"$probe" --device "$work/held" dispense >"$work/held.out" 2>&1 &
holder=$!
sleep 0.3
output=$("$probe" --device "$work/held" status 2>&1)
check "port held by another process" $? 1 "$output" "busy or no permission"
wait $holder
check "the holder goes on" $? 0 "$(cat "$work/held.out")" "card-out sent"

# A device the user may not open, checked as user nobody (root opens anything).
if [ "$(id -u)" -eq 0 ]; then
  start_sim private --cards 3
  chmod 755 "$work"
  chmod 600 "$(readlink -f "$work/private")"
  output=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$probe" --device "$work/private" status 2>&1)
  check "a device the user may not open" $? 1 "$output" "$work/private.*busy or no permission"
fi

# Ctrl-C and SIGTERM in a pause: no request after the signal, port closed.
for signal in INT:130 TERM:143; do
  start_sim "stop$signal" --fault silent
  "$probe" --device "$work/stop$signal" dispense >"$work/stop.out" 2>&1 &
  probing=$!
  sleep 1.2
  kill -"${signal%:*}" $probing
  wait $probing
  status=$?
  sleep 0.2
  requests=$(grep -c ' > 01 37' "$work/stop$signal.trace")
  check "SIG${signal%:*} in a pause" "$status" "${signal#*:}" "$(cat "$work/stop.out") requests=$requests" \
    "no further request sent, port closed" "requests=1$"
  grep -q "client closed the port" "$work/stop$signal.trace" || check "SIG${signal%:*} closes the port" 1 0 "" ""
done

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
