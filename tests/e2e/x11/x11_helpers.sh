#!/usr/bin/env bash
# The automation helpers through the real X11 backend (x11_automation_probe): a click
# at a point with the pointer put back, a right double click sent to a window, a text
# posted to a window as key events, and the question box answered with keys and the
# mouse.
source "$(dirname "$0")/teclix.sh"

PROBE=$E2E_BUILD/tests/e2e/x11/x11_automation_probe
SHOT=$E2E_TMP/shot.png
mkdir -p "$E2E_ARTIFACTS"

start_xvfb
set_layout us

TARGET_PID= TARGET_LOG= TARGET_ID=
# start_target NAME: a recording window at (100, 100), 300 x 200.
start_target() {
  TARGET_LOG=$E2E_TMP/$1.log
  rm -f "$TARGET_LOG" "$TARGET_LOG.typed"
  "$PROBE" target "$TARGET_LOG" "$1" 100 100 </dev/null >/dev/null 2>>"$E2E_TMP/probe.err" &
  TARGET_PID=$!
  track "$TARGET_PID"
  wait_until 10 log_holds "$TARGET_LOG" ready || die "the probe target $1 did not start"
  TARGET_ID=$(xdotool search --name "^$1\$" | head -n1)
}

# --- Clickear ----------------------------------------------------------------------
start_target clicks
out=$E2E_TMP/click.out
xdotool mousemove --sync 700 600
if "$PROBE" click "$out" 150 160 && wait_until 10 log_holds "$TARGET_LOG" "left up 50 60"; then
  # A real press and release (not sent events) at the point, and nothing else.
  printf 'ready\nleft down 50 60\nleft up 50 60\n' >"$E2E_TMP/click.want"
  expect_same "clickear/click_at_the_point" "$E2E_TMP/click.want" "$TARGET_LOG"
else
  fail "clickear/click_at_the_point: $(tr '\n' ';' <"$TARGET_LOG")"
fi
if log_holds "$out" "pointer before 700 600" && log_holds "$out" "pointer after 700 600" &&
  [ "$(xdotool getmouselocation --shell | head -n2 | tr '\n' ' ')" = "X=700 Y=600 " ]; then
  pass "clickear/pointer_put_back"
else
  fail "clickear/pointer_put_back: $(tr '\n' ';' <"$out") X: $(xdotool getmouselocation)"
fi

# --- Enviar_Pulsacion -----------------------------------------------------------------
out=$E2E_TMP/rdbl.out
: >"$TARGET_LOG"
if "$PROBE" rdbl "$out" "$TARGET_ID" && log_holds "$out" sent &&
  wait_until 10 log_holds "$TARGET_LOG" "right up 0 0 sent" &&
  wait_until 5 eval '[ "$(grep -c "^right up" "$TARGET_LOG")" -ge 2 ]'; then
  printf '%s\n' "right down 0 0 sent" "right up 0 0 sent" "right down 0 0 sent" \
    "right double click 0 0" "right up 0 0 sent" >"$E2E_TMP/rdbl.want"
  expect_same "enviar_pulsacion/right_double_click" "$E2E_TMP/rdbl.want" "$TARGET_LOG"
else
  fail "enviar_pulsacion/right_double_click: $(tr '\n' ';' <"$TARGET_LOG")"
fi
# A window that is not there: nothing happens and the probe ends normally.
if "$PROBE" rdbl "$E2E_TMP/rdbl-gone.out" 0x7ffffff && log_holds "$E2E_TMP/rdbl-gone.out" sent; then
  pass "enviar_pulsacion/no_such_window"
else
  fail "enviar_pulsacion/no_such_window"
fi
stop_pid "$TARGET_PID"

# --- Enviar_Texto ----------------------------------------------------------------------
# Under each layout: characters on plain, shifted and AltGr levels, characters no
# key types (lent keycodes), CR as Return and the line feed left out.
printf 'Año: ÑANDÚ, 5 €\rfin' >"$E2E_TMP/text.want"
for layout in us es; do
  set_layout "$layout"
  start_target "text-$layout"
  "$X11_TOOL" keymap >"$E2E_TMP/map.before"
  out=$E2E_TMP/text-$layout.out
  if "$PROBE" text "$out" "$TARGET_ID" && log_holds "$out" "key 110" && log_holds "$out" done &&
    wait_output "$TARGET_LOG.typed" "$(file_size "$E2E_TMP/text.want")" 10; then
    expect_same "enviar_texto/$layout" "$E2E_TMP/text.want" "$TARGET_LOG.typed"
  else
    fail "enviar_texto/$layout: $(cat "$out" 2>/dev/null); typed: $(cat "$TARGET_LOG.typed" 2>/dev/null); log: $(tr '\n' ';' <"$TARGET_LOG")"
  fi
  "$X11_TOOL" keymap >"$E2E_TMP/map.after"
  if cmp -s "$E2E_TMP/map.before" "$E2E_TMP/map.after"; then
    pass "enviar_texto/$layout/keymap_given_back"
  else
    fail "enviar_texto/$layout/keymap_given_back"
  fi
  stop_pid "$TARGET_PID"
done
set_layout us

# --- BoxQues ---------------------------------------------------------------------------
box_window() { BOX_WIN=$(xdotool search --name '^Pregunta de Teclix$' 2>/dev/null | head -n1) && [ -n "$BOX_WIN" ]; }
box_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX_WIN" ]; }

# option  how it is answered  expected answer. "click N" clicks the Nth button from
# the right; "close" is the window manager's close.
while IFS='|' read -r option how answer; do
  name="boxques/$option/${how// /_}"
  out=$E2E_TMP/box.out
  rm -f "$out"
  "$PROBE" box "$out" "$option" </dev/null >/dev/null 2>>"$E2E_TMP/probe.err" &
  box_pid=$!
  track "$box_pid"
  if ! wait_until 10 box_window || ! wait_until 10 box_focused; then
    fail "$name: no question box with the keyboard focus"
    stop_pid "$box_pid"
    continue
  fi
  if [ "$option $how" = "4 Tab" ]; then
    import -window "$BOX_WIN" "$E2E_ARTIFACTS/teclix-x11-question-box.png"
  fi
  eval "$(xdotool getwindowgeometry --shell "$BOX_WIN")" # X Y WIDTH HEIGHT
  case $how in
    close) "$X11_TOOL" close "$BOX_WIN" ;;
    click*)
      # Buttons are 88 x 26, 8 apart, 12 from the right edge and 11 from the bottom.
      n=${how#click }
      xdotool mousemove --sync $((X + WIDTH - 12 - 44 - (n - 1) * 96)) $((Y + HEIGHT - 24)) click 1
      ;;
    *) xdotool key $how ;;
  esac
  if wait_until 10 pid_gone "$box_pid" && wait "$box_pid" && log_holds "$out" "answer $answer"; then
    pass "$name=$answer"
  else
    fail "$name: expected $answer, got $(cat "$out" 2>/dev/null)"
  fi
  stop_pid "$box_pid"
done <<'BOXES'
4|Return|6
4|Tab Return|7
4|Right Right Return|6
4|shift+Tab Return|7
4|click 1|7
4|click 2|6
3|Escape|2
3|Tab Tab Return|2
3|click 2|7
0|Return|1
0|close|1
0|Escape|1
1|Escape|2
1|close|2
2|Tab Return|4
2|Left Return|5
5|Return|4
5|close|2
260|Return|7
BOXES

# A box without Cancel stays open on Escape and on the window manager's close.
out=$E2E_TMP/box-stays.out
rm -f "$out"
"$PROBE" box "$out" 4 </dev/null >/dev/null 2>>"$E2E_TMP/probe.err" &
box_pid=$!
track "$box_pid"
if wait_until 10 box_window && wait_until 10 box_focused; then
  xdotool key Escape
  "$X11_TOOL" close "$BOX_WIN"
  # Then No: the answer is No, not anything from the two before.
  xdotool key Tab Return
  if wait_until 10 pid_gone "$box_pid" && log_holds "$out" "answer 7" && [ "$(wc -l <"$out")" -eq 1 ]; then
    pass "boxques/4/escape_and_close_ignored"
  else
    fail "boxques/4/escape_and_close_ignored: $(cat "$out" 2>/dev/null)"
  fi
else
  fail "boxques/4/escape_and_close_ignored: no box"
fi
stop_pid "$box_pid"

# --- The boxes under each locale ---------------------------------------------------------
# The question box and the last-resort error box draw their text under a locale that
# writes numbers with a decimal comma too; the error box lets F10 go before it shows.
fatal_window() { BOX_WIN=$(xdotool search --onlyvisible --name '^Teclix$' 2>/dev/null | head -n1) && [ -n "$BOX_WIN" ]; }
for locale in es_ES.UTF-8 en_US.UTF-8; do
  for kind in question fatal; do
    name="boxes/$locale/$kind"
    out=$E2E_TMP/$kind-$locale.out
    rm -f "$out"
    if [ "$kind" = question ]; then
      LC_ALL=$locale "$PROBE" box "$out" 4 </dev/null >/dev/null 2>>"$E2E_TMP/probe.err" &
      box_pid=$!
      track "$box_pid"
      wait_until 10 box_window && wait_until 10 box_focused
    else
      LC_ALL=$locale "$PROBE" fatal "$out" </dev/null >/dev/null 2>>"$E2E_TMP/probe.err" &
      box_pid=$!
      track "$box_pid"
      wait_until 10 fatal_window && wait_until 10 box_focused
    fi || {
      fail "$name: no box with the keyboard focus"
      stop_pid "$box_pid"
      continue
    }
    import -window "$BOX_WIN" "$SHOT" 2>/dev/null
    cp "$SHOT" "$E2E_ARTIFACTS/teclix-x11-$kind-box-$locale.png"
    # Dark pixels of the text, right of the icon and above the buttons.
    ink=$(convert "$SHOT" -crop 280x80+60+0 -colorspace gray -threshold 50% txt:- | grep -c '#000000')
    if ((ink > 100)); then pass "$name/text_drawn"; else fail "$name/text_drawn: $ink black pixels"; fi
    if [ "$kind" = fatal ]; then
      # Another program can take F10 while the box is open.
      "$X11_TOOL" grab-f10 >"$E2E_TMP/grab" 2>&1 &
      grab_pid=$!
      track "$grab_pid"
      if log_holds "$out" "F10 held" && wait_until 5 log_holds "$E2E_TMP/grab" ready; then
        pass "$name/f10_released_first"
      else
        fail "$name/f10_released_first: $(cat "$out"; cat "$E2E_TMP/grab")"
      fi
      stop_pid "$grab_pid"
    fi
    xdotool key Return
    if wait_until 10 pid_gone "$box_pid" && { log_holds "$out" "answer 6" || log_holds "$out" closed; }; then
      pass "$name/closes"
    else
      fail "$name/closes: $(cat "$out" 2>/dev/null)"
    fi
    stop_pid "$box_pid"
  done
done

if grep -q . "$E2E_TMP/probe.err"; then fail "probe stderr: $(head -c 500 "$E2E_TMP/probe.err")"; fi
finish
