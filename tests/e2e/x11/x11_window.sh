#!/usr/bin/env bash
# The main window of build/linux/teclix: caption, size and place at two DPIs, hints,
# icon, look, the link's colours along a pointer path, its hand pointer and its click.
source "$(dirname "$0")/teclix.sh"

mkdir -p "$E2E_ARTIFACTS"
SHOT=$E2E_TMP/shot.png

# A stand-in browser, first on the PATH teclix starts with: it records its arguments.
OPENED=$E2E_TMP/opened
mkdir -p "$E2E_TMP/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$OPENED" >"$E2E_TMP/bin/xdg-open"
chmod +x "$E2E_TMP/bin/xdg-open"

start_xvfb

# xwininfo_value WINDOW LABEL: one value of xwininfo's report ("Width", ...).
xwininfo_value() {
  xwininfo -id "$1" | sed -n "s/^ *$2: *//p" | head -n1
}

# --- size and place at the screen's DPI ------------------------------------------
# Xft.dpi (none: not set)  width height  x y (centred on the 1280x800 screen)
while read -r dpi width height x y; do
  if [ "$dpi" = none ]; then
    xprop -root -remove RESOURCE_MANAGER 2>/dev/null
  else
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi: $dpi"
  fi
  start_teclix
  got="$(xwininfo_value "$TECLIX_WIN" Width)x$(xwininfo_value "$TECLIX_WIN" Height)"
  got="$got+$(xwininfo_value "$TECLIX_WIN" 'Absolute upper-left X')"
  got="$got+$(xwininfo_value "$TECLIX_WIN" 'Absolute upper-left Y')"
  if [ "$got" = "${width}x$height+$x+$y" ]; then
    pass "size/dpi_$dpi: $got"
  else
    fail "size/dpi_$dpi: ${width}x$height+$x+$y expected, got $got"
  fi
  hints=$(xprop -id "$TECLIX_WIN" WM_NORMAL_HINTS)
  if grep -q "minimum size: $width by $height" <<<"$hints" &&
    grep -q "maximum size: $width by $height" <<<"$hints"; then
    pass "size/dpi_$dpi/not_resizable"
  else
    fail "size/dpi_$dpi/not_resizable: $hints"
  fi
  [ "$dpi" = 144 ] && import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-x11-window-144dpi.png"
  close_teclix || fail "size/dpi_$dpi: teclix did not close"
done <<'SIZES'
144 648 251 316 274
none 432 167 424 316
SIZES

# --- drawn under every locale, and a Wayland session said --------------------------
# ink_in WINDOW COLOUR GEOMETRY: pixels of a colour (#RRGGBB) in part of a window.
ink_in() {
  import -window "$1" "$SHOT" 2>/dev/null && convert "$SHOT" -crop "$3" +repage txt:- | grep -ci "$2"
}
# locale  Xft.dpi  session  what the window must show: red link pixels, black pixels
# in the instruction's two lines, black pixels in a third line below them
xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi: 96.0"
while read -r locale session third; do
  name="look/$locale/$session"
  if [ "$session" = wayland ]; then
    WAYLAND_DISPLAY=wayland-0 start_teclix "$locale"
  else
    start_teclix "$locale"
  fi
  red=0 lines=0 below=0
  wait_until 10 eval '[ "$(ink_in "$TECLIX_WIN" "#FF0000" 432x167+0+0)" -gt 100 ]' &&
    red=$(ink_in "$TECLIX_WIN" '#FF0000' 432x167+0+0)
  lines=$(ink_in "$TECLIX_WIN" '#000000' 425x32+1+84)
  below=$(ink_in "$TECLIX_WIN" '#000000' 425x40+1+118)
  if [ "$third" = yes ]; then third_ok=$((below > 50)); else third_ok=$((below == 0)); fi
  if ((red > 100 && lines > 300 && third_ok)); then
    pass "$name"
  else
    fail "$name: $red red pixels, $lines black in the instruction, $below below it"
  fi
  if [ "$session" = wayland ] && ! grep -q 'sesión Wayland' "$TECLIX_ERR"; then
    fail "$name: nothing said on standard error"
  fi
  import -window "$TECLIX_WIN" "$E2E_ARTIFACTS/teclix-x11-window-$locale-$session.png"
  close_teclix || fail "$name: teclix did not close"
done <<'LOOKS'
es_ES.UTF-8 x11 no
en_US.UTF-8 x11 no
es_ES.UTF-8 wayland yes
LOOKS
xprop -root -remove RESOURCE_MANAGER 2>/dev/null

# --- the window at 96 DPI -----------------------------------------------------------
# The window must not open under the pointer, which would count as a move over it.
xdotool mousemove --sync 5 5
PATH="$E2E_TMP/bin:$PATH" start_teclix
W=$TECLIX_WIN
eval "$(xdotool getwindowgeometry --shell "$W")" # X Y WIDTH HEIGHT

# property  expected value, as xprop -notype prints it
while IFS='|' read -r property want; do
  got=$(xprop -notype -id "$W" "$property" | sed 's/^[^=]*= //')
  if [ "$got" = "$want" ]; then pass "property/$property"; else fail "property/$property: $got"; fi
done <<'PROPERTIES'
WM_NAME|"Teclix - teclix.example"
_NET_WM_NAME|"Teclix - teclix.example"
WM_CLASS|"teclix", "Teclix"
WM_PROTOCOLS|WM_PROTOCOLS: protocols  WM_DELETE_WINDOW
PROPERTIES
if [ "$(xdotool getwindowname "$W")" = "Teclix - teclix.example" ]; then
  pass "caption"
else
  fail "caption: $(xdotool getwindowname "$W")"
fi

# The icon: 64 x 64 ARGB values after its width and height, opaque in the middle.
icon=$(xprop -notype -id "$W" -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/^[^=]*= //' | tr -d ' ')
IFS=, read -r -a icon_values <<<"$icon"
middle=${icon_values[$((2 + 30 * 64 + 12))]:-0}
if [ "${#icon_values[@]}" -eq $((2 + 64 * 64)) ] && [ "${icon_values[0]}" = 64 ] &&
  [ "${icon_values[1]}" = 64 ] && ((middle >> 24 == 255)); then
  pass "icon"
else
  fail "icon: ${#icon_values[@]} values, starting ${icon_values[*]:0:3}"
fi

# pixels_of COLOUR [GEOMETRY]: how many pixels of that colour (#RRGGBB) the window
# shows, in the part of it given (default: where the link label is).
pixels_of() {
  import -window "$W" "$SHOT" 2>/dev/null || return 1
  convert "$SHOT" -crop "${2:-300x40+0+25}" +repage txt:- | grep -ci "$1"
}
link_is() {
  local red blue
  red=$(pixels_of '#FF0000') blue=$(pixels_of '#0000FF')
  case $1 in
    red) [ "$red" -gt 100 ] && [ "$blue" -eq 0 ] ;;
    blue) [ "$blue" -gt 100 ] && [ "$red" -eq 0 ] ;;
  esac
}

if wait_until 10 link_is red; then pass "look/link_red_at_first"; else fail "look/link_red_at_first"; fi
import -window "$W" "$E2E_ARTIFACTS/teclix-x11-window.png"
# The instruction in black inside its label (1, 84, 425 x 74), the paste button's
# caption in black inside the button (320, 4, 104 x 22), and nothing black elsewhere.
inside=$(pixels_of '#000000' 425x74+1+84)
button=$(pixels_of '#000000' 104x22+320+4)
outside=$(($(pixels_of '#000000' 432x167+0+0) - inside - button))
if [ "$inside" -gt 300 ] && [ "$button" -gt 20 ] && [ "$outside" -eq 0 ]; then
  pass "look/instruction_in_its_label_and_button_caption_in_the_button"
else
  fail "look/instruction_in_its_label: $inside black pixels inside, $button in the button, $outside elsewhere"
fi

# The link label fits its text: the hand pointer's window over it holds every red
# pixel and is no more than a few pixels larger.
red_box=$(convert "$SHOT" txt:- | awk -F'[,: ]+' '/#FF0000/ {
  if (n++ == 0 || $1 < x0) x0 = $1; if ($1 > x1) x1 = $1
  if (n == 1 || $2 < y0) y0 = $2; if ($2 > y1) y1 = $2 } END { print x0, y0, x1, y1 }')
read -r rx0 ry0 rx1 ry1 <<<"$red_box"
child=$(xwininfo -children -id "$W" | awk '/^ +0x[0-9a-f]+ .*: \(\) +[0-9]+x[0-9]+\+/ {print $1; exit}')
if [ -n "$child" ]; then
  cx=$(xwininfo_value "$child" 'Relative upper-left X') cy=$(xwininfo_value "$child" 'Relative upper-left Y')
  cw=$(xwininfo_value "$child" Width) ch=$(xwininfo_value "$child" Height)
  if [ "$cx" = 4 ] && [ "$cy" = 29 ] && ((rx0 >= cx && ry0 >= cy && rx1 < cx + cw && ry1 < cy + ch)) &&
    ((cw - (rx1 - rx0 + 1) <= 8 && ch - (ry1 - ry0 + 1) <= 16)); then
    pass "look/link_label_fits_its_text"
  else
    fail "look/link_label_fits_its_text: label ${cw}x$ch+$cx+$cy, red text in $red_box"
  fi
else
  fail "look/link_label_fits_its_text: no window over the link"
fi

# Along this path (client coordinates) the link shows these colours: it turns blue
# only after the pointer has crossed the background, goes back to red on the
# background, and the instruction label takes the moves over it for itself.
while read -r area dx dy colour; do
  xdotool mousemove --sync $((X + dx)) $((Y + dy))
  if wait_until 5 link_is "$colour"; then
    pass "hover/$area($dx,$dy)=$colour"
  else
    fail "hover/$area($dx,$dy): not $colour (red $(pixels_of '#FF0000'), blue $(pixels_of '#0000FF'))"
  fi
  [ "$area $colour" = "link blue" ] && import -window "$W" "$E2E_ARTIFACTS/teclix-x11-link-blue.png"
done <<'PATH_STEPS'
outside -40 -40 red
link 20 45 red
background 300 10 red
link 40 45 blue
link 60 50 blue
outside 500 -40 blue
background 300 163 red
link 30 40 blue
instruction 100 95 blue
background 420 70 red
PATH_STEPS

# A click on the link opens the maker's page, once; a press that ends off the link does not.
opened_lines() { [ -s "$OPENED" ] && [ "$(wc -l <"$OPENED")" -ge "$1" ]; }
xdotool mousemove --sync $((X + 40)) $((Y + 45)) click 1
if wait_until 10 opened_lines 1 && [ "$(cat "$OPENED")" = "https://www.teclix.example?Teclix" ]; then
  pass "click/opens_the_page"
else
  fail "click/opens_the_page: $(cat "$OPENED" 2>/dev/null)"
fi
xdotool mousemove --sync $((X + 40)) $((Y + 45)) mousedown 1 mousemove --sync $((X + 300)) $((Y + 10)) mouseup 1
xdotool mousemove --sync $((X + 300)) $((Y + 10)) mousedown 1 mousemove --sync $((X + 40)) $((Y + 45)) mouseup 1
# The window still answers (a repaint after a colour change), so both releases were handled.
xdotool mousemove --sync $((X + 300)) $((Y + 10))
wait_until 5 link_is red || fail "click: the window stopped answering"
if [ "$(wc -l <"$OPENED")" -eq 1 ]; then
  pass "click/press_or_release_off_the_link_opens_nothing"
else
  fail "click/press_or_release_off_the_link_opens_nothing: $(cat "$OPENED")"
fi
if grep -q . "$TECLIX_ERR"; then fail "stderr: $(cat "$TECLIX_ERR")"; else pass "no_errors"; fi
close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
finish
