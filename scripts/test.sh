#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test: the unit tests
# natively and under Wine, and the end-to-end tests of both programs under Xvfb.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh || exit 1

status=0
for preset in windows linux; do
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    echo "=== $preset: build failed"
    status=1
    continue
  fi
done

echo "=== windows: tests (unit tests under Wine, Teclix.exe end to end)"
ctest --preset windows || status=1
echo "=== linux: tests (unit tests, teclix end to end)"
ctest --preset linux || status=1
exit $status
