# shellcheck shell=bash
# What the X11 end-to-end tests (and bench/run.sh) need beyond tests/e2e/lib.sh:
# build/linux/teclix, raw xterm targets, a VNC console, F10 and the texts.
# Sources the shared library itself.
#
# Needs: TECLIX_BUILD_DIR (the build directory); set by CTest.

# shellcheck source=../lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

TECLIX=$E2E_BUILD/teclix
X11_TOOL=$E2E_BUILD/tests/e2e/x11/x11_tool
E2E_TEXTS=$(dirname "${BASH_SOURCE[0]}")/texts.tsv

# --- teclix --------------------------------------------------------------------

TECLIX_PID=
TECLIX_WIN=
TECLIX_ERR=$E2E_TMP/teclix.err

# The main window's caption: "Teclix - " and the maker's domain.
TECLIX_CAPTION="Teclix - teclix.example"

teclix_window() {
  TECLIX_WIN=$(window_named "$TECLIX_CAPTION")
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

# start_vnc_console [DESKTOP_NAME]: an xterm "remote" on an Xvnc server (VNC_DISPLAY),
# (VNC_PID), focused there, shown on this display by vncviewer (VIEWER_PID, VIEWER_WIN), whose
# title shows the desktop's name (Xvnc's own, "host:N (user)", unless given).
viewer_window() { xdotool search --name 'TigerVNC$' >/dev/null 2>&1; }
start_vnc_console() {
  local socket=$E2E_TMP/vnc.$RANDOM.sock
  start_x_server VNC_DISPLAY Xvnc -noreset -SecurityTypes None -rfbunixpath "$socket" \
    ${1:+-desktop "$1"} -rfbport -1 -nolisten tcp -geometry 1000x600
  VNC_PID=$X_SERVER_PID
  log "Xvnc on $VNC_DISPLAY"
  # The server adds keysyms it lacks to free keycodes of its own map and never
  # gives them back; its default map has about twenty free. Give it room for
  # every character of these texts, as a remote desktop in real use would have.
  DISPLAY=$VNC_DISPLAY "$X11_TOOL" free-keycodes 130 || die "could not free keycodes on Xvnc"
  start_xterm_target remote "$VNC_DISPLAY"
  focus "$TARGET_WIN" "$VNC_DISPLAY"
  vncviewer -SecurityTypes None -SendClipboard=0 -SendPrimary=0 -AcceptClipboard=0 \
    -RemoteResize=0 -geometry 1000x600+0+180 "$socket" </dev/null >/dev/null \
    2>"$E2E_TMP/viewer.log" &
  VIEWER_PID=$!
  track "$VIEWER_PID"
  wait_until 20 viewer_window || die "vncviewer did not open: $(tail -n3 "$E2E_TMP/viewer.log")"
  VIEWER_WIN=$(xdotool search --name 'TigerVNC$' | head -n1)
}

# --- pastes --------------------------------------------------------------------

# expected_terminal TEXT: what a raw terminal with CR-to-LF receives for TEXT.
expected_terminal() {
  printf '%b' "$1" | sed -e 's/\r$//' | tr '\r' '\n'
}

# What asks teclix to paste: F10 on the X display (a Wayland session's tests
# run "teclix --paste" instead).
E2E_PASTE=(xdotool key F10)

# paste_and_expect NAME OUT_FILE EXPECTED_FILE [TIMEOUT]: presses F10 and checks
# that exactly the expected bytes are appended to OUT_FILE.
paste_and_expect() {
  local name=$1 out=$2 expected=$3 limit=${4:-30} got=$E2E_TMP/got
  [ "${5:-}" = keep ] || : >"$out"
  "${E2E_PASTE[@]}"
  if ! wait_output "$out" "$(file_size "$expected")" "$limit"; then
    fail "$name: only $(file_size "$out") of $(file_size "$expected") bytes arrived in ${limit}s"
    show_difference "$expected" "$out"
    return
  fi
  cp "$out" "$got"
  expect_same "$name" "$expected" "$got"
}

# press_until_output FILE [SECONDS]: presses F10 until FILE holds something (a press
# that comes while teclix still handles the one before is lost, as any F10 during a
# paste is), then waits for FILE to settle; fails after SECONDS (10).
press_until_output() {
  local start=$SECONDS
  until size_at_least "$1" 1; do
    ((SECONDS - start < ${2:-10})) || return 1
    xdotool key F10
    wait_until 2 size_at_least "$1" 1
  done
  wait_output "$1" 1 5
}

# paste_texts_to_terminal PREFIX OUT_FILE [FILTER]: pastes every text of texts.tsv
# into the focused raw terminal, whose bytes go to OUT_FILE; each is checked as
# PREFIX/NAME. FILTER (a command and its words) turns the expected text into what
# arrives when some of it is not typed.
paste_texts_to_terminal() {
  local prefix=$1 out=$2 filter=${3:-cat} name text
  while IFS=$'\t' read -r name text; do
    case $name in '#'* | '') continue ;; esac
    printf '%b' "$text" >"$E2E_TMP/clip"
    expected_terminal "$text" | $filter >"$E2E_TMP/expected"
    set_clipboard "$E2E_TMP/clip"
    paste_and_expect "$prefix/$name" "$out" "$E2E_TMP/expected"
  done <"$E2E_TEXTS"
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
