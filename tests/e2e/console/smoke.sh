#!/usr/bin/env bash
# Smoke check of the console chain: builds the guest if needed, boots it, types
# a short text with xdotool at a slow delay into vncviewer on a private Xvfb,
# and passes only if the guest's console read exactly that text.
#   bash tests/e2e/console/smoke.sh [us|es]   (the local layout and the guest's
#                                             console keymap; default us)
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
export TECLIX_BUILD_DIR=${TECLIX_BUILD_DIR:-$ROOT/build/linux}
source "$ROOT/tests/e2e/lib.sh"
source "$ROOT/tests/e2e/console/console.sh"
KEYMAP=${1:-us}

t0=$SECONDS
console_build_guest
log "guest ready to boot after $((SECONDS - t0)) s"
start_xvfb
set_layout "$KEYMAP"
t1=$SECONDS
console_start_qemu "$KEYMAP"
console_start_viewer
log "chain up in $((SECONDS - t1)) s"

# Every shifted sign of the US map, parentheses included, then Enter and Tab.
text='Hello, (World)! ~`@#$%^&*_+{}|:"<>? 0-9 [x]=\;'\''./'
keys=(Return Tab period)
expected=$(printf '%s\r\t.' "$text")
if [ "$KEYMAP" = es ]; then
  # Letters of the Spanish map, dead keys with the kernel's accent table, AltGr.
  # (xdotool types ¡ and ¿ with AltGr+Shift on the 1 and ' keys, where the
  # console's Spanish map has nothing, so they are left out.)
  text='Hola, (mundo)! ?=/&%$"'
  keys=(ntilde Ntilde ccedilla masculine dead_acute a dead_acute E dead_diaeresis u
    dead_grave a dead_circumflex o at numbersign bar Return Tab)
  expected=$(printf '%sñÑçºáÉüàô@#|\r\t' "$text")
fi
printf '%s' "$expected" >"$E2E_TMP/expected"
t2=$SECONDS
console_focus
console_mark
xdotool type --delay 60 -- "$text"
xdotool key --delay 60 "${keys[@]}"
console_wait_stable "$(file_size "$E2E_TMP/expected")" 5 60
console_received "$E2E_TMP/got"
expect_same "console/$KEYMAP/xdotool_60ms" "$E2E_TMP/expected" "$E2E_TMP/got"
log "typing and reading took $((SECONDS - t2)) s"
console_stop
finish
