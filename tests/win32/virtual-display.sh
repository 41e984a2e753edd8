# Sourced by the test scripts: a virtual X display for programs under Wine.
#   zt_start_display   starts Xvfb (1024x768x24) on a free display number and
#                      exports DISPLAY; exits the script when Xvfb fails.
#   zt_stop_display    ends the prefix's Wine processes (Wine's desktop
#                      process is bound to the display), then the display.

zt_display_pid=
zt_display_file=

zt_start_display() {
  zt_display_file=$(mktemp)
  # Xvfb picks the number itself and writes it once it accepts connections.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$zt_display_file" \
    </dev/null >/dev/null 2>&1 &
  zt_display_pid=$!
  local attempt
  for attempt in $(seq 200); do
    if [ -s "$zt_display_file" ]; then
      export DISPLAY=":$(tr -d '[:space:]' <"$zt_display_file")"
      return 0
    fi
    kill -0 "$zt_display_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "virtual-display: Xvfb did not start (attempt $attempt)" >&2
  exit 1
}

zt_stop_display() {
  if [ -n "$zt_display_pid" ]; then
    wineserver -k >/dev/null 2>&1 || true
    kill "$zt_display_pid" 2>/dev/null || true
    wait "$zt_display_pid" 2>/dev/null || true
    zt_display_pid=
  fi
  rm -f "$zt_display_file"
}
