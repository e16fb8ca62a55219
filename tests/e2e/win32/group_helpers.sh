# shellcheck shell=bash
# Windows end-to-end group "helpers" (sourced by e2e_win32.sh): the automation
# helpers through the real backend (automation_probe.exe).


# Answers a question box with keys, the pointer over it (the X focus follows the pointer).
answer_box() {
  local title=$1 keys=$2 id X Y WIDTH HEIGHT SCREEN WINDOW
  id=$(wait_window "$title") || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove --sync $((X + 8)) $((Y + 8))
  # The keys go where the pointer is; a box that takes them too early is answered
  # again by the caller.
  wait_until 5 pointer_over "$id" || return 1
  xdotool key $keys
}

# pointer_at X Y: X has the pointer there (Wine moves it back a moment after it says so).
pointer_at() {
  local location
  location=$(xdotool getmouselocation --shell 2>/dev/null)
  grep -qx "X=$1" <<<"$location" && grep -qx "Y=$2" <<<"$location"
}

run_helpers_group() {
  local rc out probe="$BUILD/automation_probe.exe"
  start_teclix es_ES.UTF-8 # for the Spanish button captions
  local target_log="$WORK/target.log"
  run_windows "$probe" "Z:${target_log//\//\\}" target "probe target" 100 100
  local target_pid=$LAST_PID
  wait_until 30 log_holds "$target_log" ready || { problem "probe target not ready"; return; }

  begin_case "Clickear clicks at the point and puts the pointer back"
  rc=1
  out="$WORK/click.log"
  xdotool mousemove --sync 700 600
  if LC_ALL=$WINE_LOCALE wine "$probe" "Z:${out//\//\\}" click 150 160 >/dev/null 2>&1 &&
    wait_until 10 log_holds "$target_log" "left up 50 60"; then
    if ! log_holds "$target_log" "left down 50 60"; then
      problem "no press at (50, 60): $(tr '\n' ';' <"$target_log")"
    elif ! log_holds "$out" "pointer after 700 600"; then
      problem "the pointer was not put back: $(tr '\n' ';' <"$out")"
    elif ! wait_until 5 pointer_at 700 600; then
      problem "X says the pointer is at $(xdotool getmouselocation)"
    else
      rc=0
    fi
  else
    problem "no click reached the target: $(tr '\n' ';' <"$target_log")"
  fi
  record $rc

  begin_case "Enviar_Pulsacion delivers a right double click"
  out="$WORK/rdbl.log"
  if LC_ALL=$WINE_LOCALE wine "$probe" "Z:${out//\//\\}" rdbl "probe target" >/dev/null 2>&1 &&
    log_holds "$out" sent && wait_until 10 log_holds "$target_log" "right double click 0 0"; then
    record 0
  else
    problem "target log: $(tr '\n' ';' <"$target_log")"
    record 1
  fi
  stop_pid "$target_pid"

  begin_case "BoxQues returns 6 for Sí and 7 for No"
  rc=0
  local keys answer
  for pair in "Return:6" "Tab Return:7"; do
    keys=${pair%%:*}
    answer=${pair##*:}
    out="$WORK/box$answer.log"
    run_windows "$probe" "Z:${out//\//\\}" box
    if answer_box "Pregunta de Teclix" "$keys"; then
      [ "$answer" = 6 ] && import -window "$(window_named "Pregunta de Teclix")" \
        "$ARTIFACTS/teclix-win32-question-box.png" 2>/dev/null
      # Keys that came before the box was ready are lost: press them again once.
      if ! wait_until 5 log_holds "$out" "answer $answer" &&
        ! { answer_box "Pregunta de Teclix" "$keys" && wait_until 10 log_holds "$out" "answer $answer"; }; then
        problem "after $keys: $(cat "$out" 2>/dev/null)"
        rc=1
      fi
    else
      problem "no question box"
      rc=1
    fi
  done
  record $rc

  begin_case "Enviar_Texto posts the characters to a window"
  out="$WORK/text.log"
  printf 'Año: ÑANDÚ, 5 €\r\nfin' >"$WORK/text.want"
  rc=1
  if new_target && LC_ALL=$WINE_LOCALE wine "$probe" "Z:${out//\//\\}" text "target $TARGET_N" \
    >/dev/null 2>&1 && expect_output "$TARGET_OUT" "$WORK/text.want"; then
    if log_holds "$out" "key 110"; then
      rc=0
    else
      problem "Key after the text: $(cat "$out")"
    fi
  fi
  close_target
  record $rc
}
