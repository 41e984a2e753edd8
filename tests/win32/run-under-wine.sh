#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine for ctest: prepares the
# prefix, then runs the program with a simulated serial line at its side
# (see serial_peer.py). WINEPREFIX defaults to a prefix next to the program.
# With ZT_NEEDS_DISPLAY=1 the program also gets a virtual X display of its
# own, which is stopped again afterwards together with the prefix's Wine
# processes, so give such programs a prefix of their own.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/virtual-display.sh"
export WINEPREFIX=${WINEPREFIX:-$(pwd)/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
"$here/prepare-prefix.sh" "$WINEPREFIX"

log=$(mktemp)
trap 'zt_stop_display; rm -f "$log"' EXIT
if [ "${ZT_NEEDS_DISPLAY:-0}" = 1 ]; then
  zt_start_display
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
