#!/usr/bin/env bash
# Measures how many characters reach a QEMU virtual-machine console typed at
# various speeds (not part of the test suite). Each CASE types the same
# fixed-seed text of COUNT printable ASCII characters RUNS times into
# vncviewer, and prints one line per run: characters arrived, exact or not,
# characters per second from the first key to the last byte read, the
# modifier keys left held down on the local display, and whether the guest
# still sees Shift down afterwards (a plain "a" typed after the run arrives
# as "A").
#
#   bash tests/e2e/console/measure.sh [CASE...]
#     CASE: teclix                    teclix, the text on the clipboard and F10
#           teclix-window             teclix into QEMU's own window, which holds
#                                     the keyboard: F10 in Teclix's window starts
#                                     the countdown, then a click into QEMU's
#                                     (the rate counts from the countdown's end)
#           xdotool:DELAY_MS          xdotool type --delay DELAY_MS
#           probe:EVENT_MS:SETTLE_MS  pace_probe (main-block keys, Shift held
#                                     across runs, EVENT_MS after every key
#                                     event, SETTLE_MS more around Shift)
#   COUNT (2000), RUNS (3), SEED (7) and KEY_DELAY_MS (QEMU's key-delay-ms,
#   unset: QEMU's default) come from the environment.
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
export TECLIX_BUILD_DIR=${TECLIX_BUILD_DIR:-$ROOT/build/linux}
source "$ROOT/tests/e2e/x11/teclix.sh"
source "$ROOT/tests/e2e/console/console.sh"

COUNT=${COUNT:-2000}
RUNS=${RUNS:-3}
SEED=${SEED:-7}
CASES=("$@")
[ ${#CASES[@]} -gt 0 ] || CASES=(xdotool:0 xdotool:12 xdotool:40 probe:10:0 probe:12:0)

PROBE=$CONSOLE_GUEST/pace_probe
if [ ! -x "$PROBE" ] || [ "$CONSOLE_DIR/pace_probe.cpp" -nt "$PROBE" ]; then
  mkdir -p "$CONSOLE_GUEST"
  g++ -std=c++20 -O2 -Wall -Wextra -o "$PROBE" "$CONSOLE_DIR/pace_probe.cpp" -lX11 -lXtst ||
    die "could not build pace_probe"
fi
TEXT=$E2E_TMP/text
"$PROBE" text "$COUNT" "$SEED" >"$TEXT"
[ "$(file_size "$TEXT")" -eq "$COUNT" ] || die "the text is not $COUNT characters long"

console_build_guest
start_xvfb
set_layout us
[[ " ${CASES[*]} " != *" teclix-window "* ]] || CONSOLE_QEMU_EXTRA+=(-display gtk)
console_start_qemu us "${KEY_DELAY_MS:+,key-delay-ms=$KEY_DELAY_MS}"
if [[ " ${CASES[*]} " == *" teclix-window "* ]]; then
  wait_until 20 console_qemu_window || die "no QEMU window"
  # Below the viewer and left of Teclix's window, where a click reaches it.
  xdotool windowmove "$CONSOLE_WINDOW" 0 380
fi
console_start_viewer
if [[ " ${CASES[*]} " == *" teclix"* ]]; then
  start_teclix
  set_clipboard "$TEXT"
fi

# Releases what a run left held and taps both Shift keys, so that the guest's
# own Shift state is up again even if QEMU dropped a release.
reset_modifiers() {
  xdotool keyup Shift_L Shift_R Control_L Control_R Alt_L 2>/dev/null
  xdotool key --delay 50 Shift_L Shift_R
  console_wait_stable 0 2 30
}

# guest_shift: "held" if a plain "a" typed now arrives as "A", "up" if as "a".
guest_shift() {
  printf a >"$E2E_TMP/a"
  console_mark
  "$PROBE" type "$E2E_TMP/a" 30000 0
  console_wait_stable 1 3 10
  console_received "$E2E_TMP/a.got"
  case $(cat "$E2E_TMP/a.got") in a) echo up ;; A) echo held ;; *) echo "? $(od -An -c "$E2E_TMP/a.got")" ;; esac
}

# first_difference EXPECTED ACTUAL: the offset of the first byte that differs
# or is missing, or - when the two are the same.
first_difference() {
  local n
  n=$(cmp "$1" "$2" 2>&1 | grep -oE '(byte|after byte) [0-9]+' | grep -oE '[0-9]+$')
  if [ -z "$n" ]; then echo -; elif cmp "$1" "$2" 2>&1 | grep -q EOF; then echo "$n"; else echo $((n - 1)); fi
}

printf '%-22s %4s %8s %6s %10s %8s %8s  %-9s %s\n' case run arrived exact first_diff seconds chars/s held_after guest_shift
for tool_case in "${CASES[@]}"; do
  IFS=: read -r tool a b <<<"$tool_case"
  for ((run = 1; run <= RUNS; run++)); do
    console_focus
    console_mark
    start=$(date +%s.%N)
    case $tool in
      teclix) xdotool key F10 ;;
      teclix-window)
        focus "$TECLIX_WIN"
        xdotool key F10
        console_grab
        start=$(bc <<<"$start + 5")
        ;;
      xdotool) xdotool type --delay "$a" -- "$(cat "$TEXT")" ;;
      probe) "$PROBE" type "$TEXT" "$(bc <<<"$a * 1000 / 1")" "$(bc <<<"${b:-0} * 1000 / 1")" ;;
      *) die "unknown case $tool_case" ;;
    esac
    [[ $tool == teclix* ]] || held=$("$PROBE" held)
    console_wait_stable "$COUNT" 8 240
    [[ $tool != teclix* ]] || held=$("$PROBE" held)
    console_release
    console_received "$E2E_TMP/got"
    last=$(date +%s.%N -r "$CONSOLE_SERIAL")
    arrived=$(file_size "$E2E_TMP/got")
    exact=no
    cmp -s "$TEXT" "$E2E_TMP/got" && exact=yes
    seconds=$(bc <<<"scale=1; ($last - $start) / 1")
    rate=$(bc <<<"scale=1; $arrived / ($last - $start)")
    printf '%-22s %4s %8s %6s %10s %8s %8s  %-9s %s\n' "$tool_case" "$run" "$arrived" "$exact" \
      "$(first_difference "$TEXT" "$E2E_TMP/got")" "$seconds" "$rate" "${held:-none}" "$(guest_shift)"
    reset_modifiers
  done
done
console_stop
