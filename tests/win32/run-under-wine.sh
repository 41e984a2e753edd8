#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine for ctest: prepares the
# prefix, then runs the program with a simulated serial line at its side
# (see serial_peer.py). WINEPREFIX defaults to a prefix next to the program.
# With ZT_NEEDS_DISPLAY=1 the program also gets a virtual X display of its
# own (Xvfb, 1024x768x24), which is stopped again afterwards together with
# the prefix's Wine processes, so give such programs a prefix of their own.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$(pwd)/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
"$here/prepare-prefix.sh" "$WINEPREFIX"

log=$(mktemp)
display_pid=
cleanup() {
  if [ -n "$display_pid" ]; then
    # Wine's desktop process is bound to this display: end it with the
    # prefix's other processes before the display goes.
    wineserver -k >/dev/null 2>&1 || true
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
  fi
  rm -f "$log" "$log.display"
}
trap cleanup EXIT

# Starts Xvfb on a free display number, which it reports once it accepts
# connections, and exports DISPLAY.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$log.display" \
    </dev/null >/dev/null 2>&1 &
  display_pid=$!
  for _ in $(seq 200); do
    if [ -s "$log.display" ]; then
      export DISPLAY=":$(tr -d '[:space:]' <"$log.display")"
      return 0
    fi
    kill -0 "$display_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "run-under-wine: Xvfb did not start" >&2
  exit 1
}

if [ "${ZT_NEEDS_DISPLAY:-0}" = 1 ]; then
  start_display
fi

# Keep one server alive between the programs of a test run, detached from
# our output: a server that inherits it would hold ctest's pipe open.
# The server detaches itself once it is up; when one runs already, this
# returns at once.
wineserver -p60 </dev/null >/dev/null 2>&1 || true
# Wine's service processes outlive the program and inherit its output;
# collect the output in a file so that they never hold ctest's pipe open.
status=0
"$here/serial_peer.py" wine "$@" >"$log" 2>&1 </dev/null || status=$?
cat "$log"
exit "$status"
