#!/usr/bin/env bash
# Pastes the texts of texts.tsv, and numbers, into a GTK text entry (zenity
# --entry), under the US and the Spanish layouts. Each text ends with a line
# break, so its Enter confirms the entry and zenity prints what it received.
source "$(dirname "$0")/teclix.sh"

ENTRY_PID=
ENTRY_OUT=$E2E_TMP/entry.out
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
    # Once teclix has read the clipboard, the second text goes on it; F10 is
    # pressed until it is typed (a press during the first paste is lost, and
    # the second paste ends the entry, so it cannot be typed twice).
    wait_until 10 clipboard_served 1 || fail "$name: teclix did not read the clipboard"
    set_clipboard "$4"
    for _ in 1 2 3 4 5; do
      xdotool key F10
      wait_until 1 pid_gone "$ENTRY_PID" && break
    done
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
set_layout es
"$X11_TOOL" keymap >"$E2E_TMP/keymap.before" # the Spanish map, before any paste
start_teclix
for layout in us es; do
  set_layout "$layout"
  while IFS=$'\t' read -r name text; do
    case $name in '#'* | '' | term_*) continue ;; esac
    printf '%b\n' "$text" >"$E2E_TMP/clip"
    cp "$E2E_TMP/clip" "$E2E_TMP/expected"
    entry_case "entry/$layout/$name" "$E2E_TMP/clip" "$E2E_TMP/expected"
  done <"$E2E_TEXTS"
done

# A number: its decimal separator is the keypad decimal key, which GTK writes as
# a dot. The number is not followed by Enter (a line break after a number is
# not typed), so a second paste brings it.
printf '1234.5' >"$E2E_TMP/clip"
printf '\n' >"$E2E_TMP/enter"
printf '1234.50\n' >"$E2E_TMP/expected"
entry_case "entry/es/number_en_US" "$E2E_TMP/clip" "$E2E_TMP/expected" "$E2E_TMP/enter"

# 40,000 characters go to a GTK text view (zenity --text-info --editable): a
# one-line entry redraws its whole text on each key and takes minutes of its own.
# The text view prints its text when its OK button is pressed; that is done once
# teclix has given the lent keycodes back, which it does a second after typing.
keymap_is_before() { "$X11_TOOL" keymap | cmp -s - "$E2E_TMP/keymap.before"; }
keymap_lent() { ! keymap_is_before; }
text_window() { xdotool search --name '^target-text$' >/dev/null 2>&1; }
zenity --text-info --editable --title target-text >"$ENTRY_OUT" 2>>"$E2E_TMP/zenity.log" &
ENTRY_PID=$!
track "$ENTRY_PID"
wait_until 20 text_window || die "the zenity text view did not appear"
focus "$(xdotool search --name '^target-text$' | head -n1)"
make_long_text "$E2E_TMP/clip"
cp "$E2E_TMP/clip" "$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
start=$SECONDS
xdotool key F10
if wait_until 10 keymap_lent && wait_until 180 keymap_is_before; then
  log "  40,000 characters took about $((SECONDS - start)) s"
  xdotool key ctrl+Tab Return # to the OK button, and press it
  if wait_until 30 pid_gone "$ENTRY_PID"; then
    expect_same "text_view/es/long_40000_characters" "$E2E_TMP/expected" "$ENTRY_OUT"
  else
    fail "text_view/es/long_40000_characters: the text view did not close"
  fi
else
  fail "text_view/es/long_40000_characters: the paste did not start or end"
fi
stop_pid "$ENTRY_PID"

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
finish
