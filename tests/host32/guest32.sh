#!/usr/bin/env bash
# Runs in the guest of host32.sh, whose processor runs 32-bit code: the
# Windows build with the 32-bit automaton libraries, run by grafcet-host32.exe
# under Wine. Prints a PASS or FAIL line for each check, then
# "RESULT N failures".
# Usage: guest32.sh WORK   (WORK/env names REPO, BIN and SIM)
set -uo pipefail
work=$1
# shellcheck source=/dev/null
. "$work/env"
# shellcheck source=scripts/lib/windows.sh
. "$REPO/scripts/lib/windows.sh"
# shellcheck source=scripts/lib/desktop.sh
. "$REPO/scripts/lib/desktop.sh"

failures=0
pass() { echo "PASS $*"; }
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
finish() {
  echo "RESULT $failures failures"
  exit 0
}
wine_reset() {
  wineserver -k 2>/dev/null || true
  wineserver -w
}

ports=("$work/ports/port1" "$work/ports/port2" "$work/ports/port3" "$work/ports/port4")
mkdir -p "$work/ports"
started=$SECONDS
if [ ! -f "$work/prefix/system.reg" ]; then
  # The first run on a machine makes the prefix, which the host then keeps.
  wine_prefix_make "$work/prefix" "${ports[@]}" || fail "no Wine prefix"
  echo "Wine's prefix made in $((SECONDS - started)) s"
  finish
fi
wine_prefix_use "$work/prefix"
wine_ports_set "${ports[@]}" || {
  fail "COM ports not set"
  finish
}
# Wine runs no code from the root's share (not mapped executable there): the
# build's programs and libraries run from a copy in the work folder.
bin=$work/bin
mkdir -p "$bin"
cp -r "$BIN"/*.dll "$BIN"/*.exe "$BIN/platforms" "$BIN/styles" "$bin/"
echo "Ready in $((SECONDS - started)) s"

echo "== The 32-bit libraries' table, under Wine"
started=$SECONDS
desktop_start || {
  fail "no display"
  finish
}
(cd "$bin" && wine cvd_unit_tests.exe --gtest_filter='HostedLibrary.*' --gtest_brief=1) >"$work/unit.out" 2>&1
desktop_stop
wine_reset
grep -v fixme "$work/unit.out" | grep -E '^\[  (FAILED|PASSED) |through the host|Failure|Expected|Which is|error' || true
if grep -q '^\[  PASSED  \] 2 tests' "$work/unit.out" && ! grep -q '^\[  FAILED  \]' "$work/unit.out"; then
  pass "HostedLibrary.* in $((SECONDS - started)) s"
else
  fail "HostedLibrary.*"
fi

echo "== End to end with 32-bit libraries"
desk="$WINEPREFIX/drive_c/cvd-operator"
mkdir -p "$desk"
cp -r "$bin"/*.dll "$bin/platforms" "$bin/styles" "$bin/cvd-operator.exe" "$bin/grafcet-host32.exe" "$desk/"
rm "$desk"/Qt6Test.dll "$desk"/grafcet32-*.dll
printf '#!/bin/sh\nexec wine "C:\\\\cvd-operator\\\\cvd-operator.exe"\n' >"$work/operator"
chmod +x "$work/operator"
# e2e LIBRARY SCRIPT SCENARIO: the scenario with LIBRARY as the desk's
# grafcet.dll, whose card-out checks answer SCRIPT.
e2e() {
  cp "$bin/$1" "$desk/grafcet.dll"
  wine_ports_checked "${ports[@]}" || return 1
  if GRAFCET_SCRIPT=$2 OPERATOR=$work/operator SIM=$SIM PORTS=$work/ports WINDOW_WAIT=180 \
    "$REPO/tests/e2e/e2e.sh" "$3"; then
    pass "$3 with $1"
  else
    fail "$3 with $1"
  fi
  wine_reset
}
e2e grafcet32-msvc.dll 7,-2 dispense_as_the_library_says
e2e grafcet32-plain.dll 7,-2 dispense_as_the_library_says
e2e grafcet32-mingw.dll "" library_host_ends_in_a_dispense
e2e grafcet32-mingw.dll hang library_stops_answering

echo "== The host ends with the program, even in a call the library never answers"
# The host, held in the library, never reads the end of its pipe, and the
# killed program cannot stop it at the time-out: only the job ends it.
cp "$bin/grafcet32-mingw.dll" "$desk/grafcet.dll"
desktop_start
sim_start "$work/ports/port1" "$work/killed.trace" --cards 3
wine_ports_checked "${ports[@]}" || fail "COM ports not where they were set"
GRAFCET_SCRIPT=hang OPERATOR_ERRORS=$work/killed.err WINDOW_WAIT=180 operator_start "$work/operator" ||
  fail "the window did not appear"
click Command4
wait_for_line "$work/killed.trace" "card-out -> ACK" 60 || fail "no card-out"
sleep 2 # in VerifCardOut, which times out after 5 s
pgrep -f grafcet-host32 >/dev/null || fail "no host runs beside the window"
pkill -9 -f 'cvd-operator\.exe'
for _ in $(seq 30); do pgrep -f grafcet-host32 >/dev/null || break; sleep 0.1; done
if pgrep -f grafcet-host32 >/dev/null; then
  fail "the host outlived the program"
else
  pass "the host ends with the program killed in a call"
fi
desktop_stop
wine_reset
finish
