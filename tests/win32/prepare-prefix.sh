#!/usr/bin/env bash
# Prepares a Wine prefix for the tests: created once, with the X11 driver
# set to unmanaged windows (without a window manager every hide or destroy
# of a top-level window would otherwise stall for two seconds).
# Usage: prepare-prefix.sh PREFIX    Idempotent and safe to run concurrently.
set -euo pipefail
prefix=${1:?usage: prepare-prefix.sh PREFIX}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/.zt-ready" ]; then
  exit 0
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.zt-ready"
