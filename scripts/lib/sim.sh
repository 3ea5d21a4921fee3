# shellcheck shell=bash
# Simulated dispensers for the shell tests and the demo. Source it; SIM is
# the cvd-sim program.
#
# sim_start LINK TRACE [cvd-sim options...]: a simulated dispenser at LINK,
#   its wire trace in TRACE; returns once the link is there (at most 5 s).
#   Its process id is the last of SIM_PIDS.
# sim_stop: ends them all.

SIM_PIDS=()

sim_start() {
  local link=$1 trace=$2
  shift 2
  "$SIM" --link "$link" --trace "$trace" "$@" 2>/dev/null &
  SIM_PIDS+=($!)
  for _ in $(seq 100); do [ -L "$link" ] && return 0; sleep 0.05; done
  echo "cvd-sim did not start at $link" >&2
  return 1
}

sim_stop() {
  local pid
  for pid in "${SIM_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${SIM_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  SIM_PIDS=()
}
