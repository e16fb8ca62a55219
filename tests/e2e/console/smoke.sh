#!/usr/bin/env bash
# Smoke check of the console chain: builds the guest if needed, boots it, types
# a short text with xdotool at a slow delay into vncviewer on a private Xvfb,
# and passes only if the guest's console read exactly that text.
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
export TECLIX_BUILD_DIR=${TECLIX_BUILD_DIR:-$ROOT/build/linux}
source "$ROOT/tests/e2e/x11/lib.sh"
source "$ROOT/tests/e2e/console/console.sh"

t0=$SECONDS
console_build_guest
log "guest built in $((SECONDS - t0)) s"
start_xvfb
set_layout us
t1=$SECONDS
console_start_qemu us
console_start_viewer
log "chain up in $((SECONDS - t1)) s"

text='Hello, (World)! ~`@#$%^&*_+{}|:"<>? 0-9 [x]=\;'\''./'
printf '%s\r\t.' "$text" >"$E2E_TMP/expected"
t2=$SECONDS
console_mark
xdotool type --delay 60 "$text"
xdotool key --delay 60 Return Tab period
console_wait_stable "$(file_size "$E2E_TMP/expected")" 5 60
console_received "$E2E_TMP/got"
expect_same "console/us/xdotool_60ms" "$E2E_TMP/expected" "$E2E_TMP/got"
log "typing and reading took $((SECONDS - t2)) s"
console_stop
finish
