# shellcheck shell=bash
# Windows end-to-end group "package" (sourced by e2e_win32.sh): the zip CPack makes
# (TECLIX_CPACK, named with TECLIX_VERSION), what it holds, its LEEME.txt, and its
# Teclix.exe run from where it was unzipped.


# Checks LEEME.txt as Notepad would read it: UTF-8 (a byte-order mark allowed), CR LF
# line ends only, and the words the user needs.
readme_ok() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
problems = []
try:
    text = data.decode("utf-8-sig")
except UnicodeDecodeError as e:
    problems.append(f"not UTF-8: {e}")
    text = ""
if data.replace(b"\r\n", b"").count(b"\n") or data.replace(b"\r\n", b"").count(b"\r"):
    problems.append("a line ends otherwise than with CR LF")
for words in ("F10", "«Pegar en 5 s»", "administrador"):
    if words not in text:
        problems.append(f"no mention of {words}")
lines = text.split("\r\n")
if len(lines) > 40:
    problems.append(f"{len(lines)} lines: more than a screen")
for p in problems:
    print("  " + p)
sys.exit(1 if problems else 0)
PY
}

run_package_group() {
  local zip="$WORK/package/Teclix-${TECLIX_VERSION:?}-windows-x64.zip" rc names

  begin_case "cpack makes the zip, holding Teclix.exe and LEEME.txt only"
  rc=1
  if ! (cd "$BUILD" && "${TECLIX_CPACK:?}" -G ZIP -B "$WORK/package") >"$WORK/cpack.log" 2>&1; then
    problem "cpack failed: $(tail -n 3 "$WORK/cpack.log")"
  elif [ ! -f "$zip" ]; then
    problem "no $(basename "$zip"): $(ls "$WORK/package")"
  else
    names=$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
    if [ "$names" = "LEEME.txt Teclix.exe" ]; then
      python3 -m zipfile -e "$zip" "$WORK/unzipped" && rc=0
    else
      problem "the zip holds: $names"
    fi
  fi
  record $rc

  begin_case "LEEME.txt: UTF-8 with CR LF, on F10, the countdown and administrators"
  rc=1
  if [ -f "$WORK/unzipped/LEEME.txt" ]; then
    cp "$WORK/unzipped/LEEME.txt" "$ARTIFACTS/LEEME.txt"
    readme_ok "$WORK/unzipped/LEEME.txt" && rc=0
  else
    problem "nothing unzipped"
  fi
  record $rc

  begin_case "the unzipped Teclix.exe, alone in its folder, pastes into an edit control"
  rc=1
  printf '¿Desde el zip? Sí: Ñandú, 12,50 €.' >"$WORK/clip"
  if [ -f "$WORK/unzipped/Teclix.exe" ]; then
    start_teclix en_US.UTF-8 "$WORK/unzipped/Teclix.exe"
    if new_target && set_clipboard "$WORK/clip" && xdotool key F10 &&
      expect_output "$TARGET_OUT" "$WORK/clip"; then
      rc=0
    fi
    close_target
  else
    problem "nothing unzipped"
  fi
  record $rc
}
