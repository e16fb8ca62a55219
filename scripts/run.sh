#!/usr/bin/env bash
# Installs what is missing, builds Teclix and starts it on the current X display.
#   scripts/run.sh            the Linux X11 program, build/linux/teclix
#   scripts/run.sh windows    Teclix.exe under Wine
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "Teclix needs an X display: set DISPLAY (for example, start Xvfb :1 and export DISPLAY=:1)." >&2
  exit 1
fi

case "${1:-linux}" in
  linux)
    cmake --preset linux >/dev/null
    cmake --build --preset linux --target teclix
    exec build/linux/teclix
    ;;
  windows)
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target Teclix
    export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}" WINEDEBUG="${WINEDEBUG:--all}"
    exec wine build/windows/Teclix.exe
    ;;
  *)
    echo "usage: scripts/run.sh [linux|windows]" >&2
    exit 2
    ;;
esac
