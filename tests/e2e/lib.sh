# Shared helpers of the X11 end-to-end tests: a private Xvfb, build/linux/teclix,
# real target windows, the clipboard, F10 and exact comparison of what arrived.
# Every process started here is recorded by PID and stopped on exit.
#
# Needs: TECLIX_BUILD_DIR (the build directory); set by CTest.

set -uo pipefail

E2E_BUILD=${TECLIX_BUILD_DIR:?TECLIX_BUILD_DIR must name the build directory}
TECLIX=$E2E_BUILD/teclix
X11_TOOL=$E2E_BUILD/tests/e2e/x11/x11_tool
E2E_ARTIFACTS=$E2E_BUILD/artifacts
E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/teclix-e2e.XXXXXX")
E2E_PIDS=()
E2E_PASSED=0
E2E_FAILED=0
export LC_ALL=en_US.UTF-8

e2e_cleanup() {
  local i
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${E2E_PIDS[i]}" 2>/dev/null
  done
  for i in "${E2E_PIDS[@]}"; do
    wait "$i" 2>/dev/null
  done
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

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

# --- X servers -----------------------------------------------------------------

# start_x_server VAR COMMAND...: starts an X server (its display number is
# appended as ":N") on the first free display from 100 up, and sets VAR to it.
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

# --- teclix --------------------------------------------------------------------

TECLIX_PID=
TECLIX_WIN=
TECLIX_ERR=$E2E_TMP/teclix.err

# The main window's caption: "Teclix - " and the maker's domain.
TECLIX_CAPTION="Teclix - teclix.example"

teclix_window() {
  TECLIX_WIN=$(xdotool search --name "^$TECLIX_CAPTION\$" 2>/dev/null | head -n1)
  [ -n "$TECLIX_WIN" ]
}

# start_teclix [LOCALE]: starts the program and waits for its window.
start_teclix() {
  LC_ALL=${1:-en_US.UTF-8} "$TECLIX" </dev/null >/dev/null 2>"$TECLIX_ERR" &
  TECLIX_PID=$!
  track "$TECLIX_PID"
  wait_until 10 teclix_window || die "the Teclix window did not appear; stderr: $(cat "$TECLIX_ERR")"
}

# Closes the window as a window manager would and waits for the program to end.
close_teclix() {
  "$X11_TOOL" close "$TECLIX_WIN" || return 1
  wait_until 10 pid_gone "$TECLIX_PID" || return 1
  wait "$TECLIX_PID"
  local status=$?
  stop_pid "$TECLIX_PID"
  return $status
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

# --- targets -------------------------------------------------------------------

# start_xterm_target NAME [DISPLAY]: an xterm whose terminal is raw (CR becomes
# LF, no echo) and whose shell appends every byte it receives to $E2E_TMP/NAME.out.
# Sets TARGET_WIN to its window.
TARGET_WIN=
start_xterm_target() {
  local name=$1 display=${2:-$DISPLAY} out=$E2E_TMP/$1.out
  rm -f "$out" "$out.ready"
  DISPLAY=$display xterm -u8 -title "target-$name" -geometry 100x20+0+200 \
    -e /bin/sh -c 'stty raw -echo icrnl && : >"$1.ready" && exec cat >>"$1"' sh "$out" \
    </dev/null >/dev/null 2>>"$E2E_TMP/xterm.log" &
  track $!
  wait_until 10 test -e "$out.ready" || die "xterm $name did not start"
  TARGET_WIN=$(DISPLAY=$display xdotool search --name "^target-$name\$" | head -n1)
  [ -n "$TARGET_WIN" ] || die "no window for xterm $name"
}

focused_is() { [ "$(DISPLAY=${2:-$DISPLAY} xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# focus WINDOW [DISPLAY]: gives it the keyboard focus (there is no window manager).
focus() {
  DISPLAY=${2:-$DISPLAY} xdotool windowfocus "$1" 2>/dev/null
  wait_until 5 focused_is "$1" "${2:-$DISPLAY}" || die "could not focus window $1"
}

file_size() { stat -c %s "$1" 2>/dev/null || echo 0; }
size_at_least() { (($(file_size "$1") >= $2)); }

# wait_output FILE BYTES: waits until FILE holds at least BYTES bytes and has
# stopped growing, so that extra characters show up too.
wait_output() {
  local file=$1 want=$2 limit=${3:-60} before after
  wait_until "$limit" size_at_least "$file" "$want" || return 1
  while true; do
    before=$(file_size "$file")
    sleep 0.3
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

# paste_and_expect NAME OUT_FILE EXPECTED_FILE [TIMEOUT]: presses F10 and checks
# that exactly the expected bytes are appended to OUT_FILE.
paste_and_expect() {
  local name=$1 out=$2 expected=$3 limit=${4:-30} got=$E2E_TMP/got
  : >"$out"
  xdotool key F10
  if ! wait_output "$out" "$(file_size "$expected")" "$limit"; then
    fail "$name: only $(file_size "$out") of $(file_size "$expected") bytes arrived in ${limit}s"
    show_difference "$expected" "$out"
    return
  fi
  cp "$out" "$got"
  expect_same "$name" "$expected" "$got"
}

# make_long_text FILE [SEPARATOR]: 40,000 characters in 800 pieces of 50, each
# with letters that no US or Spanish key types; SEPARATOR ends each piece
# (a line break by default).
make_long_text() {
  local line='Línea: Año Ñandú ¿Qué? ¡Olé! 5 € Жж Ωω ~^`|\\' # 44 characters
  local sep=${2:-\\n} i chars
  for ((i = 0; i < 800; i++)); do
    printf "%04d %b$sep" "$i" "$line"
  done >"$1"
  chars=$(LC_ALL=en_US.UTF-8 wc -m <"$1")
  [ "$chars" -eq 40000 ] || die "the long text has $chars characters, not 40000"
}

finish() {
  log "$E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" -eq 0 ] && [ "$E2E_PASSED" -gt 0 ]
}
