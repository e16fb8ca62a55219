#!/usr/bin/env bash
# Pastes the texts of texts.tsv, and numbers, into a GTK text entry (zenity
# --entry), under the US and the Spanish layouts. Each text ends with a line
# break, so its Enter confirms the entry and zenity prints what it received.
source "$(dirname "$0")/lib.sh"
TEXTS=$(dirname "$0")/texts.tsv

ENTRY_PID=
ENTRY_OUT=$E2E_TMP/entry.out
kp_decimal_lent() { "$X11_TOOL" keymap | grep -q ' 0xffae:-'; }
entry_window() { xdotool search --name '^target-entry$' >/dev/null 2>&1; }

start_entry() {
  zenity --entry --title target-entry --text "Texto:" >"$ENTRY_OUT" 2>>"$E2E_TMP/zenity.log" &
  ENTRY_PID=$!
  track "$ENTRY_PID"
  wait_until 20 entry_window || die "the zenity entry did not appear"
  focus "$(xdotool search --name '^target-entry$' | head -n1)"
}

# entry_case NAME CLIPBOARD_FILE EXPECTED_FILE [SECOND_CLIPBOARD_FILE]
# With a second clipboard, F10 is pressed again with it (its Enter ends the entry).
entry_case() {
  local name=$1
  start_entry
  set_clipboard "$2"
  xdotool key F10
  if [ -n "${4:-}" ]; then
    # The keypad decimal key is lent a spare keycode when it is pressed: once
    # that shows in the map, the first paste is all but done.
    wait_until 10 kp_decimal_lent || fail "$name: the keypad decimal key was not pressed"
    set_clipboard "$4"
    xdotool key F10
  fi
  if wait_until 30 pid_gone "$ENTRY_PID"; then
    stop_pid "$ENTRY_PID"
    expect_same "$name" "$3" "$ENTRY_OUT"
  else
    fail "$name: the entry was not confirmed; it holds what arrived so far"
    stop_pid "$ENTRY_PID"
  fi
}

start_xvfb
start_teclix
for layout in us es; do
  set_layout "$layout"
  while IFS=$'\t' read -r name text; do
    case $name in '#'* | '' | term_*) continue ;; esac
    printf '%b\n' "$text" >"$E2E_TMP/clip"
    cp "$E2E_TMP/clip" "$E2E_TMP/expected"
    entry_case "entry/$layout/$name" "$E2E_TMP/clip" "$E2E_TMP/expected"
  done <"$TEXTS"
done

# A number: its decimal separator is the keypad decimal key, which GTK writes as
# a dot. The number is not followed by Enter (a line break after a number is
# not typed), so a second paste brings it.
printf '1234.5' >"$E2E_TMP/clip"
printf '\n' >"$E2E_TMP/enter"
printf '1234.50\n' >"$E2E_TMP/expected"
entry_case "entry/es/number_en_US" "$E2E_TMP/clip" "$E2E_TMP/expected" "$E2E_TMP/enter"

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
finish
