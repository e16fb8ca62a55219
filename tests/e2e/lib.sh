# shellcheck shell=bash
# The shell library of the end-to-end tests (tests/e2e/x11/*.sh, tests/e2e/win32/
# e2e_win32.sh) and of bench/run.sh: a private X server on a free display, waiting on
# conditions with time limits, processes tracked and stopped by their own PID, the X
# clipboard through xclip, exact comparison of what arrived, and pass/fail counts
# that end with the line "N passed, N failed". What starts teclix or Teclix.exe is in
# each group's own file (x11/teclix.sh, win32/wine.sh).
#
# Needs: TECLIX_BUILD_DIR (the build directory).

set -uo pipefail

E2E_BUILD=${TECLIX_BUILD_DIR:?TECLIX_BUILD_DIR must name the build directory}
E2E_ARTIFACTS=$E2E_BUILD/artifacts
E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/teclix-e2e.XXXXXX")
E2E_PIDS=()
E2E_AT_EXIT=()
E2E_PASSED=0
E2E_FAILED=0
export LC_ALL=en_US.UTF-8

# Stops every process started here, newest first, then runs what at_exit was given.
e2e_cleanup() {
  local i
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${E2E_PIDS[i]}" 2>/dev/null
  done
  for i in "${E2E_PIDS[@]}"; do
    wait "$i" 2>/dev/null
  done
  for i in "${E2E_AT_EXIT[@]}"; do
    eval "$i"
  done
  # E2E_KEEP=DIR keeps the run's files (logs, what arrived) for a look afterwards
  [ -z "${E2E_KEEP:-}" ] || cp -r "$E2E_TMP" "$E2E_KEEP"
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

# at_exit COMMAND: a command (one string) to run when the script ends, once its
# processes are stopped.
at_exit() { E2E_AT_EXIT+=("$1"); }

log() { printf '%s\n' "$*" >&2; }
die() {
  log "FATAL: $*"
  exit 1
}

track() { E2E_PIDS+=("$1"); }

# Stops one process started here and forgets it.
stop_pid() {
  local pid=$1 kept=() p
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  for p in "${E2E_PIDS[@]}"; do
    [ "$p" = "$pid" ] || kept+=("$p")
  done
  E2E_PIDS=("${kept[@]}")
}

pid_gone() { ! kill -0 "$1" 2>/dev/null; }

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds; fails on timeout.
wait_until() {
  local limit=$1 start=$SECONDS
  shift
  until "$@"; do
    if ((SECONDS - start >= limit)); then
      return 1
    fi
    sleep 0.05
  done
}

log_holds() { [ -f "$1" ] && grep -qxF "$2" "$1"; }

# --- X servers -----------------------------------------------------------------

# start_x_server VAR COMMAND...: starts an X server (its display number is
# appended as ":N") on the first free display from 100 up, and sets VAR to it
# (and X_SERVER_PID to its PID).
# A display is ours once its lock file holds our server's PID; -displayfd is not
# used because it takes no lock, so parallel runs could pick the same number.
start_x_server() {
  local var=$1 n pid log
  shift
  for ((n = 100 + RANDOM % 400, tries = 0; tries < 40; n++, tries++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    log=$E2E_TMP/x$n.log
    "$@" ":$n" </dev/null >/dev/null 2>"$log" &
    pid=$!
    if wait_until 10 x_server_ready "$n" "$pid" && ! pid_gone "$pid"; then
      track "$pid"
      X_SERVER_PID=$pid
      printf -v "$var" ':%s' "$n"
      return 0
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  die "no X server would start: $*"
}
x_server_ready() {
  pid_gone "$2" && return 0 # it gave up: the caller sees the lock is not ours
  [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$1-lock")" = "$2" ] &&
    xdpyinfo -display ":$1" >/dev/null 2>&1
}

# Starts a private Xvfb and exports DISPLAY. -noreset keeps the keyboard layout
# set by setxkbmap even when no client is connected.
start_xvfb() {
  start_x_server DISPLAY Xvfb -noreset -screen 0 1280x800x24 -nolisten tcp
  export DISPLAY
  log "Xvfb on $DISPLAY"
}

set_layout() {
  setxkbmap -layout "$1" || die "setxkbmap $1 failed"
  setxkbmap -query | grep -qE "^layout: +$1\$" || die "the layout did not change to $1"
}

# --- windows -------------------------------------------------------------------

# window_named TITLE: the first window with exactly this title.
window_named() { xdotool search --name "^$1\$" 2>/dev/null | head -n1; }
has_window() { [ -n "$(window_named "$1")" ]; }

focused_is() { [ "$(DISPLAY=${2:-$DISPLAY} xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# focus WINDOW [DISPLAY]: gives it the keyboard focus (there is no window manager).
focus() {
  DISPLAY=${2:-$DISPLAY} xdotool windowfocus "$1" 2>/dev/null
  wait_until 5 focused_is "$1" "${2:-$DISPLAY}" || die "could not focus window $1"
}

# --- the clipboard -------------------------------------------------------------

CLIP_PID=
# set_clipboard FILE [TARGET]: makes xclip own the clipboard with the file's bytes.
set_clipboard() {
  local file=$1 target=${2:-UTF8_STRING}
  [ -z "$CLIP_PID" ] || stop_pid "$CLIP_PID"
  xclip -selection clipboard -quiet -t "$target" -i "$file" >"$E2E_TMP/xclip.log" 2>&1 &
  CLIP_PID=$!
  track "$CLIP_PID"
  wait_until 5 clipboard_owned_by "$target" || die "xclip did not take the clipboard"
}
clipboard_owned_by() {
  # xclip waits for ever on an owner that does not answer
  timeout 2 xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -qx "$1"
}
# clipboard_served N: xclip has handed its text over N times (requests for its
# list of targets, as in set_clipboard, do not count).
clipboard_served() {
  grep -q "request number $(($1 + 1))\$" "$E2E_TMP/xclip.log" 2>/dev/null
}
clear_clipboard() {
  [ -z "$CLIP_PID" ] || stop_pid "$CLIP_PID"
  CLIP_PID=
}

# --- files that targets write ----------------------------------------------------

file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }
# E2E_WHILE_WAITING: a command run on each look at a target's output, when a
# target needs something done before its output is complete.
size_at_least() {
  [ -z "${E2E_WHILE_WAITING:-}" ] || $E2E_WHILE_WAITING
  (($(file_size "$1") >= $2))
}

# wait_output FILE BYTES [SECONDS] [QUIET]: waits until FILE holds at least BYTES
# bytes and has stopped growing for QUIET seconds (0.3), so that extra characters
# show up too.
wait_output() {
  local file=$1 want=$2 limit=${3:-60} quiet=${4:-0.3} before after
  wait_until "$limit" size_at_least "$file" "$want" || return 1
  while true; do
    before=$(file_size "$file")
    sleep "$quiet"
    after=$(file_size "$file")
    [ "$before" = "$after" ] && return 0
  done
}

# --- checks --------------------------------------------------------------------

pass() {
  E2E_PASSED=$((E2E_PASSED + 1))
  log "PASS $1"
}
fail() {
  E2E_FAILED=$((E2E_FAILED + 1))
  log "FAIL $1"
}

# expect_same NAME EXPECTED_FILE ACTUAL_FILE
expect_same() {
  if cmp -s "$2" "$3"; then
    pass "$1"
  else
    fail "$1: the text that arrived differs"
    log "  expected: $(head -c 300 "$2" | od -An -c | head -n 6)"
    log "  received: $(head -c 300 "$3" | od -An -c | head -n 6)"
    cmp "$2" "$3" >&2
    show_difference "$2" "$3"
  fi
}

# show_difference EXPECTED ACTUAL: the first lines where two texts part.
show_difference() {
  diff "$1" "$2" | head -n 12 | cut -c 1-200 >&2
}

# The closing line; the script succeeds when something passed and nothing failed.
finish() {
  log "$E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" -eq 0 ] && [ "$E2E_PASSED" -gt 0 ]
}
