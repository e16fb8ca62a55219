#!/usr/bin/env bash
# A target stopped in the middle of a paste: teclix and wtype type a long text
# into foot and into a GTK entry in a headless sway session (BENCH_DESKTOP=sway),
# or teclix through the desktop portal under KWin (kde) or GNOME's mutter
# (gnome); one second into the paste (foot: 0.2 s, as it takes 10,000 characters
# in well under one) the target is stopped (SIGSTOP) for STOP seconds, then
# continued (STOP 0: not stopped, the rates alone). Whether
# the target is still there afterwards, and what it received, go to results.tsv;
# so does the most the compositor held for it meanwhile (its socket's send queue,
# bytes as the kernel counts them, and the limit it is cut off at).
#
# Needs: TECLIX_BUILD_DIR, RESULTS, RUNS, STOPS (seconds, e.g. "1 3"), CHARS;
# TOOLS (teclix wtype), TECLIX_DEBIAN13 as for the tests.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
DESKTOP=${BENCH_DESKTOP:-sway}
# shellcheck source=../tests/e2e/wayland/sway.sh
source "$ROOT/tests/e2e/wayland/$(case $DESKTOP in sway) echo sway ;; kde) echo kwin ;; *) echo gnome ;; esac).sh"
# shellcheck source=results.sh
source "$BENCH/results.sh"

CHARS=${CHARS:-10000}
STOPS=${STOPS:-1 3}
TOOLS=${TOOLS:-teclix wtype}
[ "$DESKTOP" = sway ] || TOOLS=teclix # the portal's desktops offer no virtual keyboard
SUFFIX=-$DESKTOP${WL_ROOT:+-debian13}
head -c $((CHARS * 4)) /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()[]{}<>/|@#$%^&*_=+~-' |
  head -c "$CHARS" >"$WL_DIR/stall.txt"
printf '\n' >>"$WL_DIR/stall.txt" # submits the entry
chmod a+r "$WL_DIR/stall.txt"

# stall_run TOOL TARGET STOP RUN
stall_run() {
  local tool=$1 target=$2 stop=$3 run=$4 pid out=$WL_DIR/stall.out peak=0 limit=0 q
  : >"$out"
  chown "$WL_UID" "$out"
  case $target in
    foot)
      as_user foot -a target-stall -T target-stall \
        sh -c 'stty raw -echo icrnl && : >"$1.ready" && exec cat >>"$1"' sh "$out" \
        </dev/null >>"$E2E_TMP/foot.log" 2>&1 &
      pid=$!
      track "$pid"
      wait_until 10 test -e "$out.ready" || die "foot did not start"
      rm -f "$out.ready"
      ;;
    entry)
      WL_ENV=(GDK_BACKEND=wayland)
      as_user zenity --entry --title target-stall >"$out" 2>>"$E2E_TMP/zenity.log" &
      pid=$!
      track "$pid"
      WL_ENV=()
      ;;
  esac
  if [ "$DESKTOP" = sway ]; then
    wait_until 10 focused_app "$([ "$target" = foot ] && echo target-stall || echo zenity)"
  else
    wait_until 10 no_x11_window_active && sleep 0.5 # a new window has the focus once mapped
  fi || die "the $target did not get the focus"
  local started=$EPOCHREALTIME
  case $tool in
    teclix) as_user "$WL_TECLIX" --paste ;;
    wtype)
      local words
      words=$(cat "$WL_DIR/stall.txt" && printf .)
      as_user wtype -- "${words%.}" &
      track $!
      ;;
  esac
  local stopped=no
  if ((stop > 0)); then
    # Into the paste: foot takes 10,000 characters in well under a second, and a
    # GTK entry through an input method in about one. (stopped: whether the
    # paste was still going then.)
    sleep "$([ "$target" = foot ] && echo 0.1 || echo "${ENTRY_AFTER:-0.5}")"
    foot_done "$pid" "$out" || { [ "$target" = entry ] && pid_gone "$pid"; } || stopped=yes
    kill -STOP "$pid"
    local until
    until=$(awk "BEGIN { printf \"%.3f\", $EPOCHREALTIME + $stop }")
    while awk "BEGIN { exit !($EPOCHREALTIME < $until) }"; do
      if read -r q limit < <(held_for "$pid"); then ((q > peak)) && peak=$q; fi
      sleep 0.05
    done
    kill -CONT "$pid"
  fi
  # The paste's end: the entry submitted (or gone), foot's output complete or still.
  if [ "$target" = entry ]; then
    wait_until 180 pid_gone "$pid"
  else
    wait_until 180 foot_done "$pid" "$out" || true
  fi
  local seconds alive=yes received exact=no
  seconds=$(awk "BEGIN { printf \"%.2f\", $EPOCHREALTIME - $started }")
  pid_gone "$pid" && [ "$target" = foot ] && alive=no
  [ "$target" = entry ] && ! grep -q . "$out" && alive=no
  received=$(tr -d '\n' <"$out" | wc -c)
  cmp -s "$out" "$WL_DIR/stall.txt" && exact=yes
  stop_pid "$pid"
  [ -z "${KEEP_LOGS:-}" ] || cp "$E2E_TMP"/*.log "$TECLIX_ERR" "$KEEP_LOGS/" 2>/dev/null
  record_fields stall "$CHARS-stop$stop" "$target$SUFFIX" "$tool" "$run" \
    "stopped survived received exact seconds held_bytes held_limit" \
    "$stopped"$'\t'"$alive"$'\t'"$received"$'\t'"$exact"$'\t'"$seconds"$'\t'"$peak"$'\t'"$limit"
  log "  $tool into $target, stopped $stop s (while typing: $stopped): survived $alive," \
    "$received received, exact $exact, $seconds s, held $peak of $limit"
}

foot_done() { pid_gone "$1" || size_at_least "$2" "$((CHARS + 1))"; }

case $DESKTOP in
  sway)
    start_sway
    start_wayland_teclix
    ;;
  gnome)
    start_gnome us
    start_wayland_teclix
    answer_dialog 0
    stop_hands
    ;;
  kde)
    start_kwin
    [ -z "$WL_ROOT" ] || kde_authorize yes
    start_wayland_teclix
    ;;
esac
[ "$DESKTOP" = sway ] || wait_until 20 teclix_ready || die "the portal's session did not start"
set_clipboard "$WL_DIR/stall.txt"
for ((run = 1; run <= ${RUNS:-1}; run++)); do
  for stop in $STOPS; do
    for target in foot entry; do
      for tool in $TOOLS; do
        # wtype's Return does not submit a zenity entry (tried: nothing arrives); its
        # rate is its own pace, 4.3 ms a character whatever the target, as into foot.
        [ "$tool/$target" != wtype/entry ] || continue
        stall_run "$tool" "$target" "$stop" "$run"
      done
    done
  done
done
