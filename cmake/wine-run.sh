#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: a private prefix made once, no
# Gecko or Mono prompts, no debug chatter, and the program's own exit code.
#
# The program's output is kept in files and shown once it has ended: the Wine
# session's own processes (wineserver, services) outlive the program by a few
# seconds, and CTest would wait for them if they held its output pipe.
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
status=0
wine "$@" </dev/null >"$out/stdout" 2>"$out/stderr" || status=$?
cat "$out/stdout"
cat "$out/stderr" >&2
exit $status
