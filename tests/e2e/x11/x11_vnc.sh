#!/usr/bin/env bash
# Pastes into an xterm on an Xvnc server, shown by vncviewer on the local display;
# the keys go to the viewer, which sends them to the server. Local layouts US and
# Spanish; the server keeps its own US map. A VNC viewer is a console: the remote
# xterm must receive exactly what the local layout's keys type. Through a viewer
# that shows an Xvnc desktop (its title has the desktop's name) that comes at full
# speed; through one whose desktop could be a virtual machine's (here named like
# QEMU's), at a console's pace.
source "$(dirname "$0")/teclix.sh"

start_xvfb
start_teclix
out=$E2E_TMP/remote.out

# Xvnc can leave the last keys of a fast burst in its input queue until its main
# loop wakes for input of its own: the keys then all arrive at once. A plain
# request does not wake it; moving its pointer does, so the test moves the remote
# pointer by a pixel on each look at the remote output.
WAKE_X=1
wake_vnc_server() {
  WAKE_X=$((3 - WAKE_X))
  DISPLAY=$VNC_DISPLAY xdotool mousemove "$WAKE_X" 1 >/dev/null 2>&1
}
E2E_WHILE_WAITING=wake_vnc_server

# Into a console teclix types as a keyboard would, so what no key of the local
# layout types (with a dead key where needed) is left out.
# keyboard_types LAYOUT: the text on standard input less what LAYOUT has no keys for.
keyboard_types() {
  python3 -c '
import sys
keys = {"us": "", "es": "ñÑçÇ¡¿ºª·¬€Ω" "áéíóúÁÉÍÓÚàèìòùÀÈÌÒÙâêîôûÂÊÎÔÛäëïöüÄËÏÖÜ"}[sys.argv[1]]
text = sys.stdin.read()
sys.stdout.write("".join(c for c in text if " " <= c <= "~" or c in "\t\n" or c in keys))
' "$1"
}

# vnc_session [DESKTOP_NAME]: a fresh Xvnc, remote xterm and viewer, focused.
vnc_session() {
  [ -z "${VIEWER_PID:-}" ] || stop_pid "$VIEWER_PID"
  [ -z "${VNC_PID:-}" ] || stop_pid "$VNC_PID"
  start_vnc_console "$@"
  log "viewer: $(xdotool getwindowname "$VIEWER_WIN")"
  focus "$VIEWER_WIN"
}

vnc_session
for layout in us es; do
  set_layout "$layout"
  paste_texts_to_terminal "vnc/xvnc_desktop/$layout" "$out" "keyboard_types $layout"
done
make_long_text "$E2E_TMP/clip"
keyboard_types es <"$E2E_TMP/clip" >"$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
start=$SECONDS
paste_and_expect "vnc/xvnc_desktop/es/long_40000_characters" "$out" "$E2E_TMP/expected" 120
log "  40,000 characters took about $((SECONDS - start)) s"

vnc_session "QEMU (guest)"
for layout in us es; do
  set_layout "$layout"
  paste_texts_to_terminal "vnc/console/$layout" "$out" "keyboard_types $layout"
done

printf -- '-1,234.567' >"$E2E_TMP/clip"
printf -- '-1234.57' >"$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
paste_and_expect "vnc/console/es/number_en_US" "$out" "$E2E_TMP/expected"

# A long text, at the pace of a console: every printable ASCII sign, 2,000 in all.
awk 'BEGIN { for (c = 32; c < 127; c++) printf "%c", c; x = 11
             for (i = 95; i < 2000; i++) { x = (x * 1103515245 + 12345) % 2147483648
               printf "%c", 32 + int(x / 65536) % 95 } }' >"$E2E_TMP/clip"
cp "$E2E_TMP/clip" "$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
start=$SECONDS
paste_and_expect "vnc/console/es/long_2000_characters" "$out" "$E2E_TMP/expected" 240
log "  2,000 characters took about $((SECONDS - start)) s"

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
grep -h "Failure adding" "$E2E_TMP"/x*.log | sort | uniq -c >&2
finish
