#!/usr/bin/env bash
# The sway section of bench/run.sh, which runs it: teclix ("teclix --paste") and
# `wtype` typing the same texts into a foot terminal in a headless sway session
# (the Wayland tests' session, tests/e2e/wayland/sway.sh), alternating which goes
# first in each run. Its rows go to run.sh's results.tsv.
#
# A script of its own, not a function of run.sh: the session's file sets up the
# end-to-end library afresh (its own temporary directory and the processes it
# stops at exit), and runs the session user's commands in place of the subshell
# that calls them, which would end a section run in a subshell of run.sh.
#
# Needs, from run.sh: TECLIX_BUILD_DIR, RESULTS, OUT, RUNS, STALL, TEXT_DIR (the
# texts of gen_texts.py) and TEXTS (their names).
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
# shellcheck source=../tests/e2e/wayland/sway.sh
source "$ROOT/tests/e2e/wayland/sway.sh"
# shellcheck source=results.sh
source "$BENCH/results.sh"

# measure.py runs as the session's user, so that what it starts runs in the
# session: it and the texts are copied where that user can read them.
cp "$BENCH/measure.py" "$WL_DIR/measure.py"
mkdir -p "$WL_DIR/texts"
cp "$TEXT_DIR"/*.txt "$WL_DIR/texts/"
chmod -R a+rX "$WL_DIR/measure.py" "$WL_DIR/texts"

# With TECLIX_DEBIAN13 set, Debian 13's sway: its rows are foot-debian13's.
TARGET=foot${WL_ROOT:+-debian13}
version() { dpkg-query --admindir="$WL_ROOT/var/lib/dpkg" -W -f '${Version}' "$1" 2>/dev/null; }
for package in sway foot wtype; do
  record machine "$package${WL_ROOT:+-debian13}" - - - value "$(version "$package")"
done

# measure_sway TEXT TOOL RUN: TOOL types TEXT into the foot terminal.
measure_sway() {
  local text=$1 tool=$2 run=$3 file=$WL_DIR/texts/$1.txt out=$WL_DIR/bench.out row command
  case $tool in
    teclix) command=("$WL_TECLIX" --paste) ;;
    wtype)
      # wtype takes the text as an argument ("--" before it, as it may begin with
      # "-"); the dot keeps a final line break that $(...) would drop.
      local words
      words=$(cat "$file" && printf .)
      command=(wtype -- "${words%.}")
      ;;
  esac
  # measure.py's x11 measurement fits any raw terminal that appends what it
  # receives to a file, as foot's shell does here.
  row=$(as_user python3 "$WL_DIR/measure.py" x11 "$file" "$out" "$STALL" -- "${command[@]}")
  record_fields typing "$text" "$TARGET" "$tool" "$run" "chars seconds cps exact diffs" "$row"
  keep_received "$row" "$out" "$text-$TARGET-$tool-$run"
  log "  $text/$TARGET/$tool run $run: $row"
  if pid_gone "$TECLIX_PID"; then die "teclix is no longer running: $(tail -n3 "$TECLIX_ERR")"; fi
}

log "$TARGET: teclix and wtype into foot, in a headless sway session"
# The session's logs, kept in OUT/TARGET/ once the session is over.
mkdir -p "$OUT/$TARGET"
rm -f "$OUT/$TARGET"/*
at_exit "cp '$E2E_TMP/sway.log' '$E2E_TMP/foot.log' '$TECLIX_ERR' '$OUT/$TARGET/' 2>/dev/null"
start_sway
start_wayland_teclix
start_foot bench
read -r -a names <<<"$TEXTS"
for ((run = 1; run <= RUNS; run++)); do
  # Alternate which program goes first.
  if ((run % 2)); then tools=(teclix wtype); else tools=(wtype teclix); fi
  for text in "${names[@]}"; do
    set_clipboard "$WL_DIR/texts/$text.txt"
    for tool in "${tools[@]}"; do
      measure_sway "$text" "$tool" "$run"
    done
  done
done
