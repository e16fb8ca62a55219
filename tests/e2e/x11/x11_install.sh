#!/usr/bin/env bash
# cmake --install puts teclix, its menu entry and its icons where a desktop finds them.
source "$(dirname "$0")/teclix.sh"

stage=$E2E_TMP/stage
cmake --install "$E2E_BUILD" --prefix "$stage/usr" >"$E2E_TMP/install.log" 2>&1 ||
  die "cmake --install failed: $(cat "$E2E_TMP/install.log")"

if [ -x "$stage/usr/bin/teclix" ]; then pass "installed/bin"; else fail "installed/bin"; fi
entry=$stage/usr/share/applications/teclix.desktop
if desktop-file-validate "$entry" >"$E2E_TMP/validate" 2>&1 && ! grep -q . "$E2E_TMP/validate"; then
  pass "desktop_entry/valid"
else
  fail "desktop_entry/valid: $(cat "$E2E_TMP/validate")"
fi
# key  value the entry must have
while IFS='|' read -r key want; do
  want=${want//@BIN@/$stage/usr/bin}
  got=$(sed -n "s/^$key=//p" "$entry")
  if [ "$got" = "$want" ]; then pass "desktop_entry/$key"; else fail "desktop_entry/$key: '$got'"; fi
done <<'KEYS'
Name|Teclix
Exec|@BIN@/teclix
X-KDE-Wayland-Interfaces|org_kde_kwin_keystate
Icon|teclix
Categories|Utility;
Type|Application
KEYS
if grep -qE '^Comment=.*(Pega|teclea)' "$entry"; then pass "desktop_entry/spanish_comment"; else fail "desktop_entry/spanish_comment"; fi
for size in 16 32 48 64 128 256; do
  icon=$stage/usr/share/icons/hicolor/${size}x$size/apps/teclix.png
  if [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x$size" ]; then
    pass "icon/$size"
  else
    fail "icon/$size: $(identify "$icon" 2>&1)"
  fi
done
finish
