#!/usr/bin/env bash
# The KDE section of bench/run.sh, which runs it: teclix ("teclix --paste")
# typing through the desktop portal's remote-desktop session into a GTK entry in
# a headless KWin session (the KDE tests' session, tests/e2e/wayland/kwin.sh).
# A GTK entry holds one line: each text is typed as one line (its line breaks and
# tabs as spaces) and a line break at its end submits it. The portal types only
# keys of the active layout (US): the ASCII text is the one to be exact; the
# others show what is left out. Its rows go to run.sh's results.tsv.
#
# A script of its own, for the reasons given in bench/sway.sh.
#
# Needs, from run.sh: TECLIX_BUILD_DIR, RESULTS, OUT, RUNS, STALL, TEXT_DIR (the
# texts of gen_texts.py) and TEXTS (their names).
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BENCH=$ROOT/bench
# shellcheck source=../tests/e2e/wayland/kwin.sh
source "$ROOT/tests/e2e/wayland/kwin.sh"
# shellcheck source=results.sh
source "$BENCH/results.sh"

cp "$BENCH/measure.py" "$WL_DIR/measure.py"
mkdir -p "$WL_DIR/texts"
read -r -a names <<<"$TEXTS"
for text in "${names[@]}"; do
  { tr '\n\t' '  ' <"$TEXT_DIR/$text.txt" && printf '\n'; } >"$WL_DIR/texts/$text.txt"
done
chmod -R a+rX "$WL_DIR/measure.py" "$WL_DIR/texts"
record machine kwin - - - value "$(dpkg-query -W -f '${Version}' kwin-wayland 2>/dev/null)"
record machine xdg-desktop-portal-kde - - - value \
  "$(dpkg-query -W -f '${Version}' xdg-desktop-portal-kde 2>/dev/null)"

log "kde: teclix into a GTK entry through the desktop portal, in a headless KWin session"
mkdir -p "$OUT/kde"
rm -f "$OUT"/kde/*
at_exit "cp '$E2E_TMP/kwin.log' '$TECLIX_ERR' '$OUT/kde/' 2>/dev/null"
start_kwin
start_wayland_teclix
wait_until 20 grep -q 'portal de escritorio remoto (versión' "$TECLIX_ERR" ||
  die "the portal's session did not start: $(cat "$TECLIX_ERR")"
for ((run = 1; run <= RUNS; run++)); do
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
    record_fields typing "$text" gtk-entry-kde teclix "$run" "chars seconds cps exact diffs" "$row"
    keep_received "$row" "$out" "$text-kde-teclix-$run"
    log "  $text/kde/teclix run $run: $row"
    if pid_gone "$TECLIX_PID"; then die "teclix is no longer running: $(tail -n3 "$TECLIX_ERR")"; fi
  done
done
