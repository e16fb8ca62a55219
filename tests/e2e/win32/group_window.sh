# shellcheck shell=bash
# Windows end-to-end group "window" (sourced by e2e_win32.sh): the main window's
# caption, size and screenshots, the link's colours and address, the version record,
# DPI changes.


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
