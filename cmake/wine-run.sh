#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: a private prefix made once, no
# Gecko or Mono prompts, no debug chatter, and the program's own exit code.
#
# The program's output is kept in files and shown once it has ended: the Wine
# session's own processes (wineserver, services) outlive the program by a few
# seconds, and CTest would wait for them if they held its output pipe.
#
# A program that loses its connection to the Wine server ("wine client error")
# never ran to the end, so its result says nothing about the program: it is
# started again, at most twice, and the lost run is reported on stderr.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/teclix-wine-$(id -u)}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
out=$(mktemp -d "${TMPDIR:-/tmp}/teclix-wine-run.XXXXXX")
trap 'rm -rf "$out"' EXIT
for attempt in 1 2 3; do
  status=0
  wine "$@" </dev/null >"$out/stdout" 2>"$out/stderr" || status=$?
  if [ "$status" -eq 0 ] || [ "$attempt" -eq 3 ] ||
    ! grep -q '^wine client error' "$out/stderr"; then
    break
  fi
  echo "wine-run: the Wine server dropped the program (run $attempt): $(head -c 200 "$out/stderr")" >&2
  sleep 1
done
cat "$out/stdout"
cat "$out/stderr" >&2
exit $status
