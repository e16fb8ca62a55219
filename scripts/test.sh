#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test: the unit tests
# natively, under Wine and with sanitizers, the end-to-end tests of both programs
# under Xvfb, and each fuzz target for a short while.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

status=0
run() {
  local preset=$1 what=$2
  echo "=== $preset: $what"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    echo "=== $preset: build failed"
    status=1
    return
  fi
  ctest --preset "$preset" || status=1
}

run fuzz "fuzz targets of the core, 30 s each"
run linux-asan "unit and end-to-end tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run windows "unit tests under Wine, Teclix.exe end to end"
run linux "unit tests, teclix end to end"
exit $status
