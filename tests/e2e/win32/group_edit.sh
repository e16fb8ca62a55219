# shellcheck shell=bash
# Windows end-to-end group "edit" (sourced by e2e_win32.sh): texts and numbers
# into the edit-control target under both locales, Caps Lock, 40,000 characters,
# clipboards with no text, nothing focused.


run_text_case() {
  local name=$1 locale=$2 clip=$3 want=$4
  begin_case "$name ($locale)"
  printf -- "$clip" >"$WORK/clip"
  printf -- "$want" >"$WORK/want"
  [ "$CURRENT_LOCALE" = "$locale" ] || { start_teclix "$locale"; CURRENT_LOCALE=$locale; }
  new_target || return 1
  set_clipboard "$WORK/clip" || { problem "clipboard not set"; return 1; }
  # "Caps Lock on" cases: the target sees the one press that turns it on, and no
  # Caps Lock key from Teclix; the press that turns it off again is seen too.
  local caps=""
  case $name in "Caps Lock on"*) caps="$TARGET_OUT.caps" ;; esac
  if [ -n "$caps" ]; then
    xdotool key Caps_Lock
    wait_until 10 grep -qx 1 "$caps" || { problem "the target saw no Caps Lock press"; close_target; return 1; }
  fi
  xdotool key F10
  expect_output "$TARGET_OUT" "$WORK/want"
  local rc=$?
  if [ -n "$caps" ]; then
    grep -qx 1 "$caps" || { problem "the target received Caps Lock presses: $(cat "$caps")"; rc=1; }
    xdotool key Caps_Lock
    wait_until 10 grep -qx 2 "$caps" || { problem "Caps Lock was not turned off: $(cat "$caps")"; rc=1; }
  fi
  close_target
  return $rc
}

run_edit_group() {
  CURRENT_LOCALE=""
  # name, locale, clipboard and what the edit control must hold (printf formats)
  local punctuation='The Quick Brown Fox jumps: 1234567890 !"#$%%&\x27()*+,-./:;<=>?@[\\]^_`{|}~'
  local spanish='¿Qué tal, Ñandú? ¡Sí! La cigüeña cuesta 12,50 € y el año, 2024.'
  local scripts='Привет κόσμε 世界 😀'
  local SEP=$'\x1f'
  while IFS=$SEP read -r name locale clip want; do
    run_text_case "$name" "$locale" "$clip" "$want"
    record $?
  done <<CASES
mixed case and punctuation${SEP}en_US.UTF-8${SEP}$punctuation${SEP}$punctuation
Spanish text${SEP}es_ES.UTF-8${SEP}$spanish${SEP}$spanish
line breaks and tabs${SEP}en_US.UTF-8${SEP}uno\\r\\ndos\\ntres\\tcuatro\\r\\n\\tcinco${SEP}uno\\r\\ndos\\r\\ntres\\tcuatro\\r\\n\\tcinco
other scripts${SEP}en_US.UTF-8${SEP}$scripts${SEP}$scripts
number, comma locale${SEP}es_ES.UTF-8${SEP}1.234,5\\r\\n${SEP}1234.50
negative number, comma locale${SEP}es_ES.UTF-8${SEP}-3,456${SEP}-3.46
number, dot locale${SEP}en_US.UTF-8${SEP}1,234.5${SEP}1234.50
comma text in a dot locale${SEP}en_US.UTF-8${SEP}1234,5${SEP}1234,5
Caps Lock on, mixed case and punctuation${SEP}en_US.UTF-8${SEP}$punctuation${SEP}$punctuation
Caps Lock on, Spanish text${SEP}es_ES.UTF-8${SEP}$spanish${SEP}$spanish
CASES

  start_teclix en_US.UTF-8
  CURRENT_LOCALE=en_US.UTF-8

  begin_case "40,000 characters"
  python3 - "$WORK/long" "$WORK/long.want" "${TECLIX_E2E_LONG:-40000}" <<'PY'
import random, sys
rng = random.Random(2024)
alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,;:-_!?'\"()ñÑáé€"
chars = []
while len(chars) < int(sys.argv[3]):
    chars.append("\r\n" if rng.random() < 0.02 else rng.choice(alphabet))
text = "".join(chars)[:int(sys.argv[3])]
open(sys.argv[1], "w", encoding="utf-8", newline="").write(text)
open(sys.argv[2], "w", encoding="utf-8", newline="").write(text)
PY
  local started rc
  if new_target --chars && set_clipboard "$WORK/long"; then
    started=$(date +%s.%N)
    xdotool key F10
    expect_output "$TARGET_OUT" "$WORK/long.want" 180
    rc=$?
    log "  arrived in $(echo "$(date +%s.%N) - $started" | bc) s"
  else
    rc=1
  fi
  close_target
  record $rc

  : >"$WORK/empty"
  no_text_case "empty clipboard" "$WORK/empty"
  convert -size 16x16 xc:red "png:$WORK/image.png"
  no_text_case "image on the clipboard" "$WORK/image.png" image/png

  begin_case "nothing focused"
  local quiet_out="$WORK/quiet.txt"
  run_windows "$BUILD/edit_target.exe" "Z:${quiet_out//\//\\}" --no-focus --title quiet --at 40 400
  local quiet_pid=$LAST_PID quiet_id
  rc=1
  if quiet_id=$(wait_window quiet) && wait_until 20 test -e "$quiet_out" && activate "$quiet_id"; then
    printf 'texto' >"$WORK/texto"
    set_clipboard "$WORK/texto"
    xdotool key F10
    # The same press into a focused edit control proves the first was handled.
    printf 'fin' >"$WORK/fin"
    if new_target && set_clipboard "$WORK/fin" && xdotool key F10 &&
      expect_output "$TARGET_OUT" "$WORK/fin"; then
      if [ -s "$quiet_out" ]; then
        problem "the window with no focused control received: $(head -c 200 "$quiet_out")"
      else
        rc=0
      fi
    fi
    close_target
  else
    problem "no-focus window not ready"
  fi
  stop_pid "$quiet_pid"
  record $rc
}
