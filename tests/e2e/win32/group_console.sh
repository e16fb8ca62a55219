# shellcheck shell=bash
# Windows end-to-end group "console" (sourced by e2e_win32.sh): a console probe
# named like a console client (vmconnect.exe) that rebuilds the text from scan codes
# as a Spanish guest would, and a window whose low-level hook takes F10.


# Reads a key log of edit_target --scan (TIME down|up SCAN EXTENDED VK, or TIME
# unicode CODE); prints the events' count and spacing, and fails unless they are as
# a console's must be: $2 = console (no Unicode events, no Control or left Alt, at
# least 10 ms apart with a median of 11 ms or more, right Alt if $3 = altgr) or
# direct (Unicode events, at full speed); every key up at the end either way.
keys_as_typed() {
  python3 - "$@" <<'PY'
import statistics, sys
lines = [l.split() for l in open(sys.argv[1]) if l.strip()]
mode, altgr = sys.argv[2], len(sys.argv) > 3
times = [int(l[0]) for l in lines]
gaps = [b - a for a, b in zip(times, times[1:])] or [0]
unicode = sum(l[1] == "unicode" for l in lines)
down = set()
for l in lines:
    if l[1] != "unicode":
        (down.discard if l[1] == "up" else down.add)((l[2], l[3]))
keys = {(l[2], l[3]) for l in lines if l[1] != "unicode"}
median = statistics.median(gaps)
print(f"  {len(lines)} events ({unicode} Unicode), spacing median {median} ms, min {min(gaps)} ms")
problems = []
if down:
    problems.append(f"keys left down: {sorted(down)}")
if mode == "console":
    if unicode:
        problems.append("Unicode events reached the console")
    if {("1d", "0"), ("1d", "1"), ("38", "0")} & keys:
        problems.append("Control or left Alt pressed")
    if altgr and ("38", "1") not in keys:
        problems.append("no right Alt")
    if min(gaps) < 10 or median < 11:
        problems.append("events closer than a console takes them")
elif not unicode or median > 2:
    problems.append("not typed directly at full speed")
for p in problems:
    print("  " + p)
sys.exit(1 if problems else 0)
PY
}


# What the instruction's place in Teclix's window shows, as a checksum.
instruction_look() {
  import -window "$TECLIX_ID" "$WORK/look.png" 2>/dev/null &&
    convert "$WORK/look.png" -crop 425x74+1+84 +repage -threshold 50% txt:- | md5sum
}

# Clicks Teclix's paste button, in the top right corner of its window (with no
# window manager the X window is the client area), raised above the targets first.
click_paste_button() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  xdotool windowraise "$TECLIX_ID"
  eval "$(xdotool getwindowgeometry --shell "$TECLIX_ID")"
  xdotool mousemove --sync $((X + WIDTH - 60)) $((Y + 15)) click 1
}

run_console_group() {
  # Wine reads the X layout when each program starts.
  setxkbmap -layout es && setxkbmap -query | grep -qE '^layout: +es$' || { problem "no Spanish X layout"; record 1; return; }
  start_teclix es_ES.UTF-8
  CURRENT_LOCALE=es_ES.UTF-8
  local SEP=$'\x1f' name clip want check rc started accents idle
  accents='Él comió pingüinos: qué día, ÁLVARO. Crème brûlée à la mode; ^ y ` y ´ y ¨.'
  # name, clipboard, what the Spanish guest reads, and the right Alt check (printf formats)
  while IFS=$SEP read -r name clip want check; do
    begin_case "console, $name"
    printf -- "$clip" >"$WORK/clip"
    printf -- "$want" >"$WORK/want"
    rc=1
    if TARGET_EXE=vmconnect new_target --scan es && set_clipboard "$WORK/clip"; then
      idle=$(instruction_look)
      started=$(date +%s.%N)
      xdotool key F10
      # A paste of seconds shows its progress where the instruction is.
      if [ "$name" = "accents through dead keys" ] &&
        ! wait_until 10 eval '[ "$(instruction_look)" != "$idle" ]'; then
        problem "no progress shown"
      elif [ "$name" = "accents through dead keys" ] &&
        ! cp "$WORK/look.png" "$ARTIFACTS/teclix-win32-console-progress.png"; then
        problem "no picture of the progress"
      elif expect_output "$TARGET_OUT" "$WORK/want" 60; then
        echo "  $(wc -m <"$WORK/want") characters in $(echo "$(date +%s.%N) - $started" | bc) s"
        wait_until 10 keys_as_typed "$TARGET_OUT.keys" console $check >/dev/null
        keys_as_typed "$TARGET_OUT.keys" console $check && rc=0
      fi
      cp "$TARGET_OUT.keys" "$ARTIFACTS/console-$TARGET_N.keys" 2>/dev/null
    fi
    close_target
    record $rc
  done <<CASES
accents through dead keys${SEP}$accents${SEP}$accents${SEP}
AltGr as the right Alt key${SEP}correo@teclix.example #12 | ~4 ok${SEP}correo@teclix.example #12 | ~4 ok${SEP}altgr
characters no key types are left out${SEP}a Привет b 😀 c\\tfin\\r\\n${SEP}a  b  c\\tfin\\r\\n${SEP}
a number: the keypad decimal key's character, with the main block's key${SEP}-1.234,5${SEP}-1234.50${SEP}
CASES

  # A virtual machine's window whose low-level hook takes F10 for the guest: F10
  # types nothing and the window says so; the countdown, started with a click on
  # Teclix's button, types into it once it is clicked into.
  begin_case "console with a keyboard hook: F10 taken is said, the countdown types"
  printf -- 'uno\tdos (tres) correo@teclix.example #5 | ~6 ok\r\n' >"$WORK/clip"
  rc=1
  if TARGET_EXE=vmconnect new_target --scan es --swallow-f10 && set_clipboard "$WORK/clip"; then
    idle=$(instruction_look)
    xdotool key F10
    if ! wait_until 10 grep -qx 2 "$TARGET_OUT.swallowed"; then
      problem "the hook did not take F10: $(cat "$TARGET_OUT.swallowed")"
    elif ! wait_until 10 eval '[ "$(instruction_look)" != "$idle" ]'; then
      problem "the window did not say that F10 went elsewhere"
    elif [ -s "$TARGET_OUT" ]; then
      problem "F10 typed into the hooked window: $(cat "$TARGET_OUT")"
    else
      cp "$WORK/look.png" "$ARTIFACTS/teclix-win32-f10-taken.png"
      click_paste_button
      activate "$TARGET_ID"
      expect_output "$TARGET_OUT" "$WORK/clip" 30 && rc=0
    fi
  fi
  close_target
  record $rc

  begin_case "the same text into an edit control, directly"
  printf -- "$accents" >"$WORK/accents"
  rc=1
  if new_target && set_clipboard "$WORK/accents"; then
    started=$(date +%s.%N)
    xdotool key F10
    expect_output "$TARGET_OUT" "$WORK/accents" && rc=0
    echo "  arrived in $(echo "$(date +%s.%N) - $started" | bc) s"
  fi
  close_target
  record $rc

  begin_case "the same text's key events, directly: Unicode for accents, at full speed"
  rc=1
  if new_target --scan es && set_clipboard "$WORK/accents"; then
    xdotool key F10
    # Settled: the log holds the last Unicode event, the final full stop's release after it.
    if wait_until 20 grep -q "up 34 0 be" "$TARGET_OUT.keys"; then
      wait_until 5 keys_as_typed "$TARGET_OUT.keys" direct >/dev/null
      keys_as_typed "$TARGET_OUT.keys" direct && rc=0
    else
      problem "no key events arrived"
    fi
  fi
  close_target
  record $rc
}
