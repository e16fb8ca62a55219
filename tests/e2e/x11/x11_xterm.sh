#!/usr/bin/env bash
# Pastes every text of texts.tsv into an xterm under the US and then the Spanish
# layout (changed while teclix runs), and once more with Caps Lock on.
source "$(dirname "$0")/teclix.sh"

start_xvfb
set_layout us
start_teclix
start_xterm_target term
focus "$TARGET_WIN"
out=$E2E_TMP/term.out

for layout in us es; do
  set_layout "$layout"
  paste_texts_to_terminal "xterm/$layout" "$out"

  # Caps Lock on: the text arrives in its own case, and Caps Lock is never
  # touched (a watcher sees every change of the locked modifiers).
  printf 'Caps Lock: MiXeD case ñÑ 123 @#' >"$E2E_TMP/clip"
  cp "$E2E_TMP/clip" "$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  xdotool key Caps_Lock
  [ "$("$X11_TOOL" caps)" = on ] || die "Caps Lock did not turn on"
  locks=$E2E_TMP/locks-$layout
  "$X11_TOOL" watch-locks >"$locks" 2>&1 &
  watcher=$!
  track "$watcher"
  wait_until 5 grep -qx ready "$locks" || die "the lock watcher did not start"
  paste_and_expect "xterm/$layout/caps_lock" "$out" "$E2E_TMP/expected"
  stop_pid "$watcher"
  if [ "$("$X11_TOOL" caps)" = on ] && ! grep -q '^locks' "$locks"; then
    pass "xterm/$layout/caps_lock_never_pressed"
  else
    fail "xterm/$layout/caps_lock_never_pressed: $("$X11_TOOL" caps), $(grep -c '^locks' "$locks") lock changes"
  fi
  xdotool key Caps_Lock
done

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
finish
