#!/usr/bin/env bash
# End-to-end tests of Teclix.exe under Wine on a private Xvfb display: a real F10
# press (xdotool), a real X clipboard (xclip, which Wine shares with its programs)
# and real Windows targets (an edit-control window of ours, and Wine's notepad).
# Each case compares the exact text that arrived.
#
#   e2e_win32.sh SOURCE_DIR BUILD_DIR [edit|notepad|window|helpers|faults|console]
export TECLIX_BUILD_DIR=$2
# shellcheck source=../lib.sh
source "$(dirname "$0")/../lib.sh"
# shellcheck source=wine.sh
source "$(dirname "$0")/wine.sh"

SRC=$(cd "$1" && pwd)
BUILD=$(cd "$E2E_BUILD" && pwd)
GROUP=${3:-edit}
WORK=$E2E_TMP
ARTIFACTS=$E2E_ARTIFACTS
mkdir -p "$ARTIFACTS"

# A case is a few steps that end in one record: problem says what went wrong on
# the way, record counts the case as passed or failed.
CASE=
begin_case() {
  CASE=$1
  log "case: $1"
}
problem() { log "  FAIL: $*"; }
record() { if [ "$1" -eq 0 ]; then pass "$CASE"; else fail "$CASE"; fi; }

same_file() { cmp -s "$1" "$2"; }

# Waits for a target's output file to hold exactly the expected bytes.
expect_output() {
  local out=$1 expected=$2 limit=${3:-20}
  if wait_until "$limit" same_file "$out" "$expected"; then
    return 0
  fi
  problem "expected $(wc -c <"$expected") bytes, got $(wc -c <"$out" 2>/dev/null || echo no) bytes"
  cmp "$out" "$expected" 2>&1 | head -n1 | sed 's/^/  /' >&2
  cp "$out" "$ARTIFACTS/$(basename "$out").got" 2>/dev/null
  cp "$expected" "$ARTIFACTS/$(basename "$out").expected"
  return 1
}

TARGET_N=0
# Starts a fresh edit target; sets TARGET_ID and TARGET_OUT.
new_target() {
  TARGET_N=$((TARGET_N + 1))
  TARGET_OUT="$WORK/target$TARGET_N.txt"
  local title="target $TARGET_N"
  run_windows "$BUILD/${TARGET_EXE:-edit_target}.exe" "Z:${TARGET_OUT//\//\\}" --title "$title" --at 600 60 "$@"
  TARGET_PID=$LAST_PID
  TARGET_ID=$(wait_window "$title") || { problem "target window did not appear"; return 1; }
  wait_until 20 test -e "$TARGET_OUT" || { problem "target wrote no file"; return 1; }
  activate "$TARGET_ID" || { problem "target could not be focused"; return 1; }
  # Wine makes it the active window a moment after the click; F10 before that
  # would find the focus elsewhere.
  wait_until 10 test -e "$TARGET_OUT.active" || { problem "target was not activated"; return 1; }
}

close_target() { stop_pid "$TARGET_PID"; }

TECLIX_PID=""
start_teclix() {
  local locale=$1
  [ -z "$TECLIX_PID" ] || stop_pid "$TECLIX_PID"
  WINE_LOCALE=$locale
  run_windows "$BUILD/Teclix.exe"
  TECLIX_PID=$LAST_PID
  TECLIX_ID=$(wait_window "Teclix - teclix.example") || die "Teclix window did not appear"
}

# A press that must type nothing: afterwards a second press with "fin" on the
# clipboard must leave exactly "fin" in the target.
expect_nothing_then_sentinel() {
  xdotool key F10
  sentinel_arrives_alone
}

# A press with "fin" on the clipboard leaves exactly "fin": nothing came before it.
# A press that comes while the program still handles the one before is dropped, as
# any second F10 during a paste is, so F10 is pressed again while nothing arrives.
sentinel_arrives_alone() {
  local try
  printf 'fin' >"$WORK/fin"
  set_clipboard "$WORK/fin" || return 1
  for try in 1 2 3; do
    xdotool key F10
    wait_until 5 test -s "$TARGET_OUT" && break
  done
  expect_output "$TARGET_OUT" "$WORK/fin"
}

# no_text_case NAME FILE [TARGET]: with FILE on the clipboard (as TARGET), F10 types nothing.
no_text_case() {
  local rc=1
  begin_case "$1"
  if new_target && set_clipboard "$2" "${3:-UTF8_STRING}"; then
    expect_nothing_then_sentinel && rc=0
  fi
  close_target
  record $rc
}

# --- The cases ---------------------------------------------------------------------

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

# How many pixels of a colour (#RRGGBB) a window's link label shows.
link_pixels() {
  local id=$1 colour=$2
  import -window "$id" "$WORK/shot.png" 2>/dev/null
  convert "$WORK/shot.png" -crop 300x40+0+25 +repage txt:- | grep -ci "$colour"
}

link_is() {
  local id=$1 want=$2 red blue
  red=$(link_pixels "$id" '#FF0000')
  blue=$(link_pixels "$id" '#0000FF')
  case $want in
    red) [ "$red" -gt 50 ] && [ "$blue" -eq 0 ] ;;
    blue) [ "$blue" -gt 50 ] && [ "$red" -eq 0 ] ;;
  esac
}

opened_holds() { [ -s "$WORK/opened" ] && grep -qxF "$1" "$WORK/opened"; }

# The window as it first shows in Teclix's locale: caption, client size, the link in
# red and the instruction drawn in black; the screenshot is kept. Sets id, X, Y.
window_shot_case() {
  local locale=$1 shot=$2 rc=1 caption="Teclix - teclix.example" black
  begin_case "caption, size and screenshot ($locale)"
  if id=$(wait_window "$caption"); then
    # Shown and painted: the link in its first colour, red.
    wait_until 20 link_is "$id" red || problem "the link is not red at first"
    eval "$(xdotool getwindowgeometry --shell "$id")"
    import -window "$id" "$shot"
    black=$(convert "$shot" -crop 425x74+1+84 +repage txt:- | grep -ci '#000000')
    if [ "$WIDTH" != 432 ] || [ "$HEIGHT" != 167 ]; then
      problem "client area ${WIDTH}x$HEIGHT, not 432x167"
    elif [ "$black" -lt 300 ]; then
      problem "the instruction shows $black black pixels"
    else
      rc=0
    fi
  else
    problem "no window titled '$caption'"
  fi
  record $rc
}

run_window_group() {
  local caption="Teclix - teclix.example" rc id X Y WIDTH HEIGHT SCREEN WINDOW
  # A stand-in browser: Wine hands web addresses to xdg-open.
  mkdir -p "$WORK/bin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$WORK/opened" >"$WORK/bin/xdg-open"
  chmod +x "$WORK/bin/xdg-open"
  export PATH="$WORK/bin:$PATH"
  # The window must not open under the pointer, which would count as a move over it.
  # Wine knows where the pointer is only from events on its own windows, so the
  # pointer is put on another Wine window, away from where Teclix will open.
  new_target || return
  close_target
  start_teclix en_US.UTF-8

  id=""
  window_shot_case en_US.UTF-8 "$ARTIFACTS/teclix-win32-window.png"
  [ -n "${id:-}" ] || return

  begin_case "link colours along a pointer path"
  # path: where the pointer goes (client coordinates) and the colour the link must then show
  rc=0
  local step
  for step in "outside -40 -40 red" "link 20 45 red" "background 300 10 red" "link 40 45 blue" \
    "link 60 50 blue" "outside 500 -40 blue" "background 300 163 red" "link 30 40 blue" \
    "instruction 100 95 blue" "background 420 70 red"; do
    set -- $step
    xdotool mousemove --sync $((X + $2)) $((Y + $3))
    if ! wait_until 5 link_is "$id" "$4"; then
      problem "after moving over the $1 at ($2, $3) the link is not $4 (red $(link_pixels "$id" "#FF0000"), blue $(link_pixels "$id" "#0000FF"))"
      rc=1
    fi
  done
  import -window "$id" "$ARTIFACTS/teclix-win32-link-red.png"
  record $rc

  begin_case "a click on the link opens the maker's page"
  xdotool mousemove --sync $((X + 40)) $((Y + 45)) click 1
  # Wine's bridge to the browser writes the address with its root path.
  if wait_until 20 opened_holds "https://www.teclix.example/?Teclix"; then
    record 0
  else
    problem "opened: $(cat "$WORK/opened" 2>/dev/null)"
    record 1
  fi

  begin_case "version record and icon"
  wine "$BUILD/version_probe.exe" "$BUILD/Teclix.exe" 2>/dev/null | tr -d '\r' >"$WORK/version"
  cat >"$WORK/version.want" <<VERSION
FileVersionNumber=1.0.0.0
Translation=0C0A 1200
FileVersion=1.00
ProductVersion=1.00
ProductName=$caption
InternalName=Teclix
OriginalFilename=Teclix.exe
IconGroupBytes=20
Manifest=yes
VERSION
  if cmp -s "$WORK/version" "$WORK/version.want"; then
    record 0
  else
    problem "version record: $(tr '\n' ';' <"$WORK/version")"
    record 1
  fi

  begin_case "F10 already held: the second window says so and closes cleanly"
  xdotool mousemove --sync 5 5
  run_windows "$BUILD/Teclix.exe"
  local second_pid=$LAST_PID second_id first_id=$id
  rc=1
  # Both windows have the same title: the second is the one that is not the first.
  second_window() { xdotool search --name "^$caption\$" 2>/dev/null | grep -vx "$first_id" | head -n1; }
  has_second_window() { [ -n "$(second_window)" ]; }
  if wait_until 30 has_second_window; then
    second_id=$(second_window)
    xdotool windowmove --sync "$second_id" 40 500
    import -window "$second_id" "$ARTIFACTS/teclix-win32-f10-in-use.png"
    import -window "$first_id" "$WORK/first.png"
    convert "$WORK/first.png" -crop 425x74+1+84 +repage "$WORK/first-text.png"
    convert "$ARTIFACTS/teclix-win32-f10-in-use.png" -crop 425x74+1+84 +repage "$WORK/second-text.png"
    if cmp -s "$WORK/first-text.png" "$WORK/second-text.png"; then
      problem "the second window shows the same instruction as the first"
    else
      eval "$(xdotool getwindowgeometry --shell "$second_id")"
      xdotool mousemove --sync $((X + 300)) $((Y + 10)) click 1 key alt+F4
      if wait_until 20 eval "! kill -0 $second_pid 2>/dev/null"; then
        rc=0
      else
        problem "the second window did not close"
      fi
    fi
  else
    problem "no second window"
  fi
  record $rc

  begin_case "the first window still pastes"
  printf 'sigue' >"$WORK/still"
  if new_target && set_clipboard "$WORK/still" && xdotool key F10 && expect_output "$TARGET_OUT" "$WORK/still"; then
    record 0
  else
    record 1
  fi
  close_target

  # A locale that writes numbers with a decimal comma.
  start_teclix es_ES.UTF-8
  window_shot_case es_ES.UTF-8 "$ARTIFACTS/teclix-win32-window-es_ES.png"

  begin_case "a change of DPI resizes the window and scales its fonts and labels"
  local dpi_log="$WORK/dpi.log" before after
  LC_ALL=$WINE_LOCALE wine "$BUILD/automation_probe.exe" "Z:${dpi_log//\//\\}" dpi >/dev/null 2>&1
  # "client WxH red COUNT rows FIRST-LAST" at 96 and then at 144 DPI
  read -r _ _ _ _ _ before _ <<<"$(grep '^96 dpi' "$dpi_log" 2>/dev/null)"
  read -r _ _ _ size _ after _ rows <<<"$(grep '^144 dpi' "$dpi_log" 2>/dev/null)"
  if ! grep -qx '96 dpi client 432x167 .*' "$dpi_log" 2>/dev/null || [ "${size:-}" != 648x251 ]; then
    problem "window sizes: $(tr '\n' ';' <"$dpi_log" 2>/dev/null)"
    record 1
  elif ((before < 300 || after * 10 < before * 18 || ${rows%-*} < 40)); then
    # 1.5 times the font: about 2.25 times the red pixels, its top row from 29 to 43 or lower.
    problem "the link was not drawn larger and lower: $(tr '\n' ';' <"$dpi_log")"
    record 1
  else
    record 0
  fi
}

log_holds() { [ -f "$1" ] && grep -qxF "$2" "$1"; }

# Answers a question box with keys, the pointer over it (the X focus follows the pointer).
answer_box() {
  local title=$1 keys=$2 id X Y WIDTH HEIGHT SCREEN WINDOW
  id=$(wait_window "$title") || return 1
  eval "$(xdotool getwindowgeometry --shell "$id")"
  xdotool mousemove --sync $((X + 8)) $((Y + 8))
  sleep 0.2 # the box takes the keyboard once it is active; nothing to poll for
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
      # The press is over once Teclix has given up on the clipboard (about 100 ms).
      sleep 1
      # The backend's wait, timed on its own: about 100 ms, then no text.
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
  size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
  grown_to() { (($(size_of "$1") >= $2)); }
  # True once a file has not changed for a second.
  settled() {
    local before
    before=$(size_of "$1")
    sleep 1
    (($(size_of "$1") == before))
  }
  # The other window lies beside the first, where a click reaches it.
  if new_target --at 40 420; then
    local other_out=$TARGET_OUT other_pid=$TARGET_PID other_id=$TARGET_ID
    if new_target --chars && set_clipboard "$WORK/big"; then
      xdotool key F10
      if wait_until 30 grown_to "$TARGET_OUT" 2000; then
        activate "$other_id"
        wait_until 60 settled "$TARGET_OUT"
        wait_until 20 settled "$other_out"
        local typed stray
        typed=$(size_of "$TARGET_OUT")
        # Characters: the edit control stores Enter as CR LF.
        stray=$(tr -d '\r' <"$other_out" | wc -c)
        echo "  $typed bytes before the move, $stray characters after it"
        if ((typed >= $(size_of "$WORK/big"))); then
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
        problem "the paste did not start: $(size_of "$TARGET_OUT") and $(size_of "$other_out") bytes"
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

# Reads a key log of edit_target --scan (TIME down|up SCAN EXTENDED VK, or TIME
# unicode CODE); prints the events' count and spacing, and fails unless they are as
# a console's must be: $2 = console (no Unicode events, no Control or left Alt, at
# least 10 ms apart with a median of 11 ms or more, right Alt if $3 = altgr) or
# direct (Unicode events, at full speed); every key up at the end either way.
keys_as_typed() {
  python3 - "$@" <<'PY'
import statistics, sys
lines = [l.split() for l in open(sys.argv[1]) if l.strip()]
mode, altgr = sys.argv[2], len(sys.argv) > 3
times = [int(l[0]) for l in lines]
gaps = [b - a for a, b in zip(times, times[1:])] or [0]
unicode = sum(l[1] == "unicode" for l in lines)
down = set()
for l in lines:
    if l[1] != "unicode":
        (down.discard if l[1] == "up" else down.add)((l[2], l[3]))
keys = {(l[2], l[3]) for l in lines if l[1] != "unicode"}
median = statistics.median(gaps)
print(f"  {len(lines)} events ({unicode} Unicode), spacing median {median} ms, min {min(gaps)} ms")
problems = []
if down:
    problems.append(f"keys left down: {sorted(down)}")
if mode == "console":
    if unicode:
        problems.append("Unicode events reached the console")
    if {("1d", "0"), ("1d", "1"), ("38", "0")} & keys:
        problems.append("Control or left Alt pressed")
    if altgr and ("38", "1") not in keys:
        problems.append("no right Alt")
    if min(gaps) < 10 or median < 11:
        problems.append("events closer than a console takes them")
elif not unicode or median > 2:
    problems.append("not typed directly at full speed")
for p in problems:
    print("  " + p)
sys.exit(1 if problems else 0)
PY
}


# What the instruction's place in Teclix's window shows, as a checksum.
instruction_look() {
  import -window "$TECLIX_ID" "$WORK/look.png" 2>/dev/null &&
    convert "$WORK/look.png" -crop 425x74+1+84 +repage -threshold 50% txt:- | md5sum
}

# Clicks Teclix's paste button, in the top right corner of its window (with no
# window manager the X window is the client area), raised above the targets first.
click_paste_button() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  xdotool windowraise "$TECLIX_ID"
  eval "$(xdotool getwindowgeometry --shell "$TECLIX_ID")"
  xdotool mousemove --sync $((X + WIDTH - 60)) $((Y + 15)) click 1
}

run_console_group() {
  # Wine reads the X layout when each program starts.
  setxkbmap -layout es && setxkbmap -query | grep -qE '^layout: +es$' || { problem "no Spanish X layout"; record 1; return; }
  start_teclix es_ES.UTF-8
  CURRENT_LOCALE=es_ES.UTF-8
  local SEP=$'\x1f' name clip want check rc started accents idle
  accents='Él comió pingüinos: qué día, ÁLVARO. Crème brûlée à la mode; ^ y ` y ´ y ¨.'
  # name, clipboard, what the Spanish guest reads, and the right Alt check (printf formats)
  while IFS=$SEP read -r name clip want check; do
    begin_case "console, $name"
    printf -- "$clip" >"$WORK/clip"
    printf -- "$want" >"$WORK/want"
    rc=1
    if TARGET_EXE=vmconnect new_target --scan es && set_clipboard "$WORK/clip"; then
      idle=$(instruction_look)
      started=$(date +%s.%N)
      xdotool key F10
      # A paste of seconds shows its progress where the instruction is.
      if [ "$name" = "accents through dead keys" ] &&
        ! wait_until 10 eval '[ "$(instruction_look)" != "$idle" ]'; then
        problem "no progress shown"
      elif [ "$name" = "accents through dead keys" ] &&
        ! cp "$WORK/look.png" "$ARTIFACTS/teclix-win32-console-progress.png"; then
        problem "no picture of the progress"
      elif expect_output "$TARGET_OUT" "$WORK/want" 60; then
        echo "  $(wc -m <"$WORK/want") characters in $(echo "$(date +%s.%N) - $started" | bc) s"
        wait_until 10 keys_as_typed "$TARGET_OUT.keys" console $check >/dev/null
        keys_as_typed "$TARGET_OUT.keys" console $check && rc=0
      fi
      cp "$TARGET_OUT.keys" "$ARTIFACTS/console-$TARGET_N.keys" 2>/dev/null
    fi
    close_target
    record $rc
  done <<CASES
accents through dead keys${SEP}$accents${SEP}$accents${SEP}
AltGr as the right Alt key${SEP}correo@teclix.example #12 | ~4 ok${SEP}correo@teclix.example #12 | ~4 ok${SEP}altgr
characters no key types are left out${SEP}a Привет b 😀 c\\tfin\\r\\n${SEP}a  b  c\\tfin\\r\\n${SEP}
a number: the keypad decimal key's character, with the main block's key${SEP}-1.234,5${SEP}-1234.50${SEP}
CASES

  # A virtual machine's window whose low-level hook takes F10 for the guest: F10
  # types nothing and the window says so; the countdown, started with a click on
  # Teclix's button, types into it once it is clicked into.
  begin_case "console with a keyboard hook: F10 taken is said, the countdown types"
  printf -- 'uno\tdos (tres) correo@teclix.example #5 | ~6 ok\r\n' >"$WORK/clip"
  rc=1
  if TARGET_EXE=vmconnect new_target --scan es --swallow-f10 && set_clipboard "$WORK/clip"; then
    idle=$(instruction_look)
    xdotool key F10
    if ! wait_until 10 grep -qx 2 "$TARGET_OUT.swallowed"; then
      problem "the hook did not take F10: $(cat "$TARGET_OUT.swallowed")"
    elif ! wait_until 10 eval '[ "$(instruction_look)" != "$idle" ]'; then
      problem "the window did not say that F10 went elsewhere"
    elif [ -s "$TARGET_OUT" ]; then
      problem "F10 typed into the hooked window: $(cat "$TARGET_OUT")"
    else
      cp "$WORK/look.png" "$ARTIFACTS/teclix-win32-f10-taken.png"
      click_paste_button
      activate "$TARGET_ID"
      expect_output "$TARGET_OUT" "$WORK/clip" 30 && rc=0
    fi
  fi
  close_target
  record $rc

  begin_case "the same text into an edit control, directly"
  printf -- "$accents" >"$WORK/accents"
  rc=1
  if new_target && set_clipboard "$WORK/accents"; then
    started=$(date +%s.%N)
    xdotool key F10
    expect_output "$TARGET_OUT" "$WORK/accents" && rc=0
    echo "  arrived in $(echo "$(date +%s.%N) - $started" | bc) s"
  fi
  close_target
  record $rc

  begin_case "the same text's key events, directly: Unicode for accents, at full speed"
  rc=1
  if new_target --scan es && set_clipboard "$WORK/accents"; then
    xdotool key F10
    # Settled: the log holds the last Unicode event, the final full stop's release after it.
    if wait_until 20 grep -q "up 34 0 be" "$TARGET_OUT.keys"; then
      wait_until 5 keys_as_typed "$TARGET_OUT.keys" direct >/dev/null
      keys_as_typed "$TARGET_OUT.keys" direct && rc=0
    else
      problem "no key events arrived"
    fi
  fi
  close_target
  record $rc
}

start_xvfb
start_wine
case "$GROUP" in
  console) run_console_group ;;
  faults) run_faults_group ;;
  helpers) run_helpers_group ;;
  edit) run_edit_group ;;
  notepad) run_notepad_group ;;
  window) run_window_group ;;
  *) die "unknown group $GROUP" ;;
esac
finish
