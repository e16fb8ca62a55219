#!/usr/bin/env bash
# teclix into a virtual machine's text console: vncviewer on the local display,
# QEMU's VNC server, the guest's emulated keyboard and console, read back from the
# guest's serial port. The text must arrive exactly, at the console's pace, with
# no modifier left down in the guest; what no key types is left out and said.
source "$(dirname "$0")/teclix.sh"
source "$(dirname "$0")/../console/console.sh"
mkdir -p "$E2E_ARTIFACTS"
SHOT=$E2E_TMP/shot.png

# what_console_reads TEXT: the bytes a raw console gets for TEXT (Enter is CR).
what_console_reads() { printf '%b' "$1" | sed -e 's/\r$//' | tr '\r\n' '\r\r'; }

# paste_into_console NAME TEXT EXPECTED LEFT_OUT: pastes TEXT with F10 and checks
# that the guest read exactly EXPECTED, and that the window says (LEFT_OUT yes) or
# does not say (no) that characters were left out; then a probe text proves that
# no modifier stayed down in the guest (it would come out in capitals or as other
# signs).
paste_into_console() {
  local name=$1 left_out=$4 ink
  printf '%b' "$2" >"$E2E_TMP/clip"
  printf '%b' "$3" >"$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  console_mark
  xdotool key F10
  console_wait_stable "$(file_size "$E2E_TMP/expected")" 5 60
  console_received "$E2E_TMP/got"
  expect_same "console/$name" "$E2E_TMP/expected" "$E2E_TMP/got"
  ink=$(third_line_ink)
  if { [ "$left_out" = yes ] && ((ink > 50)); } || { [ "$left_out" = no ] && ((ink == 0)); }; then
    pass "console/$name/left_out_said_$left_out"
  else
    fail "console/$name/left_out_said_$left_out: $ink dark pixels below the instruction"
  fi
  [ "$left_out" = no ] || import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-x11-console-left-out.png"
  printf 'probe-1;a' >"$E2E_TMP/clip"
  set_clipboard "$E2E_TMP/clip"
  console_mark
  xdotool key F10
  console_wait_stable 9 3 30
  console_received "$E2E_TMP/got"
  if [ "$(cat "$E2E_TMP/got")" = 'probe-1;a' ]; then
    pass "console/$name/no_modifier_left_down"
  else
    fail "console/$name/no_modifier_left_down: the probe arrived as '$(cat "$E2E_TMP/got")'"
  fi
}

# The instruction label's pixels, to tell the instruction from other texts there.
label_pixels() {
  import -window "$TECLIX_WIN" "$SHOT" 2>/dev/null &&
    convert "$SHOT" -crop 425x74+1+84 +repage -colorspace gray -threshold 50% txt:- | md5sum
}
# Dark pixels below the instruction's two lines (a third line: what was left out).
third_line_ink() {
  import -window "$TECLIX_WIN" "$SHOT" 2>/dev/null &&
    convert "$SHOT" -crop 425x40+1+118 +repage -colorspace gray -threshold 50% txt:- | grep -c '#000000'
}

console_build_guest
start_xvfb

for keymap in us es; do
  set_layout "$keymap"
  start_teclix
  console_start_qemu "$keymap"
  # The viewer, small, left of Teclix's window, which must stay in sight.
  console_start_viewer -geometry 400x300+0+0
  if [ "$keymap" = us ]; then
    idle=$(label_pixels)
    # Every printable ASCII sign, then a fixed pseudo-random run of them: 2,000.
    awk 'BEGIN { for (c = 32; c < 127; c++) printf "%c", c; x = 7
                 for (i = 95; i < 2000; i++) { x = (x * 1103515245 + 12345) % 2147483648
                   printf "%c", 32 + int(x / 65536) % 95 } }' >"$E2E_TMP/ascii"
    printf '%s' "$(cat "$E2E_TMP/ascii")" >"$E2E_TMP/clip"
    set_clipboard "$E2E_TMP/clip"
    console_mark
    start=$SECONDS
    xdotool key F10
    # A paste that long shows its progress where the instruction is.
    if wait_until 20 eval '[ "$(label_pixels)" != "$idle" ]'; then
      pass "console/us/progress_shown"
      import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-x11-console-progress.png"
    else
      fail "console/us/progress_shown"
    fi
    console_wait_stable 2000 5 240
    log "  2,000 characters took about $((SECONDS - start)) s"
    console_received "$E2E_TMP/got"
    expect_same "console/us/ascii_2000" "$E2E_TMP/ascii" "$E2E_TMP/got"
    if wait_until 10 eval '[ "$(label_pixels)" = "$idle" ]'; then
      pass "console/us/instruction_back"
    else
      fail "console/us/instruction_back"
    fi
    paste_into_console us/lines_and_tabs 'uno\tdos\ntres\r\n(cuatro)\t{5}\n' \
      "$(what_console_reads 'uno\tdos\ntres\r\n(cuatro)\t{5}\n')" no
    # Letters no US key types are left out, never typed as something else, and said.
    paste_into_console us/accents_left_out 'Año, café; ü!' 'Ao, caf; !' yes
    # A number: two decimals, and the keypad decimal key's dot with the main block's key.
    paste_into_console us/number '-1,234.5' '-1234.50' no
  else
    # Spanish on both sides: the letters of the Spanish keys, and accents typed as
    # a dead key and the letter, as on a Spanish keyboard.
    paste_into_console es/spanish '¿Acción? ¡Sí! Ñandú, pingüino: çà ô @#|\t(1+2)=3' \
      '¿Acción? ¡Sí! Ñandú, pingüino: çà ô @#|\t(1+2)=3' no
  fi
  console_stop
  close_teclix || fail "console/$keymap: teclix did not close"
done

# QEMU's own window, clicked into: it holds the whole keyboard, so F10 goes to the
# guest. Teclix says so, and its countdown types into the window all the same.
set_layout us
console_start_qemu_window us
start_teclix # mapped after QEMU's window, so it stays in sight
# countdown_into_qemu NAME START TEXT_FILE: sets the clipboard, starts the countdown
# (START: f10, pressed in Teclix's window, or button, a click on it), clicks into the
# guest's window as a user would, and checks that exactly the text arrived.
countdown_into_qemu() {
  local name=$1 X Y WIDTH HEIGHT SCREEN WINDOW
  set_clipboard "$3"
  console_release
  if [ "$2" = f10 ]; then
    focus "$TECLIX_WIN"
    xdotool key F10
  else
    eval "$(xdotool getwindowgeometry --shell "$TECLIX_WIN")"
    xdotool mousemove $((X + WIDTH - 60)) $((Y + 15)) click 1
  fi
  console_mark
  console_grab
  console_wait_stable "$(file_size "$3")" 8 60
  console_received "$E2E_TMP/got"
  expect_same "console/qemu_window/$name" "$3" "$E2E_TMP/got"
}
console_grab
ink=$(third_line_ink)
console_mark
xdotool key F10
# The guest gets F10 itself (ESC [ 2 1 ~ on its console) and Teclix types nothing.
console_wait_stable 5 2 10
console_received "$E2E_TMP/got"
printf '\033[21~' >"$E2E_TMP/expected"
expect_same "console/qemu_window/f10_went_to_the_guest" "$E2E_TMP/expected" "$E2E_TMP/got"
if ((ink == 0)) && wait_until 5 eval '(($(third_line_ink) > 50))'; then
  pass "console/qemu_window/f10_taken_is_said"
  import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-x11-f10-taken.png"
else
  fail "console/qemu_window/f10_taken_is_said: $ink dark pixels before, $(third_line_ink) after"
fi
# Lines, tabs and every printable ASCII sign.
{
  printf 'uno\tdos\r'
  awk 'BEGIN { for (c = 32; c < 127; c++) printf "%c", c }'
  printf '\r(tres)\t{4}\r'
} >"$E2E_TMP/ascii"
countdown_into_qemu text f10 "$E2E_TMP/ascii"
# No modifier left down in the guest: a probe after it arrives as itself.
printf 'probe-1;a' >"$E2E_TMP/probe"
countdown_into_qemu no_modifier_left_down button "$E2E_TMP/probe"
console_release
console_stop
close_teclix || fail "console/qemu_window: teclix did not close"
finish
