# shellcheck shell=bash
# Windows end-to-end group "package" (sourced by e2e_win32.sh): the zip CPack makes
# (TECLIX_CPACK, named with TECLIX_VERSION), what it holds, its LEEME.txt, and its
# Teclix.exe run from where it was unzipped.


# LEEME.txt as Notepad reads it: UTF-8 (a byte-order mark allowed), CR LF line ends
# only, and the words the user needs.
readme_ok() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
try:
    text = data.decode("utf-8-sig")
except UnicodeDecodeError as e:
    sys.exit(f"  not UTF-8: {e}")
bare = data.replace(b"\r\n", b"")
other_ends = b"\r" in bare or b"\n" in bare
missing = [w for w in ("F10", "«Pegar en 5 s»", "administrador") if w not in text]
if other_ends or missing:
    sys.exit(f"  line ends other than CR LF: {other_ends}; missing: {missing}")
PY
}

run_package_group() {
  local zip="$WORK/package/Teclix-${TECLIX_VERSION:?}-windows-x64.zip" rc=1 names

  begin_case "cpack makes the zip, holding Teclix.exe and LEEME.txt only"
  if ! (cd "$BUILD" && "${TECLIX_CPACK:?}" -G ZIP -B "$WORK/package") >"$WORK/cpack.log" 2>&1; then
    problem "cpack failed: $(tail -n 3 "$WORK/cpack.log")"
  elif [ ! -f "$zip" ]; then
    problem "no $(basename "$zip"): $(ls "$WORK/package")"
  else
    names=$(python3 -c 'import sys, zipfile; print(*sorted(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    [ "$names" = "LEEME.txt Teclix.exe" ] || problem "the zip holds: $names"
    [ "$names" = "LEEME.txt Teclix.exe" ] && python3 -m zipfile -e "$zip" "$WORK/unzipped" && rc=0
  fi
  record $rc
  [ $rc -eq 0 ] || return

  begin_case "LEEME.txt: UTF-8 with CR LF, on F10, the countdown and administrators"
  cp "$WORK/unzipped/LEEME.txt" "$ARTIFACTS/LEEME.txt"
  readme_ok "$WORK/unzipped/LEEME.txt"
  record $?

  begin_case "the unzipped Teclix.exe, alone in its folder, pastes into an edit control"
  rc=1
  printf '¿Desde el zip? Sí: Ñandú, 12,50 €.' >"$WORK/clip"
  start_teclix en_US.UTF-8 "$WORK/unzipped/Teclix.exe"
  if new_target && set_clipboard "$WORK/clip" && xdotool key F10 &&
    expect_output "$TARGET_OUT" "$WORK/clip"; then
    rc=0
  fi
  close_target
  record $rc
}
