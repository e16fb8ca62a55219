# shellcheck shell=bash
# The rows of build/bench/results.tsv, for bench/run.sh and for the sections it runs
# as scripts of their own (bench/sway.sh).
#
# Needs: RESULTS (the file) and OUT (its directory, with received/ in it).

# record SECTION ITEM TARGET TOOL RUN METRIC VALUE
record() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$RESULTS"; }
# record_fields SECTION ITEM TARGET TOOL RUN "METRIC..." "VALUE<TAB>VALUE..."
record_fields() {
  local names=($6) values i
  IFS=$'\t' read -r -a values <<<"$7"
  for i in "${!names[@]}"; do
    record "$1" "$2" "$3" "$4" "$5" "${names[i]}" "${values[i]:-}"
  done
}

# keep_received ROW FILE NAME: keeps what a target received when it was not exact.
keep_received() {
  [ "$(cut -f4 <<<"$1")" = 1 ] || cp "$2" "$OUT/received/$3.txt"
}
