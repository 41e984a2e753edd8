#!/usr/bin/env bash
# The demo: builds ZeltraTouch.exe and the controller simulator, then runs the
# program under Wine on a virtual display, driven by the simulated touch
# controller on a pseudo-terminal (scripts/demo.py says what it does).
# Set ZT_DEMO_DISPLAY=:0 to watch it on a running X server.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=${ZT_JOBS:-2}
cmake --preset native >/dev/null && cmake --build --preset native -j "$jobs" --target touchsim
cmake --preset windows >/dev/null && cmake --build --preset windows -j "$jobs" --target ZeltraTouch zt_uidriver zt_canvas
export ZT_EXE=$PWD/build/windows/src/ZeltraTouch.exe
export ZT_UIDRIVER=$PWD/build/windows/tests/e2e/zt_uidriver.exe
export ZT_CANVAS=$PWD/build/windows/tools/canvas/zt_canvas.exe
export ZT_TOUCHSIM=$PWD/build/native/tools/touchsim/touchsim
export ZT_DEMO_OUTPUT=${ZT_DEMO_OUTPUT:-$PWD/build/demo}
exec python3 scripts/demo.py
