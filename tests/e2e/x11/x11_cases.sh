#!/usr/bin/env bash
# The cases around the texts, against an xterm: numbers under Spanish and US
# locales, 40,000 characters, a clipboard handed out in pieces, clipboards that
# hold no text, nothing focused, the keyboard map given back after a paste, and
# F10 held by another program.
source "$(dirname "$0")/teclix.sh"
out=$E2E_TMP/term.out
printf 'MARK' >"$E2E_TMP/mark"

# A paste of MARK right after: exactly MARK arriving, with nothing before it,
# shows the case typed nothing and the program still pastes.
expect_nothing_then_mark() {
  local name=$1
  set_clipboard "$E2E_TMP/mark"
  paste_and_expect "$name" "$out" "$E2E_TMP/mark" 30 keep
}

start_xvfb
"$X11_TOOL" keymap >"$E2E_TMP/keymap.before"
start_xterm_target term
focus "$TARGET_WIN"
term=$TARGET_WIN

# --- Numbers: locale, clipboard text, what the terminal receives --------------
# The keypad decimal key is KP_Decimal, which X clients write as a dot.
NUMBERS=(
  "es_ES.UTF-8|1234,5|1234.50"
  "es_ES.UTF-8|-3,456|-3.46"
  "es_ES.UTF-8|1.234,5|1234.50"
  "es_ES.UTF-8|7|7.00"
  "es_ES.UTF-8|Hola, mundo|Hola, mundo"
  "en_US.UTF-8|1,234.5|1234.50"
  "en_US.UTF-8|0.125|0.13"
  "en_US.UTF-8|1234,5|1234,5"
)
current_locale=
for row in "${NUMBERS[@]}"; do
  IFS='|' read -r locale text expected <<<"$row"
  if [ "$locale" != "$current_locale" ]; then
    [ -z "$current_locale" ] || close_teclix || fail "teclix under $current_locale did not close"
    start_teclix "$locale"
    current_locale=$locale
  fi
  printf '%s' "$text" >"$E2E_TMP/clip"
  printf '%s' "$expected" >"$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  paste_and_expect "number/$locale/$text" "$out" "$E2E_TMP/expected"
done

# --- 40,000 characters, with letters the keyboard lacks in every line ---------
make_long_text "$E2E_TMP/clip"
cp "$E2E_TMP/clip" "$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
start=$SECONDS
paste_and_expect "long/40000_characters" "$out" "$E2E_TMP/expected" 120
log "  40,000 characters took about $((SECONDS - start)) s"

# --- A clipboard handed out in pieces, as programs do with large texts --------
# 3,000 characters in pieces of 999 bytes, so that letters of two bytes are cut.
head -n 60 "$E2E_TMP/clip" >"$E2E_TMP/pieces"
clear_clipboard
coproc PIECES { exec "$X11_TOOL" serve-clipboard-in-pieces "$E2E_TMP/pieces" 999; }
track "$PIECES_PID"
read -r -u "${PIECES[0]}" ready && [ "$ready" = ready ] || die "serve-clipboard-in-pieces did not start"
paste_and_expect "long/clipboard_in_pieces" "$out" "$E2E_TMP/pieces"
stop_pid "$PIECES_PID"

# --- The keyboard map is as it was before any paste once a paste is over ------
# A few characters fit in the spare keycodes; the second text needs more than
# there are, so media keys are borrowed too and must get their own keysyms back.
keymap_restored() { "$X11_TOOL" keymap | cmp -s - "$E2E_TMP/keymap.before"; }
many=$(awk -F'\t' '$1 == "many_outside" {print $2}' "$E2E_TEXTS")
[ -n "$many" ] || die "no many_outside text in texts.tsv"
for row in "spare|Жж Ωω 你好 😀" "borrowed|$many"; do
  name=${row%%|*}
  printf '%b' "${row#*|}" >"$E2E_TMP/clip"
  expected_terminal "${row#*|}" >"$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  paste_and_expect "keymap/$name/lent_keys_type" "$out" "$E2E_TMP/expected"
  if wait_until 15 keymap_restored; then pass "keymap/$name/given_back"; else
    fail "keymap/$name/given_back"
    "$X11_TOOL" keymap | diff "$E2E_TMP/keymap.before" - | head -n 20 >&2
  fi
done

# Media keys that another program has grabbed are not borrowed: what is typed
# with them would go to that program instead of the focused window.
coproc MEDIA { exec "$X11_TOOL" grab-media-keys; }
track "$MEDIA_PID"
read -r -u "${MEDIA[0]}" ready grabbed && [ "$ready" = ready ] || die "grab-media-keys did not start"
printf '%b' "$many" >"$E2E_TMP/clip"
expected_terminal "$many" >"$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
paste_and_expect "keymap/grabbed_media_keys_left_alone ($grabbed grabbed)" "$out" "$E2E_TMP/expected"
if read -r -t 1 -u "${MEDIA[0]}" stolen; then
  fail "keymap/grabbed_media_keys_left_alone: the grabbing program got a key ($stolen)"
fi
stop_pid "$MEDIA_PID"
wait_until 15 keymap_restored || fail "keymap/given_back after the grabbed media keys"

# --- Clipboards that give no text: nothing is typed ---------------------------
: >"$E2E_TMP/empty"
set_clipboard "$E2E_TMP/empty"
: >"$out"
xdotool key F10
expect_nothing_then_mark "no_text/empty_text"

clear_clipboard
: >"$out"
xdotool key F10
expect_nothing_then_mark "no_text/no_owner"

convert -size 8x8 xc:red "png:$E2E_TMP/image.png" || die "could not make an image"
set_clipboard "$E2E_TMP/image.png" image/png
: >"$out"
xdotool key F10
expect_nothing_then_mark "no_text/image_only"

clear_clipboard
coproc SILENT { exec "$X11_TOOL" hold-clipboard; }
track "$SILENT_PID"
read -r -u "${SILENT[0]}" ready && [ "$ready" = ready ] || die "hold-clipboard did not start"
xdotool key F10
read -r -t 10 -u "${SILENT[0]}" request && [ "$request" = request ] ||
  fail "no_text/owner_never_answers: teclix did not ask the owner"
# While teclix waits for the owner, F10 presses are lost; it must give up and
# paste the next clipboard within a few seconds. A press that types nothing in
# a second was lost, so pressing again cannot type MARK twice.
set_clipboard "$E2E_TMP/mark"
: >"$out"
start=$SECONDS
if press_until_output "$out" 6 && wait_output "$out" 4 1 && cmp -s "$out" "$E2E_TMP/mark"; then
  pass "no_text/owner_never_answers: nothing typed, next paste after $((SECONDS - start)) s"
else
  fail "no_text/owner_never_answers: received '$(cat "$out")' after $((SECONDS - start)) s"
fi
stop_pid "$SILENT_PID"

# An owner that answers the first request only after teclix gave up on it: that
# late answer is never taken for the next press's, which types the text exactly
# (not its UTF-8 read as Latin-1). Presses while teclix still waits are lost.
printf 'Ñandú € ok' >"$E2E_TMP/late"
coproc LATE { exec "$X11_TOOL" serve-clipboard-late "$E2E_TMP/late"; }
track "$LATE_PID"
read -r -u "${LATE[0]}" ready && [ "$ready" = ready ] || die "serve-clipboard-late did not start"
: >"$out"
press_until_output "$out" 6
expect_same "no_text/late_answer_then_exact_text" "$E2E_TMP/late" "$out"
stop_pid "$LATE_PID"

# --- Nothing focused: the pointer is over the bare desktop --------------------
coproc WATCH { exec "$X11_TOOL" watch-keys; }
track "$WATCH_PID"
read -r -u "${WATCH[0]}" ready && [ "$ready" = ready ] || die "watch-keys did not start"
"$X11_TOOL" focus pointer
xdotool mousemove 1270 790
printf 'abc' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
xdotool key F10
xdotool key x
# x must be the only key that reaches the desktop, modifiers included: first, and
# alone for a second.
read_typed_key() {
  local key
  if read -r -t "$1" -u "${WATCH[0]}" key; then echo "$key"; else echo none; fi
}
first=$(read_typed_key 10)
second=$(read_typed_key 1)
if [ "$first" = 0x78 ] && [ "$second" = none ]; then
  pass "nothing_focused/types_nothing"
else
  fail "nothing_focused/types_nothing (keys seen: $first $second)"
fi
stop_pid "$WATCH_PID"
focus "$term"

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"

# --- F10 already held by another program --------------------------------------
coproc GRAB { exec "$X11_TOOL" grab-f10; }
track "$GRAB_PID"
read -r -u "${GRAB[0]}" ready && [ "$ready" = ready ] || die "grab-f10 did not start"
start_teclix
if wait_until 5 grep -q 'F10 está ocupada por otro programa.*BadAccess' "$TECLIX_ERR"; then
  pass "f10_taken/notice_with_x_error"
else
  fail "f10_taken/notice_with_x_error: $(cat "$TECLIX_ERR")"
fi
mkdir -p "$E2E_ARTIFACTS"
import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-f10-taken.png" 2>/dev/null || log "no screenshot"
close_teclix && pass "f10_taken/closes" || fail "f10_taken/closes"
stop_pid "$GRAB_PID"

# --- F10 is given back on close ----------------------------------------------
start_teclix
import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-window.png" 2>/dev/null || log "no screenshot"
close_teclix || fail "teclix did not close"
coproc GRAB2 { exec "$X11_TOOL" grab-f10; }
track "$GRAB2_PID"
read -r -t 10 -u "${GRAB2[0]}" ready || ready=none
[ "$ready" = ready ] && pass "f10_released_on_close" || fail "f10_released_on_close ($ready)"
stop_pid "$GRAB2_PID"

finish
