#!/usr/bin/env bash
# The KDE and GNOME sections of bench/run.sh, which runs them: teclix ("teclix
# --paste") typing through the desktop portal's remote-desktop session into a GTK
# entry in a headless KWin session, or a headless mutter one (BENCH_DESKTOP=kde or
# gnome; the tests' sessions, tests/e2e/wayland/kwin.sh and gnome.sh; with
# TECLIX_DEBIAN13 set, Debian 13's desktops).
# A GTK entry holds one line: each text is typed as one line (its line breaks and
# tabs as spaces) and a line break at its end submits it. The portal types only
# keys of the active layout (US): the ASCII text is the one to be exact; the
# others show what is left out. Its rows go to run.sh's results.tsv. In Debian 13's
# sessions the portal hands out its emulated-input socket and teclix types through
# libei ("teclix" rows); the "teclix-dbus" rows, taken in the same runs, are the
# same teclix with libei hidden (a bind mount, in this script's own mount
# namespace), typing one D-Bus call a key as where libei is missing.
#
# A script of its own, for the reasons given in bench/sway.sh.
#
# Needs, from run.sh: TECLIX_BUILD_DIR, RESULTS, OUT, RUNS, STALL, TEXT_DIR (the
# texts of gen_texts.py) and TEXTS (their names).
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
DESKTOP=${BENCH_DESKTOP:-kde}
# shellcheck source=../tests/e2e/wayland/gnome.sh
source "$ROOT/tests/e2e/wayland/$([ "$DESKTOP" = gnome ] && echo gnome || echo kwin).sh"
# shellcheck source=results.sh
source "$BENCH/results.sh"

cp "$BENCH/measure.py" "$WL_DIR/measure.py"
mkdir -p "$WL_DIR/texts"
read -r -a names <<<"$TEXTS"
for text in "${names[@]}"; do
  { tr '\n\t' '  ' <"$TEXT_DIR/$text.txt" && printf '\n'; } >"$WL_DIR/texts/$text.txt"
done
# A GTK entry slows down as its one line grows (10,000 characters: about 500 a
# second, whoever types), so the rate of the keys themselves is measured on the
# first 3,000 characters of the ASCII text too.
if [[ " ${names[*]} " == *" ascii "* ]]; then
  { head -c 3000 "$TEXT_DIR/ascii.txt" | tr '\n\t' '  ' && printf '\n'; } >"$WL_DIR/texts/ascii-3000.txt"
  names+=(ascii-3000)
fi
chmod -R a+rX "$WL_DIR/measure.py" "$WL_DIR/texts"
# The target's name in results.tsv: the desktop, and the release when not this one's.
TARGET=gtk-entry-$DESKTOP${WL_ROOT:+-debian13}
version() { dpkg-query --admindir="$WL_ROOT/var/lib/dpkg" -W -f '${Version}' "$1" 2>/dev/null; }
log "$TARGET: teclix into a GTK entry through the desktop portal, in a headless session"
mkdir -p "$OUT/$TARGET"
rm -f "$OUT/$TARGET"/*
if [ "$DESKTOP" = gnome ]; then
  record machine mutter${WL_ROOT:+-debian13} - - - value "$(version mutter)"
  at_exit "cp '$E2E_TMP/mutter.log' '$TECLIX_ERR' '$OUT/$TARGET/' 2>/dev/null"
  start_gnome us
  start_wayland_teclix
  answer_dialog 0
  stop_hands
else
  record machine kwin${WL_ROOT:+-debian13} - - - value "$(version kwin-wayland)"
  at_exit "cp '$E2E_TMP/kwin.log' '$TECLIX_ERR' '$OUT/$TARGET/' 2>/dev/null"
  start_kwin
  [ -z "$WL_ROOT" ] || kde_authorize yes
  start_wayland_teclix
fi
wait_until 20 teclix_ready || die "the portal's session did not start: $(cat "$TECLIX_ERR")"
tools=(teclix)
libei=
if [ -n "$WL_ROOT" ]; then
  tools+=(teclix-dbus)
  libei=$(readlink -f "$WL_ROOT/usr/lib/x86_64-linux-gnu/libei.so.1")
  at_exit "umount '$libei' 2>/dev/null"
fi
# use_tool TOOL: teclix started again, with libei or without it (teclix-dbus); the
# session comes back with the restore token, without a dialog.
use_tool() {
  [ ${#tools[@]} -gt 1 ] || return 0
  stop_pid "$TECLIX_PID"
  umount "$libei" 2>/dev/null
  [ "$1" = teclix ] || mount --bind /dev/null "$libei"
  : >"$TECLIX_ERR"
  start_wayland_teclix
  wait_until 20 teclix_ready || die "$1: the portal's session did not start: $(cat "$TECLIX_ERR")"
  # the keys go the way asked for
  if grep -q 'entrada emulada' "$TECLIX_ERR"; then [ "$1" = teclix ]; else [ "$1" = teclix-dbus ]; fi ||
    die "$1: teclix typed the other way: $(cat "$TECLIX_ERR")"
}
# measure_foot TOOL RUN: the ASCII texts into a foot terminal, which reads what it is
# sent at once: the rate of the keys themselves, where a GTK entry's own is the
# limit (Debian 13's sessions, both ways of typing).
FOOT=foot-$DESKTOP-debian13
measure_foot() {
  local out=$WL_DIR/foot.out text file row
  : >"$out"
  chown "$WL_UID:$WL_GID" "$out"
  as_user foot -a bench-foot sh -c 'stty raw -echo icrnl && : >"$1.ready" && exec cat >>"$1"' sh \
    "$out" </dev/null >>"$E2E_TMP/foot.log" 2>&1 &
  local foot=$!
  track "$foot"
  wait_until 10 test -e "$out.ready" && wait_until 10 no_x11_window_active ||
    die "foot did not start: $(tail -n3 "$E2E_TMP/foot.log")"
  for text in ascii-3000 ascii; do
    file=$WL_DIR/texts/$text.txt
    set_clipboard "$file"
    row=$(as_user python3 "$WL_DIR/measure.py" x11 "$file" "$out" "$STALL" -- "$WL_TECLIX" --paste)
    record_fields typing "$text" "$FOOT" "$1" "$2" "chars seconds cps exact diffs" "$row"
    keep_received "$row" "$out" "$text-$FOOT-$1-$2"
    log "  $text/$FOOT/$1 run $2: $row"
  done
  stop_pid "$foot"
}
[ -z "$WL_ROOT" ] || mkdir -p "$OUT/$FOOT"
for ((run = 1; run <= RUNS; run++)); do
  for tool in "${tools[@]}"; do
    use_tool "$tool"
    [ -z "$WL_ROOT" ] || [[ " ${names[*]} " != *" ascii-3000 "* ]] || measure_foot "$tool" "$run"
    for text in "${names[@]}"; do
      file=$WL_DIR/texts/$text.txt out=$WL_DIR/entry.out
      set_clipboard "$file"
      : >"$out"
      chown "$WL_UID:$WL_GID" "$out" # measure.py, as the session's user, empties it
      start_entry bench "$out" || die "the entry did not get the focus"
      # measure.py's terminal measurement: the entry writes its line only when it is
      # submitted, at the end, so the wait for it allows for the whole text (the
      # portal takes some hundreds of keys a second).
      stall=$((STALL + $(wc -m <"$file") / 100))
      row=$(as_user python3 "$WL_DIR/measure.py" x11 "$file" "$out" "$stall" -- "$WL_TECLIX" --paste)
      wait_until 10 pid_gone "$ENTRY_PID" || log "the entry was not submitted"
      stop_pid "$ENTRY_PID"
      record_fields typing "$text" "$TARGET" "$tool" "$run" "chars seconds cps exact diffs" "$row"
      keep_received "$row" "$out" "$text-$TARGET-$tool-$run"
      log "  $text/$TARGET/$tool run $run: $row"
      if pid_gone "$TECLIX_PID"; then die "teclix is no longer running: $(tail -n3 "$TECLIX_ERR")"; fi
    done
  done
done
