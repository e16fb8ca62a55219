# shellcheck shell=bash
# What the Windows end-to-end tests (and bench/run.sh) need beyond tests/e2e/lib.sh,
# which must be sourced first: a Wine session on the private display, Windows
# programs started in it, and Wine windows activated.

export WINEPREFIX=${WINEPREFIX:-${TMPDIR:-/tmp}/teclix-wine-$(id -u)}
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all

# Every Wine process of a session runs in the same locale: Wine keeps the user's
# number format in its registry, which each process started in another locale rewrites.
WINE_LOCALE=en_US.UTF-8

# Ends the prefix's session (one left by an earlier run belongs to a display that is
# gone, so this run's programs start a session on this display), makes the prefix
# if it is not there, keeps one server for the run and ends the session again when
# the script ends.
start_wine() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    wineserver -w
  fi
  # One server for the whole run: Debian's would end with each last program and
  # could drop the next one started while it shuts down.
  wineserver -p
  at_exit 'wineserver -k >/dev/null 2>&1'
}

# run_windows PROGRAM ARGS...: starts a Windows program in the background; its PID
# is left in LAST_PID.
run_windows() {
  LC_ALL=$WINE_LOCALE LANG=$WINE_LOCALE wine "$@" >>"$E2E_TMP/wine.log" 2>&1 &
  LAST_PID=$!
  track "$LAST_PID"
}

# windows_path FILE: the file's name as Windows programs under Wine see it.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# wait_window TITLE [SECONDS]: waits for a top-level window with exactly this title;
# prints its id.
wait_window() {
  wait_until "${2:-30}" has_window "$1" && window_named "$1"
}

pointer_over() { xdotool getmouselocation --shell 2>/dev/null | grep -qx "WINDOW=$1"; }

# Clicks inside a Wine window, which is how Wine activates it without a window
# manager. The X focus stays PointerRoot, so the pointer stays over the window and
# the keys that follow (in the same X event stream) reach it.
activate() {
  local id=$1 X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  wait_until 10 pointer_over "$id"
}
