#!/usr/bin/env bash
# teclix in a Wayland session: headless sway, teclix's window on sway's Xwayland,
# foot terminals as targets, the Wayland clipboard set with wl-copy, and
# "teclix --paste" as the desktop's F10 binding would run it.

# shellcheck source=sway.sh
source "$(dirname "$0")/sway.sh"

start_sway

# --- the trigger with nothing to ask -------------------------------------------------

if as_user "$WL_TECLIX" --paste 2>"$E2E_TMP/paste.err"; then
  fail "paste_command/none_running: it succeeded"
elif grep -q 'Teclix no está abierto' "$E2E_TMP/paste.err"; then
  pass "paste_command/none_running"
else
  fail "paste_command/none_running: it said '$(cat "$E2E_TMP/paste.err")'"
fi

start_wayland_teclix
start_foot term
# How the window looks with the session's notice (Xwayland draws it).
mkdir -p "$E2E_ARTIFACTS"
[ -n "$WL_ROOT" ] || as_user sh -c 'import -window "$(xdotool search --name "^$1\$" | head -n1)" "$2"' sh \
  "$TECLIX_CAPTION" "$WL_DIR/window.png" && cp "$WL_DIR/window.png" "$E2E_ARTIFACTS/teclix-wayland-window.png"

# --- exact texts, Spanish layout: its keys, and spare keys for the rest ----------------

paste_texts_to_terminal wayland/es "$WL_DIR/term.out"

# A long ASCII text, whole and in order.
head -c 30000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()[]{}<>/|@#$%^&*_=+~-' | head -c 10000 \
  >"$E2E_TMP/ascii"
set_clipboard "$E2E_TMP/ascii"
paste_and_expect wayland/ascii_10000 "$WL_DIR/term.out" "$E2E_TMP/ascii" 120
# A second request while a paste is typed (a shortcut pressed twice) is turned
# away, and says so: the text arrives once.
head -c 500 "$E2E_TMP/ascii" >"$E2E_TMP/twice"
set_clipboard "$E2E_TMP/twice"
: >"$WL_DIR/term.out"
"${E2E_PASTE[@]}"
as_user "$WL_TECLIX" --paste 2>"$E2E_TMP/second.err"
wait_output "$WL_DIR/term.out" 500 20 1.5
expect_same wayland/second_request_during_paste "$E2E_TMP/twice" "$WL_DIR/term.out"
grep -q 'se descarta' "$E2E_TMP/second.err" && pass wayland/second_request_said ||
  fail "wayland/second_request_said: '$(cat "$E2E_TMP/second.err")'"
# A GTK entry (slower to take keys than a terminal, and cut off by the
# compositor when it falls too far behind) takes 3,000 characters whole, though
# it is busy for 3 s as the paste begins; so does a terminal, 10,000 characters.
head -c 3000 "$E2E_TMP/ascii" >"$E2E_TMP/entry.txt"
printf '\n' >>"$E2E_TMP/entry.txt"
set_clipboard "$E2E_TMP/entry.txt"
start_wayland_entry "$E2E_TMP/entry.out"
entry=$ENTRY_PID
wait_until 10 focused_app zenity || fail "wayland/gtk_entry_3000: the entry did not get the focus"
if paste_into_stopped wayland/gtk_entry_3000_busy "$entry" 3; then
  if wait_until 60 pid_gone "$entry"; then
    expect_same wayland/gtk_entry_3000_busy "$E2E_TMP/entry.txt" "$E2E_TMP/entry.out"
  else
    fail "wayland/gtk_entry_3000_busy: the entry was not submitted"
  fi
fi
stop_pid "$entry"
as_text() { [ "$(grep -c 'como texto' "$TECLIX_ERR")" = "$1" ]; }
# A GTK entry that is not busy takes the text from an input method, in pieces it
# confirms, with the keys (Enter, a number's keypad separator) in their places.
while IFS=$'\t' read -r name text expected; do
  printf '%s\n' "$text" >"$E2E_TMP/clip"
  set_clipboard "$E2E_TMP/clip"
  start_wayland_entry "$E2E_TMP/entry.out"
  entry=$ENTRY_PID
  wait_until 10 focused_app zenity || fail "wayland/text_input/$name: the entry did not get the focus"
  "${E2E_PASTE[@]}"
  # A number is typed alone, with no line break: a paste of one submits the entry.
  if [ "$name" = number ] && wait_until 10 as_text 2; then
    printf '\n' >"$E2E_TMP/clip"
    set_clipboard "$E2E_TMP/clip"
    "${E2E_PASTE[@]}"
  fi
  if ! wait_until 20 pid_gone "$entry"; then
    fail "wayland/text_input/$name: the entry was not submitted"
  elif grep -qxE -- "$expected" "$E2E_TMP/entry.out"; then
    pass "wayland/text_input/$name"
  else
    fail "wayland/text_input/$name: '$(head -c 200 "$E2E_TMP/entry.out")' arrived"
  fi
  stop_pid "$entry"
done <<'CASES'
text	Año Ñandú: ¿Qué? ¡Olé! 5 € Жж Ωω 你好 😀 "x" [a-z] {y} ~/p?&=%$@!^*_+|;` C:\dir	Año Ñandú: ¿Qué\? ¡Olé! 5 € Жж Ωω 你好 😀 "x" \[a-z\] \{y\} ~/p\?&=%\$@!\^\*_\+\|;` C:\\dir
number	1234.5	1234[.,]50
CASES
as_text 3 && pass wayland/text_input/taken_as_text ||
  fail "wayland/text_input/taken_as_text: $(grep -c 'como texto' "$TECLIX_ERR") of 3 pastes went as text"
start_foot busy
set_clipboard "$E2E_TMP/ascii"
if paste_into_stopped wayland/terminal_10000_busy "$FOOT_PID" 3; then
  wait_output "$WL_DIR/busy.out" 10000 60 || true
  expect_same wayland/terminal_10000_busy "$E2E_TMP/ascii" "$WL_DIR/busy.out"
fi
focus_app target-term

# --- the user's held keys: the user's keyboard holds Shift while the paste types, ---
# and still holds it afterwards

printf 'sin mayúsculas' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
: >"$WL_DIR/term.out"
as_user "$WL_DIR/wayland_tool" hold-shift 1.5 x >"$E2E_TMP/held" 2>&1 &
held=$!
track "$held"
wait_until 5 grep -q held "$E2E_TMP/held" || fail "wayland/held_shift: Shift was not held"
"${E2E_PASTE[@]}"
wait_until 10 pid_gone "$held"
wait_output "$WL_DIR/term.out" 15 5
if [ "$(cat "$WL_DIR/term.out")" = 'sin mayúsculasX' ]; then
  pass "wayland/held_shift_kept_for_its_keyboard"
else
  fail "wayland/held_shift_kept_for_its_keyboard: '$(cat "$WL_DIR/term.out")' arrived"
fi
stop_pid "$held"

# --- nothing to paste -----------------------------------------------------------------

# Each is followed by a paste of a text: exactly that text arriving, with nothing
# before it, shows the case typed nothing.
as_user wl-copy --clear
: >"$WL_DIR/term.out"
"${E2E_PASTE[@]}"
printf 'después' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
paste_and_expect wayland/empty_clipboard_types_nothing "$WL_DIR/term.out" "$E2E_TMP/clip" 30 keep
set_clipboard "$E2E_TMP/ascii" image/png
: >"$WL_DIR/term.out"
"${E2E_PASTE[@]}"
set_clipboard "$E2E_TMP/clip"
paste_and_expect wayland/non_text_clipboard_types_nothing "$WL_DIR/term.out" "$E2E_TMP/clip" 30 keep

# --- the countdown: asked for while Teclix's own window has the focus, typed where ---
# the focus is at zero

printf 'cuenta atrás ñ Ж' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
: >"$WL_DIR/term.out"
swaymsg_ '[class="Teclix"] focus'
asked=$SECONDS
"${E2E_PASTE[@]}"
sleep 1 # the user moves to the target during the countdown
focus_app target-term
if wait_output "$WL_DIR/term.out" "$(file_size "$E2E_TMP/clip")" 10; then
  expect_same wayland/countdown "$E2E_TMP/clip" "$WL_DIR/term.out"
  ((SECONDS - asked >= 4)) && pass wayland/countdown_waited ||
    fail "wayland/countdown_waited: typed after $((SECONDS - asked)) s"
else
  fail "wayland/countdown: nothing arrived in 10 s"
fi

# --- US layout: the user switches layout; Spanish letters come from spare keys ----------

swaymsg_ input type:keyboard xkb_layout us
paste_texts_to_terminal wayland/us "$WL_DIR/term.out"

finish
