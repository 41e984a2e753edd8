#!/usr/bin/env bash
# Shows each dialog template of the program under Wine on a virtual display,
# filled as the program fills it, and saves a screenshot of the whole display
# for each: OUTPUT_DIR/template-<id>.png. For people to look at the layouts.
# Usage: screenshots.sh TEMPLATE_GALLERY_EXE OUTPUT_DIR
#        (WINEPREFIX: the prefix to use; default next to the program)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/virtual-display.sh"
gallery=${1:?usage: screenshots.sh TEMPLATE_GALLERY_EXE OUTPUT_DIR}
out=${2:?usage: screenshots.sh TEMPLATE_GALLERY_EXE OUTPUT_DIR}
export WINEPREFIX=${WINEPREFIX:-$(dirname "$gallery")/wineprefix-display}
export WINEDEBUG=${WINEDEBUG:--all}
"$here/prepare-prefix.sh" "$WINEPREFIX"
mkdir -p "$out"

work=$(mktemp -d)
trap 'zt_stop_display; rm -rf "$work"' EXIT
zt_start_display
wineserver -p60 </dev/null >/dev/null 2>&1 || true

ready="$work/ready"
ready_windows=$(winepath -w "$ready" 2>/dev/null)

for template in 100 102 133 134 139 140 147; do
  wine "$gallery" "$template" "$ready_windows" </dev/null >"$work/log" 2>&1 &
  pid=$!
  for _ in $(seq 300); do
    [ -e "$ready" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -e "$ready" ]; then
    echo "screenshots: template $template did not show" >&2
    cat "$work/log" >&2
    exit 1
  fi
  import -window root "$out/template-$template.png"
  rm -f "$ready"
  wait "$pid"
  echo "screenshots: $out/template-$template.png"
done
