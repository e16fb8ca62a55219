#!/usr/bin/env bash
# Benchmarks of teclix (X11 and a sway session) and Teclix.exe (under Wine), and of
# the core alone.
# Prints one table and keeps every raw figure in build/bench/results.tsv.
#
#   bash bench/run.sh
#
# Takes about 35-40 minutes on two CPUs, more than half of it in the Wine targets,
# which take about 150 characters a second whoever types into them; the sway section
# adds about 5 minutes, nearly all of it wtype's.
#
# Environment:
#   BENCH_RUNS=5          runs of each typing measurement (medians are reported)
#   BENCH_SLOW_RUNS=1     runs of `xdotool type` at its default delay (12 ms a key)
#   BENCH_SLOW_TEXTS="spanish scripts"  the texts it types: the ASCII text would
#                         take over two minutes a target, and its goal is measured
#                         against --delay 0
#   BENCH_WINE_XDOTOOL_RUNS=1  runs of xdotool into the Wine targets, which take
#                         about 200 characters a second whoever types
#   BENCH_PRESSES=50      F10 presses for the latency figures
#   BENCH_IDLE_SECONDS=30 length of each idle measurement
#   BENCH_SECTIONS="core x11 latency wine sway kde sway13 kde13 gnome13 stall stall13 console"
#                         what to run (sway: teclix and wtype into foot in a headless
#                         sway session; kde: teclix through the desktop portal into a
#                         GTK entry in KWin; sway13, kde13, gnome13: the same on
#                         Debian 13's sway, Plasma and GNOME, in the tests' root;
#                         stall, stall13: a target stopped during a paste, and the
#                         rates beside wtype into foot and a GTK entry, bench/stall.sh,
#                         under sway, KWin and GNOME, here and in the root)
#   BENCH_STALL_RUNS=3    runs of each stopped-target measurement
#   BENCH_CONSOLE_RUNS=3  runs of teclix into the QEMU console (xdotool: 1 run each
#                         at 0, 12 and 40 ms), 2,000 ASCII characters each
#   BENCH_NO_BUILD=1      use the programs as built
#   BENCH_TEXTS, BENCH_X11_TARGETS  a subset of "ascii spanish scripts", "xterm vnc"
#   BENCH_X11_FREE_KEYCODES=N  unbind N keycodes of the Xvfb map before teclix starts
#   BENCH_LINUX_BUILD, BENCH_WINDOWS_BUILD, BENCH_OUT, BENCH_WINEPREFIX
#
# Everything compared runs in this one invocation, on one private Xvfb display,
# alternating between the programs compared, so that their ratios hold on a
# machine whose speed varies.
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
  sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0" # the comment above
  exit 0
fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
LINUX_BUILD=${BENCH_LINUX_BUILD:-$ROOT/build/linux}
WINDOWS_BUILD=${BENCH_WINDOWS_BUILD:-$ROOT/build/windows}
OUT=${BENCH_OUT:-$ROOT/build/bench}
RUNS=${BENCH_RUNS:-5}
SLOW_RUNS=${BENCH_SLOW_RUNS:-1}
SLOW_TEXTS=" ${BENCH_SLOW_TEXTS:-spanish scripts} "
WINE_XDOTOOL_RUNS=${BENCH_WINE_XDOTOOL_RUNS:-1}
PRESSES=${BENCH_PRESSES:-50}
IDLE_SECONDS=${BENCH_IDLE_SECONDS:-30}
SECTIONS=${BENCH_SECTIONS:-core x11 latency wine sway kde sway13 kde13 gnome13 stall stall13 console}
STALL_RUNS=${BENCH_STALL_RUNS:-3}
CONSOLE_RUNS=${BENCH_CONSOLE_RUNS:-3}
STALL=10 # seconds without a new character after which a paste counts as over

if [ "${BENCH_NO_BUILD:-0}" != 1 ]; then
  bash "$ROOT/scripts/install-deps.sh" >&2 || exit 1
  [ -f "$LINUX_BUILD/CMakeCache.txt" ] || (cd "$ROOT" && cmake --preset linux >&2) || exit 1
  if [[ " $SECTIONS " == *" wine "* ]]; then
    [ -f "$WINDOWS_BUILD/CMakeCache.txt" ] || (cd "$ROOT" && cmake --preset windows >&2) || exit 1
  fi
  cmake --build "$LINUX_BUILD" --target teclix x11_tool bench_latency bench_core >&2 ||
    { echo "the Linux build failed" >&2; exit 1; }
  if [[ " $SECTIONS " == *" wine "* ]]; then
    cmake --build "$WINDOWS_BUILD" --target Teclix edit_target bench_win_probe >&2 ||
      { echo "the Windows build failed" >&2; exit 1; }
  fi
fi

export TECLIX_BUILD_DIR=$LINUX_BUILD
export WINEPREFIX=${BENCH_WINEPREFIX:-${TMPDIR:-/tmp}/teclix-bench-wine-$(id -u)}
# The end-to-end tests' shell library, with what starts teclix and Windows programs.
# shellcheck source=../tests/e2e/x11/teclix.sh
source "$ROOT/tests/e2e/x11/teclix.sh"
# shellcheck source=../tests/e2e/win32/wine.sh
source "$ROOT/tests/e2e/win32/wine.sh"
MEASURE=$BENCH/measure.py

mkdir -p "$OUT"
RESULTS=$OUT/results.tsv
printf 'section\titem\ttarget\ttool\trun\tmetric\tvalue\n' >"$RESULTS"
# shellcheck source=results.sh
source "$BENCH/results.sh"

record machine nproc - - - value "$(nproc)"
record machine cpu - - - value "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
record machine debian - - - value "$(cat /etc/debian_version)"
record machine kernel - - - value "$(uname -r)"
record machine runs - - - value "$RUNS (xdotool at its default delay: $SLOW_RUNS)"
log "bench: runs $RUNS, sections: $SECTIONS; raw figures in $RESULTS"

python3 "$BENCH/gen_texts.py" "$E2E_TMP/texts" >/dev/null || die "could not write the texts"
read -r -a TEXTS <<<"${BENCH_TEXTS:-ascii spanish scripts}"
# "vnc": an xterm on Xvnc through vncviewer, whose title shows the Xvnc desktop, so
# it is typed into at full speed (a viewer of a virtual machine is a console: the
# console section measures that, into a QEMU guest).
read -r -a X11_TARGETS <<<"${BENCH_X11_TARGETS:-xterm vnc}"
mkdir -p "$OUT/received"
rm -f "$OUT"/received/*
text_file() { printf '%s/texts/%s.txt' "$E2E_TMP" "$1"; }

# typing_command TOOL FILE: sets the array command to what types FILE with TOOL.
typing_command() {
  case $1 in
    teclix | Teclix.exe) command=(xdotool key F10) ;;
    xdotool-d0) command=(xdotool type --delay 0 --file "$2") ;;
    xdotool-d12) command=(xdotool type --file "$2") ;;
  esac
}

# measure_tools MEASURE TEXT TARGET RUN: MEASURE (measure_x11 or measure_wine) with
# each of the caller's tools, then with xdotool at its default delay where this run
# and text call for it.
measure_tools() {
  local measure=$1 text=$2 target=$3 run=$4 tool
  for tool in "${tools[@]}"; do
    "$measure" "$text" "$target" "$tool" "$run"
  done
  if ((run <= SLOW_RUNS)) && [[ $SLOW_TEXTS == *" $text "* ]]; then
    "$measure" "$text" "$target" xdotool-d12 "$run"
  fi
}

# --- The core alone ------------------------------------------------------------------

run_core() {
  log "core: Google Benchmark, $RUNS repetitions"
  local json=$OUT/core.json
  "$LINUX_BUILD/bench/bench_core" --benchmark_repetitions="$RUNS" \
    --benchmark_report_aggregates_only=true --benchmark_out="$json" \
    --benchmark_out_format=json >/dev/null || { log "bench_core failed"; return; }
  python3 - "$json" <<'PY' | while IFS=$'\t' read -r name ns; do record core "$name" - teclix all ns_per_char "$ns"; done
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        print(f"{b['run_name']}\t{1e9 / b['items_per_second']:.2f}")
PY
}

# --- X11: teclix and xdotool into xterm, locally and through VNC ---------------------

KEYMAP_BASELINE=$E2E_TMP/keymap.baseline
keymap_is_baseline() { "$X11_TOOL" keymap | cmp -s - "$KEYMAP_BASELINE"; }
start_x11_targets() {
  start_xterm_target local
  LOCAL_WIN=$TARGET_WIN
  start_vnc_console
}

# measure_x11 TEXT TARGET TOOL RUN
measure_x11() {
  local text=$1 target=$2 tool=$3 run=$4 out row file
  file=$(text_file "$text")
  case $target in
    xterm) out=$E2E_TMP/local.out ;;
    vnc) out=$E2E_TMP/remote.out ;;
  esac
  # teclix gives its lent keycodes back a second after a paste, plus twice as long
  # as the paste took (at most 30 s): never let that happen while another
  # program types.
  wait_until 35 keymap_is_baseline || log "  the keyboard map is not back as it was"
  local command
  typing_command "$tool" "$file"
  row=$(python3 "$MEASURE" x11 "$file" "$out" "$STALL" -- "${command[@]}")
  record_fields typing "$text" "$target" "$tool" "$run" "chars seconds cps exact diffs" "$row"
  keep_received "$row" "$out" "$text-$target-$tool-$run"
  log "  $text/$target/$tool run $run: $row"
}

run_x11() {
  log "X11: teclix and xdotool into xterm, local and through VNC"
  start_x11_targets
  "$X11_TOOL" keymap >"$KEYMAP_BASELINE"
  local run text target tools
  for ((run = 1; run <= RUNS; run++)); do
    # Alternate which program goes first.
    if ((run % 2)); then tools=(teclix xdotool-d0); else tools=(xdotool-d0 teclix); fi
    for text in "${TEXTS[@]}"; do
      set_clipboard "$(text_file "$text")"
      for target in "${X11_TARGETS[@]}"; do
        case $target in
          xterm) focus "$LOCAL_WIN" ;;
          vnc) focus "$VIEWER_WIN" ;;
        esac
        measure_tools measure_x11 "$text" "$target" "$run"
      done
    done
  done
  stop_pid "$VIEWER_PID"
}

# --- Latency and idle cost of teclix ---------------------------------------------------

run_latency() {
  log "latency: $PRESSES presses, one character on the clipboard"
  printf 'x' >"$E2E_TMP/one"
  set_clipboard "$E2E_TMP/one"
  wait_until 10 keymap_is_baseline
  "$LINUX_BUILD/bench/bench_latency" "$PRESSES" >"$OUT/latency_teclix.txt" ||
    log "  no press reached the target"
  local row
  row=$(python3 "$MEASURE" stats <"$OUT/latency_teclix.txt")
  record_fields latency one_char bench_latency teclix all "median_ms p95_ms lost" "$row"
  log "  teclix: $row"
}

run_idle_teclix() {
  log "idle: teclix with its window open, ${IDLE_SECONDS}s"
  local row
  row=$(python3 "$MEASURE" idle "$IDLE_SECONDS" "teclix=$TECLIX_PID")
  record_fields idle teclix - teclix all "name cpu_pct wakeups_per_s rss_mb processes" "$row"
  log "  $row"
}

# --- Teclix.exe under Wine: an edit control and notepad ---------------------------------

# The PIDs of every process of our Wine prefix (wineserver and services included).
prefix_pids() {
  local p
  for p in /proc/[0-9]*; do
    tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "${p#/proc/}"
  done
}

# measure_wine TEXT TARGET TOOL RUN
measure_wine() {
  local text=$1 target=$2 tool=$3 run=$4 title row probe_out=$E2E_TMP/probe.out command file
  file=$(text_file "$text")
  typing_command "$tool" "$file"
  case $target in
    edit) title="bench edit" ;;
    notepad) title="Untitled - Notepad" ;;
  esac
  activate "$(window_named "$title")" || log "  could not activate $title"
  row=$(LC_ALL=en_US.UTF-8 python3 "$MEASURE" wine "$(text_file "$text")" "$probe_out" "$STALL" \
    -- wine "$WINDOWS_BUILD/bench_win_probe.exe" "$title" "{LENGTH}" "$(windows_path "$probe_out")" \
    "{STALL_MS}" 600000 -- "${command[@]}" 2>>"$E2E_TMP/wine.log")
  record_fields typing "$text" "wine-$target" "$tool" "$run" "chars seconds cps exact diffs" "$row"
  keep_received "$row" "$probe_out" "$text-wine-$target-$tool-$run"
  log "  $text/wine-$target/$tool run $run: $row"
}

run_wine() {
  log "Wine: Teclix.exe into an edit control and notepad (prefix $WINEPREFIX)"
  start_wine
  "$X11_TOOL" focus pointer
  run_windows "$WINDOWS_BUILD/Teclix.exe"
  local teclix_exe=$LAST_PID
  wait_until 60 has_window "Teclix - teclix.example" || die "the Teclix.exe window did not appear"
  run_windows "$WINDOWS_BUILD/edit_target.exe" "$(windows_path "$E2E_TMP/edit.txt")" \
    --title "bench edit" --at 600 60
  local edit_pid=$LAST_PID
  wait_until 30 has_window "bench edit" || die "the edit target did not appear"
  run_windows notepad
  local notepad_pid=$LAST_PID
  wait_until 30 has_window "Untitled - Notepad" || die "notepad did not appear"
  xdotool windowmove --sync "$(window_named "Untitled - Notepad")" 40 420

  local run text target tools
  for ((run = 1; run <= RUNS; run++)); do
    if ((run > WINE_XDOTOOL_RUNS)); then
      tools=(Teclix.exe)
    elif ((run % 2)); then
      tools=(Teclix.exe xdotool-d0)
    else
      tools=(xdotool-d0 Teclix.exe)
    fi
    for text in "${TEXTS[@]}"; do
      set_clipboard "$(text_file "$text")"
      for target in edit notepad; do
        measure_tools measure_wine "$text" "$target" "$run"
      done
    done
  done
  stop_pid "$edit_pid"
  stop_pid "$notepad_pid"

  log "idle: Teclix.exe under Wine with its window open, ${IDLE_SECONDS}s"
  local others=() p row
  for p in $(prefix_pids); do
    [ "$p" = "$teclix_exe" ] || others+=("$p")
  done
  local server
  server=$(for p in "${others[@]}"; do [[ "$(cat "/proc/$p/comm")" == wineserver* ]] && echo "$p"; done)
  local all
  all=$(IFS=,; echo "$teclix_exe,${others[*]}")
  while IFS= read -r row; do
    record_fields idle "${row%%$'\t'*}" - Teclix.exe all "name cpu_pct wakeups_per_s rss_mb processes" "$row"
    log "  $row"
  done < <(python3 "$MEASURE" idle "$IDLE_SECONDS" "Teclix.exe=$teclix_exe" "wineserver=$server" \
    "all_wine=$all")
  stop_pid "$teclix_exe"
  wineserver -k 2>/dev/null # our prefix's server only
}

# --- Run -----------------------------------------------------------------------------

[[ " $SECTIONS " == *" core "* ]] && run_core
if [[ " $SECTIONS " =~ \ (x11|latency|wine)\  ]]; then
  start_xvfb
  set_layout us
  # A diagnosis aid: more keycodes without keysyms, so that teclix can lend more at once.
  if [ "${BENCH_X11_FREE_KEYCODES:-0}" -gt 0 ]; then
    "$X11_TOOL" free-keycodes "$BENCH_X11_FREE_KEYCODES" || die "could not free keycodes"
    record machine freed_keycodes - - - value "$BENCH_X11_FREE_KEYCODES"
  fi
  start_teclix
  [[ " $SECTIONS " == *" x11 "* ]] && run_x11
  if [[ " $SECTIONS " == *" latency "* ]]; then
    run_latency
    run_idle_teclix
  fi
  # Teclix.exe cannot hold F10 on the display while teclix does.
  close_teclix || log "teclix did not close cleanly"
  [[ " $SECTIONS " == *" wine "* ]] && run_wine
fi

# --- Wayland: teclix and wtype into foot, in a headless sway session ----------------

# bench/sway.sh, a script of its own, writing to the same results.tsv.
run_sway() {
  RESULTS=$RESULTS OUT=$OUT RUNS=$RUNS STALL=$STALL TEXT_DIR=$E2E_TMP/texts \
    TEXTS="${TEXTS[*]}" bash "$BENCH/sway.sh" || log "the sway section failed"
}
[[ " $SECTIONS " == *" sway "* ]] && run_sway

# --- KDE: teclix through the desktop portal, in a headless KWin session ---------------

run_portal() {
  RESULTS=$RESULTS OUT=$OUT RUNS=$RUNS STALL=$STALL TEXT_DIR=$E2E_TMP/texts \
    TEXTS="${TEXTS[*]}" BENCH_DESKTOP=$1 bash "$BENCH/portal.sh" || log "the $1 section failed"
}
[[ " $SECTIONS " == *" kde "* ]] && run_portal kde

# --- Debian 13's desktops: sway 1.10, Plasma 6.3 and GNOME 48 -------------------------

[[ " $SECTIONS " == *" sway13 "* ]] && TECLIX_DEBIAN13=1 run_sway
[[ " $SECTIONS " == *" kde13 "* ]] && TECLIX_DEBIAN13=1 run_portal kde
[[ " $SECTIONS " == *" gnome13 "* ]] && TECLIX_DEBIAN13=1 run_portal gnome

# --- A target stopped during a paste, and the rates into foot and a GTK entry -----------

# run_stall DESKTOP: 3,000 characters unstopped (the rates), then 10,000 with the
# target stopped for 1 s and for 3 s (bench/stall.sh).
run_stall() {
  local common=(RESULTS="$RESULTS" OUT="$OUT" RUNS="$STALL_RUNS" BENCH_DESKTOP="$1")
  env "${common[@]}" CHARS=3000 STOPS=0 bash "$BENCH/stall.sh" &&
    env "${common[@]}" CHARS=10000 STOPS="1 3" bash "$BENCH/stall.sh" ||
    log "the stall section ($1) failed"
}
if [[ " $SECTIONS " == *" stall "* ]]; then
  for desktop in sway kde gnome; do run_stall "$desktop"; done
fi
if [[ " $SECTIONS " == *" stall13 "* ]]; then
  for desktop in sway kde gnome; do TECLIX_DEBIAN13=1 run_stall "$desktop"; done
fi

# --- A virtual machine's console -------------------------------------------------------

# run_console: teclix and xdotool at 0, 12 and 40 ms typing 2,000 ASCII characters
# into a QEMU guest's text console through vncviewer, and teclix into QEMU's own
# window through the countdown (tests/e2e/console/measure.sh).
run_console() {
  local tool_case runs line
  for tool_case in teclix teclix-window xdotool:0 xdotool:12 xdotool:40; do
    runs=1
    [[ $tool_case != teclix* ]] || runs=$CONSOLE_RUNS
    log "console: $tool_case, $runs run(s)"
    while read -r line; do
      log "  $line"
      read -r case run arrived exact _ _ cps _ shift <<<"$line"
      [[ $run =~ ^[0-9]+$ ]] || continue
      record_fields console ascii2000 qemu "$case" "$run" "cps arrived exact guest_shift_up" \
        "$cps"$'\t'"$arrived"$'\t'"$([ "$exact" = yes ] && echo 1 || echo 0)"$'\t'"$([ "$shift" = up ] && echo 1 || echo 0)"
    done < <(COUNT=2000 RUNS=$runs TECLIX_BUILD_DIR=$LINUX_BUILD \
      bash "$ROOT/tests/e2e/console/measure.sh" "$tool_case" 2>/dev/null)
  done
}
[[ " $SECTIONS " == *" console "* ]] && run_console

python3 "$BENCH/report.py" "$RESULTS" | tee "$OUT/table.txt"
