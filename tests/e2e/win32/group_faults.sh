# shellcheck shell=bash
# Windows end-to-end group "faults" (sourced by e2e_win32.sh): a busy clipboard,
# the focus moving and the target closing mid-paste, F10 held elsewhere.


run_faults_group() {
  local rc
  start_teclix en_US.UTF-8

  begin_case "a clipboard another program keeps open types nothing, and Teclix goes on"
  rc=1
  printf 'no debe llegar' >"$WORK/held"
  local hold_log="$WORK/hold.log"
  if new_target && set_clipboard "$WORK/held"; then
    run_windows "$BUILD/automation_probe.exe" "Z:${hold_log//\//\\}" hold-clipboard
    local holder=$LAST_PID
    if wait_until 20 log_holds "$hold_log" holding; then
      activate "$TARGET_ID"
      xdotool key F10
      # The backend's wait, timed on its own: about 100 ms, then no text. The probe
      # starts after the press and waits as long on the same busy clipboard, so by
      # the time it ends Teclix has given up on that press.
      local wait_log="$WORK/wait.log" waited
      LC_ALL=$WINE_LOCALE wine "$BUILD/automation_probe.exe" "Z:${wait_log//\//\\}" clipboard-wait >/dev/null 2>&1
      waited=$(sed -n 's/^waited //p' "$wait_log" 2>/dev/null | tr -d '\r')
      stop_pid "$holder"
      if ! log_holds "$wait_log" "no text" || [ -z "$waited" ] || ((waited < 90 || waited > 400)); then
        problem "the busy clipboard was waited for ${waited:-?} ms: $(tr '\n' ';' <"$wait_log" 2>/dev/null)"
      else
        echo "  busy clipboard given up after $waited ms"
        sentinel_arrives_alone && rc=0
      fi
    else
      problem "the clipboard holder did not start"
      stop_pid "$holder"
    fi
  fi
  close_target
  record $rc

  begin_case "text with a NUL is typed up to it"
  rc=1
  printf 'antes\0después' >"$WORK/nul"
  printf 'antes' >"$WORK/nul.want"
  if new_target && set_clipboard "$WORK/nul" && xdotool key F10 &&
    expect_output "$TARGET_OUT" "$WORK/nul.want"; then
    rc=0
  fi
  close_target
  record $rc

  begin_case "unpaired surrogates are typed as U+FFFD, the rest as it is"
  rc=1
  local units_log="$WORK/units.log"
  # a, lone high surrogate, b, lone low surrogate, c, then a well-formed pair (U+1F600)
  printf 'a\xef\xbf\xbdb\xef\xbf\xbdc\xf0\x9f\x98\x80' >"$WORK/units.want"
  if new_target; then
    run_windows "$BUILD/automation_probe.exe" "Z:${units_log//\//\\}" set-units \
      61 d800 62 dc00 63 d83d de00
    local owner=$LAST_PID
    if wait_until 20 log_holds "$units_log" set; then
      activate "$TARGET_ID"
      xdotool key F10
      expect_output "$TARGET_OUT" "$WORK/units.want" && rc=0
    else
      problem "the clipboard owner did not start"
    fi
    stop_pid "$owner"
  fi
  close_target
  record $rc

  begin_case "100,000 characters"
  python3 -c 'import sys; sys.stdout.write(("Cien mil caracteres, sin perder ninguno: 0123456789.\r\n" * 2000)[:100000])' >"$WORK/big"
  rc=1
  if new_target --chars && set_clipboard "$WORK/big"; then
    local started
    started=$(date +%s.%N)
    xdotool key F10
    expect_output "$TARGET_OUT" "$WORK/big" 240 && rc=0
    log "  arrived in $(echo "$(date +%s.%N) - $started" | bc) s"
  fi
  close_target
  record $rc

  begin_case "the focus moves in the middle of a long paste: at most a few characters follow it"
  rc=1
  # The other window lies beside the first, where a click reaches it.
  if new_target --at 40 420; then
    local other_out=$TARGET_OUT other_pid=$TARGET_PID other_id=$TARGET_ID
    if new_target --chars && set_clipboard "$WORK/big"; then
      xdotool key F10
      if wait_until 30 size_at_least "$TARGET_OUT" 2000; then
        activate "$other_id"
        wait_output "$TARGET_OUT" 0 60 1
        wait_output "$other_out" 0 20 1
        local typed stray
        typed=$(file_size "$TARGET_OUT")
        # Characters: the edit control stores Enter as CR LF.
        stray=$(tr -d '\r' <"$other_out" | wc -c)
        echo "  $typed bytes before the move, $stray characters after it"
        if ((typed >= $(file_size "$WORK/big"))); then
          problem "the whole text arrived in the first window"
        elif ! cmp -s "$TARGET_OUT" <(head -c "$typed" "$WORK/big"); then
          problem "the first window does not hold the start of the text"
        elif ((stray > 8)); then
          # One batch of key events, sent as the focus moved, is at most 8 characters.
          problem "$stray characters arrived after the focus moved: $(head -c 100 "$other_out")"
        else
          rc=0
        fi
      else
        problem "the paste did not start: $(file_size "$TARGET_OUT") and $(file_size "$other_out") bytes"
      fi
      close_target
    fi
    stop_pid "$other_pid"
  fi
  record $rc

  begin_case "the target closes in the middle of a long paste"
  rc=1
  if new_target --chars && set_clipboard "$WORK/big"; then
    xdotool key F10
    wait_until 30 test -s "$TARGET_OUT"
    close_target
    printf 'sigue vivo' >"$WORK/alive"
    if new_target && set_clipboard "$WORK/alive"; then
      # The rest of the first paste may still be on its way: the next paste must
      # arrive whole after it.
      xdotool key F10
      if wait_until 240 grep -q 'sigue vivo' "$TARGET_OUT" && kill -0 "$TECLIX_PID"; then
        rc=0
      else
        problem "Teclix did not paste again after the target closed"
      fi
      close_target
    fi
  fi
  record $rc
}
