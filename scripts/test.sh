#!/usr/bin/env bash
# Builds everything and runs every test: the checks of the layers and of the
# tests' size, the portable core natively (unit tests under ASan+UBSan,
# bounded fuzzing, the Linux daemon end to end under Xvfb, the
# thread-sanitizer build), the Debian package, and the Windows build under
# Wine (end-to-end tests of the program and its setup program, driven by the
# simulated controller on a pseudo-terminal COM port).
# Usage: scripts/test.sh        (ZT_FUZZ_SECONDS=N to fuzz longer or shorter)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=${ZT_JOBS:-2}
fuzz_seconds=${ZT_FUZZ_SECONDS:-20}
summary=()

run_preset() {
  local preset=$1
  shift
  echo "=== $preset: configure and build"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  local log
  log=$(mktemp)
  set +e
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  summary+=("$preset: $(grep -E 'tests passed' "$log" | tail -n 1)")
  summary+=("$(count_inner_tests "build/$preset/Testing/Temporary/LastTest.log")")
  rm -f "$log"
  return "$status"
}

# What the test programs report inside the ctest entries: GoogleTest cases
# of the Win32 programs, Python end-to-end cases, fuzz executions.
count_inner_tests() {
  local log=$1
  [ -f "$log" ] || return 0
  local gtest e2e fuzz
  gtest=$(grep -hoE '\[  PASSED  \] [0-9]+ test' "$log" | awk '{s += $4} END {print s + 0}')
  e2e=$(grep -hoE '^Ran [0-9]+ test' "$log" | awk '{s += $2} END {print s + 0}')
  fuzz=$(grep -hoE 'stat::number_of_executed_units: *[0-9]+' "$log" | awk '{s += $2} END {print s + 0}')
  echo "  inside: $gtest GoogleTest cases passed, $e2e end-to-end cases, $fuzz fuzz executions"
}

# The Debian package, built optimized, and its tests (installed for real
# only with ZT_SYSTEM_TESTS=1, on a throwaway machine).
run_package() {
  echo "=== linux-package: configure, build and package"
  cmake --preset linux-package >/dev/null
  cmake --build --preset linux-package -j "$jobs"
  cpack --preset linux-package
  echo "=== linux-package: test"
  local deb status log
  deb=$(ls build/linux-package/zeltratouch_*_amd64.deb)
  log=$(mktemp)
  set +e
  (cd tests/linux && ZT_DEB="$PWD/../../$deb" ZT_TOUCHSIM="$PWD/../../build/native/tools/touchsim/touchsim" \
    python3 -m unittest -v test_package) 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  set -e
  summary+=("linux-package: $((status == 0 ? 100 : 0))% tests passed, $((status == 0 ? 0 : 1)) tests failed out of 1")
  summary+=("  inside: $(grep -oE '^Ran [0-9]+ test' "$log" | awk '{print $2}') package cases")
  rm -f "$log"
  return "$status"
}

overall=0
echo "=== checks: layers and the size of the tests"
python3 scripts/check-layers.py || overall=1
python3 scripts/test-ratio.py || overall=1
run_preset native -DZT_FUZZ_SECONDS="$fuzz_seconds" || overall=1
run_package || overall=1
run_preset tsan || overall=1
run_preset windows || overall=1

echo "=== summary"
printf '%s\n' "${summary[@]}"
# The last line adds up the three builds in ctest's own words.
printf '%s\n' "${summary[@]}" | awk '
  / tests passed, / { failed += $(NF - 5); total += $NF }
  END { passed = total - failed
        printf "%d%% tests passed, %d tests failed out of %d\n",
               total ? int(100 * passed / total) : 0, failed, total }'
exit "$overall"
