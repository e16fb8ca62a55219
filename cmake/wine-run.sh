#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest: a private prefix made once, no
# Gecko or Mono prompts, no debug chatter, and the program's own exit code.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/teclix-wine-$(id -u)}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec wine "$@"
