# shellcheck shell=bash
# Windows end-to-end group "notepad" (sourced by e2e_win32.sh): Wine's notepad
# as the target.


notepad_text() {
  xdotool key ctrl+a ctrl+c
  xclip -o -selection clipboard 2>/dev/null >"$WORK/notepad.got"
  cmp -s "$WORK/notepad.got" "$2"
}

run_notepad_group() {
  # Notepad's title depends on the locale.
  start_teclix en_US.UTF-8
  begin_case "notepad"
  printf 'Notepad recibe: ¿Año? ¡Ñu! 3 € @ #\r\nsegunda línea\n\ttercera' >"$WORK/clip"
  # Wine hands text to the X clipboard with LF line ends.
  printf 'Notepad recibe: ¿Año? ¡Ñu! 3 € @ #\nsegunda línea\n\ttercera' >"$WORK/want"
  run_windows notepad
  local rc=1 id
  if id=$(wait_window "Untitled - Notepad") && activate "$id" && set_clipboard "$WORK/clip"; then
    xdotool key F10
    # Notepad's text is read back by selecting and copying it, once the paste is over.
    if wait_until 30 notepad_text "$id" "$WORK/want"; then
      rc=0
    else
      problem "notepad holds: $(head -c 300 "$WORK/notepad.got")"
    fi
  else
    problem "notepad not ready; windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | sort -u | tr '\n' '|')"
  fi
  record $rc
}
