#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: a private prefix made once, no
# Gecko or Mono prompts, no debug chatter, and the program's own exit code.
#
# The program's output is kept in files and shown once it has ended: the Wine
# session's own processes (wineserver, services) outlive the program by a few
# seconds, and CTest would wait for them if they held its output pipe.
#
# Debian starts the Wine server with no grace period, so it shuts down the moment
# the last program ends, and the next test's program can reach it while it does:
# the program is dropped ("wine client error"). The server is therefore started
# here to stay 3 s after the last program. A program dropped all the same never
# ran to the end, so its result says nothing about it: it is started again, at
# most twice, and the lost run is reported on stderr.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/teclix-wine-$(id -u)}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
wineserver -p3 2>/dev/null || true # already running: the running one serves
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
