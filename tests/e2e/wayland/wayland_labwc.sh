#!/usr/bin/env bash
# teclix under labwc, a wlroots compositor that says its windows only through
# their list (no sway IPC): exact texts into foot, a GTK entry through the input
# method, a console known by its app_id, and a paste that stops when the focus
# moves to another window.

# shellcheck source=labwc.sh
source "$(dirname "$0")/labwc.sh"

start_labwc es
start_wayland_teclix
start_foot term
paste_texts_to_terminal labwc/es "$WL_DIR/term.out"

# 10,000 characters into a terminal busy (stopped) for 3 s as the paste begins.
head -c 30000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()[]{}<>/|@#$%^&*_=+~-' | head -c 10000 \
  >"$E2E_TMP/ascii"
set_clipboard "$E2E_TMP/ascii"
: >"$WL_DIR/term.out"
if paste_into_stopped labwc/terminal_10000_busy "$FOOT_PID" 3; then
  wait_output "$WL_DIR/term.out" 10000 60 || true
  expect_same labwc/terminal_10000_busy "$E2E_TMP/ascii" "$WL_DIR/term.out"
fi

# A GTK entry: the text as text, Enter as a key.
printf 'Año Ñandú: ¿Qué? 5 € Жж 你好 [a-z] ~/p\n' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
start_wayland_entry "$E2E_TMP/entry.out"
entry=$ENTRY_PID
wait_until 10 focused_app zenity || fail "labwc/gtk_entry: the entry did not get the focus"
"${E2E_PASTE[@]}"
wait_until 20 pid_gone "$entry" || fail "labwc/gtk_entry: the entry was not submitted"
expect_same labwc/gtk_entry "$E2E_TMP/clip" "$E2E_TMP/entry.out"
grep -q 'como texto' "$TECLIX_ERR" && pass labwc/gtk_entry_as_text ||
  fail "labwc/gtk_entry_as_text: the entry got keys"
stop_pid "$entry"

# A console (a viewer known by its app_id) gets a person's pace; the focus moving
# to another window stops the paste there (within the few characters typed
# between two looks at the focus): the console holds the text's start, the other
# window at most those few that follow it.
start_foot other
start_foot console remote-viewer
head -c 3000 /dev/urandom | tr -dc 'a-z0-9 ' | head -c 400 >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
"${E2E_PASTE[@]}"
wait_until 10 size_at_least "$WL_DIR/console.out" 20 || fail "labwc/console: nothing arrived"
focus_app target-other
wait_output "$WL_DIR/console.out" 20 10 2 || true
cat "$WL_DIR/console.out" "$WL_DIR/other.out" >"$E2E_TMP/both"
got=$(file_size "$E2E_TMP/both")
if ((got < 400 && $(file_size "$WL_DIR/other.out") < 8)) &&
  cmp -s "$E2E_TMP/both" <(head -c "$got" "$E2E_TMP/clip"); then
  pass labwc/console_paced_and_stopped_by_focus
else
  fail "labwc/console_paced_and_stopped_by_focus: $(file_size "$WL_DIR/console.out") and" \
    "$(file_size "$WL_DIR/other.out") of 400 characters arrived"
fi

finish
