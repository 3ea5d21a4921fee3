# shellcheck shell=bash
# Driving cvd-operator on a virtual display, as an operator would: clicks at
# the controls' places and reading the text fields through the clipboard.
# Needs xvfb, xdotool and xclip. Source it; call desktop_stop when done: it
# also stops the simulated dispensers of sim.sh.

# shellcheck source=scripts/lib/sim.sh
. "$(dirname "${BASH_SOURCE[0]}")/sim.sh"

DESKTOP_PIDS=()

CONTROLS_TABLE="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/window/controls.tsv"

# The centre of a control in pixels at 96 dpi (15 twips a pixel), from the
# window's table of controls.
control_centre() {
  awk -F'\t' -v name="$1" '$1 == name { printf "%d %d\n", ($2 + $4 / 2) / 15, ($3 + $5 / 2) / 15; found = 1 }
    END { exit !found }' "$CONTROLS_TABLE"
}

# desktop_start: a virtual display of our own, at 96 dpi, checked to answer.
# -noreset: by default the X server resets when its last client leaves, and a
# client that connects during the reset is refused ("could not connect to
# display"); the check below is such a last client.
# Xvfb rarely gives a display that no client can reach (seen once in a few
# dozen runs on a loaded machine); another Xvfb then takes over.
desktop_start() {
  local attempt fdfile pid
  for attempt in 1 2 3; do
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
    pid=$!
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
    if [ -s "$fdfile" ]; then
      DISPLAY=":$(head -n1 "$fdfile")"
      export DISPLAY
      rm -f "$fdfile"
      if xdotool getdisplaygeometry >/dev/null 2>&1; then
        DESKTOP_PIDS+=("$pid")
        return 0
      fi
    fi
    rm -f "$fdfile"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "Xvfb gave no usable display (attempt $attempt)" >&2
  done
  echo "Xvfb did not start: is the package xvfb installed?" >&2
  return 1
}

# operator_start PROGRAM: the program, and waits for its window "Form1", at
# most WINDOW_WAIT seconds (10).
operator_start() {
  "$1" 2>"${OPERATOR_ERRORS:-/dev/null}" &
  OPERATOR_PID=$!
  DESKTOP_PIDS+=("$OPERATOR_PID")
  for _ in $(seq $((${WINDOW_WAIT:-10} * 10))); do
    WINDOW=$(xdotool search --name '^Form1$' 2>/dev/null | head -n1) && [ -n "$WINDOW" ] && return 0
    sleep 0.1
  done
  echo "the window Form1 did not appear" >&2
  return 1
}

click() {
  read -r x y <<<"$(control_centre "$1")"
  xdotool mousemove --window "$WINDOW" "$x" "$y" click 1
}

# read_field Text1: what the field shows, as the operator would copy it.
read_field() {
  click "$1"
  xdotool key --window "$WINDOW" ctrl+a ctrl+c
  sleep 0.2
  xclip -o -selection clipboard 2>/dev/null
}

# close_boxes_until_exit PID: presses Return on every window titled Form1
# (the program's message boxes bear its title) until PID ends, at most 30 s:
# the box may show some time after its text went to standard error.
close_boxes_until_exit() {
  local box
  for _ in $(seq 150); do
    kill -0 "$1" 2>/dev/null || return 0
    for box in $(xdotool search --name '^Form1$' 2>/dev/null); do xdotool key --window "$box" Return 2>/dev/null || true; done
    sleep 0.2
  done
}

# wait_for_line FILE PATTERN SECONDS
wait_for_line() {
  local deadline=$((SECONDS + $3))
  while [ $SECONDS -lt $deadline ]; do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

desktop_stop() {
  local pid
  sim_stop
  for pid in "${DESKTOP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${DESKTOP_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  DESKTOP_PIDS=()
}
