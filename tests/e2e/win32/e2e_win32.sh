#!/usr/bin/env bash
# End-to-end tests of Teclix.exe under Wine on a private Xvfb display: a real F10
# press (xdotool), a real X clipboard (xclip, which Wine shares with its programs)
# and real Windows targets (an edit-control window of ours, and Wine's notepad).
# Each case compares the exact text that arrived. What the groups share is here;
# each group's cases are in group_GROUP.sh.
#
#   e2e_win32.sh SOURCE_DIR BUILD_DIR [edit|notepad|window|helpers|faults|console|package]
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
# start_teclix LOCALE [EXE]: (re)starts Teclix, the build's own or the one EXE names.
start_teclix() {
  local locale=$1 exe=${2:-$BUILD/Teclix.exe}
  if [ -n "$TECLIX_PID" ]; then
    stop_pid "$TECLIX_PID"
    # The window that goes with it, found by its title, would pass for the new one.
    wait_until 10 teclix_gone || die "the Teclix window stayed after its program ended"
  fi
  WINE_LOCALE=$locale
  run_windows "$exe"
  TECLIX_PID=$LAST_PID
  TECLIX_ID=$(wait_window "Teclix - teclix.example") || die "Teclix window did not appear"
  # It is shown once F10 is held.
  wait_until 10 teclix_shown || die "the Teclix window was not shown"
}
teclix_gone() { ! has_window "Teclix - teclix.example"; }
teclix_shown() { [ -n "$(xdotool search --onlyvisible --name '^Teclix - teclix\.example$' 2>/dev/null)" ]; }

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

start_xvfb
start_wine
group_file=$(dirname "$0")/group_$GROUP.sh
[ -f "$group_file" ] || die "unknown group $GROUP"
# shellcheck source=/dev/null
source "$group_file"
"run_${GROUP}_group"
finish
