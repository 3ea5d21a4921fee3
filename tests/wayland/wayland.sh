#!/usr/bin/env bash
# The real program as a native Wayland client of a headless weston, read from
# the client's own protocol log (WAYLAND_DEBUG=1). Usage: wayland.sh PROGRAM
# (with its libgrafcet.so beside it)
#   - the window: title "Form1", app id cvd-operator, fixed size 465x353;
#   - a start-up error (no automaton library): its message on standard error,
#     and a message box on the screen that waits for the operator.
set -euo pipefail
program=$1
command -v weston >/dev/null || { echo "SKIP: no weston"; exit 77; }
work=$(mktemp -d)
weston_pid=""
cleanup() {
  [ -z "$weston_pid" ] || kill "$weston_pid" 2>/dev/null || true
  [ -z "$weston_pid" ] || wait "$weston_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- weston" >&2; tail -n 20 "$work/weston.log" >&2 || true
  exit 1
}

export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
export WAYLAND_DISPLAY=cvd-test
weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --no-config >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.05; done
[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || fail "weston did not start"

# run_client PROGRAM LOG: runs it for 3 s on Wayland; prints its exit status.
run_client() {
  local status=0
  QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 timeout 3 "$1" >"$2" 2>&1 || status=$?
  echo "$status"
}

# The requests the client sent to its toplevel(s), without times and object
# ids (written xdg_toplevel@15 by older libwayland, xdg_toplevel#15 by newer).
toplevel_requests() {
  sed -n 's/.*-> xdg_toplevel[@#][0-9]*\.\(set_[a-z_]*(.*)\)$/\1/p' "$1"
}

# Under another file name: the app id must not come from it.
mkdir "$work/renamed"
cp "$program" "$work/renamed/operator-under-test"
cp "$(dirname "$program")/libgrafcet.so" "$work/renamed/"
status=$(run_client "$work/renamed/operator-under-test" "$work/window.log")
[ "$status" -eq 124 ] || fail "the program ended with status $status instead of serving its window: $(grep -v '^\[' "$work/window.log")"
requests=$(toplevel_requests "$work/window.log")
for expected in 'set_title("Form1")' 'set_app_id("cvd-operator")' 'set_min_size(465, 353)' 'set_max_size(465, 353)'; do
  grep -qxF "$expected" <<<"$requests" || fail "the window did not ask for $expected; it asked for: $requests"
done
# Qt 6.8 asks again once its title bar is drawn, for the window with the bar.
last_min=$(grep '^set_min_size' <<<"$requests" | tail -n1)
last_max=$(grep '^set_max_size' <<<"$requests" | tail -n1)
[ "${last_min#set_min_size}" = "${last_max#set_max_size}" ] || fail "the window is not of a fixed size: $last_min, $last_max"
grep -q 'wl_surface[@#][0-9]*\.attach(wl_buffer' "$work/window.log" || fail "the window never drew itself"
echo "PASS: the window on Wayland: $(tr '\n' ' ' <<<"$requests")"

mkdir "$work/alone"
cp "$program" "$work/alone/cvd-operator"
status=$(run_client "$work/alone/cvd-operator" "$work/error.log")
grep -q '^cvd-operator: error: Cannot load the automaton library' "$work/error.log" ||
  fail "no error message on standard error: $(grep -v '^\[' "$work/error.log")"
# The box holds the program until the operator has read it; it ends with
# status 1 after that, which the loading tests check offscreen.
[ "$status" -eq 124 ] || fail "the program ended with status $status before the operator could read the box"
grep -qxF 'set_title("Form1")' <<<"$(toplevel_requests "$work/error.log")" || fail "no message box appeared"
grep -q 'wl_surface[@#][0-9]*\.attach(wl_buffer' "$work/error.log" || fail "the message box never drew itself"
echo "PASS: a start-up error on Wayland: its message, and a box for the operator"
