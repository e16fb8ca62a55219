#!/usr/bin/env bash
# Faults and bad clipboards: 100,000 characters, NUL and invalid UTF-8, the focus
# moving away in the middle of a paste, the target closing in the middle of one,
# a session of 100 pastes that must not grow, and the X server going away.
source "$(dirname "$0")/teclix.sh"

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
# prefix_of SHORT LONG: SHORT's bytes are the first bytes of LONG.
prefix_of() { cmp -s "$1" <(head -c "$(file_size "$1")" "$2"); }

start_xvfb
start_teclix
start_xterm_target main
MAIN_WIN=$TARGET_WIN
MAIN_PID=${E2E_PIDS[-1]}
out=$E2E_TMP/main.out
focus "$MAIN_WIN"

# --- 100,000 characters arrive in full and exactly -----------------------------
make_long_text "$E2E_TMP/part" # 800 lines of 50 characters
{
  cat "$E2E_TMP/part" "$E2E_TMP/part"
  head -n 400 "$E2E_TMP/part"
} >"$E2E_TMP/clip"
chars=$(LC_ALL=en_US.UTF-8 wc -m <"$E2E_TMP/clip")
[ "$chars" -eq 100000 ] || die "the long text has $chars characters, not 100000"
cp "$E2E_TMP/clip" "$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
start=$SECONDS
paste_and_expect "long/$chars characters" "$out" "$E2E_TMP/expected" 240
log "  took about $((SECONDS - start)) s"

# --- Text that is not all valid: typed as far as it goes ------------------------
# Each row: name, clipboard bytes, what must arrive (printf %b escapes).
while IFS='|' read -r name clip want; do
  printf '%b' "$clip" >"$E2E_TMP/clip"
  printf '%b' "$want" >"$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  paste_and_expect "bad_text/$name" "$out" "$E2E_TMP/expected"
done <<'ROWS'
nul_ends_the_text|abc\0def|abc
invalid_byte|a\xffb|a\xef\xbf\xbdb
truncated_sequence|x\xc3|x\xef\xbf\xbd
encoded_surrogate|x\xed\xa0\x80y|x\xef\xbf\xbdy
overlong_slash|\xc0\xafok|\xef\xbf\xbd\xef\xbf\xbdok
ROWS

# A clipboard that starts with NUL holds no text: nothing arrives, and the
# program goes on pasting.
printf 'MARK' >"$E2E_TMP/mark"
printf '\0abc' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
: >"$out"
xdotool key F10
wait_until 5 clipboard_served 1 || fail "bad_text/nul_first: teclix did not read the clipboard"
# What that press typed comes before what the next one types: MARK alone shows
# that nothing came.
set_clipboard "$E2E_TMP/mark"
if press_until_output "$out" && wait_output "$out" 4 10 && cmp -s "$out" "$E2E_TMP/mark"; then
  pass "bad_text/nul_first_types_nothing"
else
  fail "bad_text/nul_first_types_nothing: received '$(cat "$out")'"
fi

# --- The focus moves in the middle of a paste: the rest is not typed ------------
start_xterm_target other
OTHER_WIN=$TARGET_WIN
other=$E2E_TMP/other.out
make_long_text "$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
focus "$MAIN_WIN"
: >"$out"
: >"$other"
xdotool key F10
wait_until 30 size_at_least "$out" 2000 || fail "focus_moves: the paste did not start"
DISPLAY=$DISPLAY xdotool windowfocus "$OTHER_WIN"
wait_output "$out" 1 10
wait_output "$other" 0 10
typed=$(file_size "$out")
stray=$(file_size "$other")
# A few keys already on their way when the focus moved may land in the other
# window; the paste must stop within its next handful of characters.
if ((typed < $(file_size "$E2E_TMP/clip"))) && ((stray <= 64)) && prefix_of "$out" "$E2E_TMP/clip"; then
  pass "focus_moves/rest_not_typed ($typed bytes before, $stray after the move)"
else
  fail "focus_moves/rest_not_typed: $typed bytes in the first window, $stray in the second"
fi
focus "$OTHER_WIN"
set_clipboard "$E2E_TMP/mark"
paste_and_expect "focus_moves/next_paste_works" "$other" "$E2E_TMP/mark"

# --- The target closes in the middle of a paste ---------------------------------
make_long_text "$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
focus "$MAIN_WIN"
: >"$out"
xdotool key F10
wait_until 30 size_at_least "$out" 2000 || fail "target_closes: the paste did not start"
stop_pid "$MAIN_PID"
wait_until 5 pid_gone "$MAIN_PID"
# The paste runs into the closed window until it sees the focus gone; the next
# press after that pastes again.
focus "$OTHER_WIN"
set_clipboard "$E2E_TMP/mark"
: >"$other"
if press_until_output "$other" && cmp -s "$other" "$E2E_TMP/mark"; then
  pass "target_closes/next_paste_works"
else
  fail "target_closes/next_paste_works: received '$(cat "$other")'"
fi
if pid_gone "$TECLIX_PID"; then
  fail "target_closes/teclix_lives: teclix ended: $(tail -n3 "$TECLIX_ERR")"
else
  pass "target_closes/teclix_lives"
fi

# --- 100 pastes: memory does not grow -------------------------------------------
printf 'Ñandú ¿Qué? Жж Ωω 12345 ' >"$E2E_TMP/clip"
cp "$E2E_TMP/clip" "$E2E_TMP/one"
set_clipboard "$E2E_TMP/clip"
: >"$other"
for ((i = 1; i <= 100; i++)); do
  xdotool key F10
  wait_until 10 size_at_least "$other" $((i * $(file_size "$E2E_TMP/one"))) ||
    { fail "session/100_pastes: paste $i did not arrive"; break; }
  ((i == 10)) && rss10=$(rss_kb "$TECLIX_PID")
done
rss100=$(rss_kb "$TECLIX_PID")
for ((i = 0; i < 100; i++)); do cat "$E2E_TMP/one"; done >"$E2E_TMP/expected"
wait_output "$other" "$(file_size "$E2E_TMP/expected")" 10
expect_same "session/100_pastes_exact" "$E2E_TMP/expected" "$other"
# Sanitizer builds keep freed memory in quarantine, so their RSS is not a measure.
if grep -q '^CMAKE_CXX_FLAGS:.*sanitize' "$E2E_BUILD/CMakeCache.txt" 2>/dev/null; then
  log "  resident memory after 10 and 100 pastes: $rss10 kB, $rss100 kB (sanitizer build, not compared)"
elif ((rss100 - rss10 <= 256)); then
  pass "session/no_growth ($rss10 kB after 10 pastes, $rss100 kB after 100)"
else
  fail "session/no_growth: $rss10 kB after 10 pastes, $rss100 kB after 100"
fi
if close_teclix && ! grep -q 'Sanitizer' "$TECLIX_ERR"; then
  pass "session/closes_clean"
else
  fail "session/closes_clean: $(grep -m3 -A3 'Sanitizer' "$TECLIX_ERR")"
fi

# --- Ended by a signal: the keycodes lent for a paste go back first ------------
keymap_now() { "$X11_TOOL" keymap; }
keymap_now >"$E2E_TMP/keymap.before"
start_teclix
printf 'Жж Ωω 你好' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
focus "$OTHER_WIN"
: >"$other"
paste_and_expect "signal/lent_keys_type" "$other" "$E2E_TMP/clip"
keymap_now | cmp -s - "$E2E_TMP/keymap.before" && log "  (the map was already given back)"
kill -TERM "$TECLIX_PID"
if wait_until 10 pid_gone "$TECLIX_PID" && wait "$TECLIX_PID" &&
  keymap_now | cmp -s - "$E2E_TMP/keymap.before"; then
  pass "signal/ends_and_gives_the_keys_back"
else
  fail "signal/ends_and_gives_the_keys_back: $(keymap_now | diff "$E2E_TMP/keymap.before" - | head -n 6)"
fi
stop_pid "$TECLIX_PID"

# --- The X server goes away while teclix runs -----------------------------------
start_x_server GONE_DISPLAY Xvfb -noreset -screen 0 800x600x24 -nolisten tcp
GONE_SERVER=${E2E_PIDS[-1]}
DISPLAY=$GONE_DISPLAY "$TECLIX" </dev/null >/dev/null 2>"$E2E_TMP/gone.err" &
gone_pid=$!
track "$gone_pid"
DISPLAY=$GONE_DISPLAY wait_until 10 teclix_window || die "teclix did not start on $GONE_DISPLAY"
stop_pid "$GONE_SERVER"
if wait_until 10 pid_gone "$gone_pid"; then
  wait "$gone_pid"
  status=$?
  # an exit status above 128 is a signal, and a core dump with it
  if ((status == 1)) && grep -q 'servidor X' "$E2E_TMP/gone.err"; then
    pass "server_gone/ends_with_message: $(head -n1 "$E2E_TMP/gone.err")"
  else
    fail "server_gone/ends_with_message: status $status, stderr: $(head -n3 "$E2E_TMP/gone.err")"
  fi
else
  fail "server_gone/ends_with_message: teclix still runs 10 s after its server ended"
fi

finish
