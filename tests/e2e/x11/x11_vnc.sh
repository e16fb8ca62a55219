#!/usr/bin/env bash
# Pastes every text of texts.tsv, and a number, into a remote console: an xterm
# on an Xvnc server, shown by vncviewer on the local display. The keys go to
# the viewer, which sends them to the server; the remote xterm must receive the
# exact text. Local layouts US and Spanish; the server keeps its own US map.
source "$(dirname "$0")/teclix.sh"

start_xvfb
start_teclix
start_vnc_console
focus "$VIEWER_WIN"
out=$E2E_TMP/remote.out

for layout in us es; do
  set_layout "$layout"
  paste_texts_to_terminal "vnc/$layout" "$out"
done

printf -- '-1,234.567' >"$E2E_TMP/clip"
printf -- '-1234.57' >"$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
paste_and_expect "vnc/es/number_en_US" "$out" "$E2E_TMP/expected"

# Three times over: the end of a long burst is where a remote console can leave keys unread.
make_long_text "$E2E_TMP/clip"
cp "$E2E_TMP/clip" "$E2E_TMP/expected"
set_clipboard "$E2E_TMP/clip"
for round in 1 2 3; do
  start=$SECONDS
  paste_and_expect "vnc/es/long_40000_characters/$round" "$out" "$E2E_TMP/expected" 60
  log "  40,000 characters took about $((SECONDS - start)) s"
done

close_teclix && pass "closes on WM_DELETE_WINDOW" || fail "closes on WM_DELETE_WINDOW"
grep -h "Failure adding" "$E2E_TMP"/x*.log | sort | uniq -c >&2
finish
