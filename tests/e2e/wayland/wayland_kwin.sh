#!/usr/bin/env bash
# teclix in a KDE Wayland session, where no virtual keyboard is offered: headless
# KWin with Xwayland, its own session bus with the desktop portal and its KDE
# backend, GTK entries (zenity) as targets, each paste asked for with
# "teclix --paste". The keys go through the portal's remote-desktop session.

# shellcheck source=kwin.sh
source "$(dirname "$0")/kwin.sh"
FAKE_PID=
PRESS_WITH=paste # or shortcut: the stand-in portal's global shortcut


if [ -n "$WL_ROOT" ]; then
  # Plasma 6: two layouts, the US one active at first; teclix installed for the
  # user with its menu entry (as cmake --install writes it), which asks KWin for
  # the key states.
  mkdir -p "$WL_DIR/home/.config" "$WL_DIR/home/.local/share/applications"
  printf '[Layout]\nLayoutList=us,es\nUse=true\n' >"$WL_DIR/home/.config/kxkbrc"
  sed "s|^Exec=teclix|Exec=$WL_TECLIX|" "$(dirname "$0")/../../../resources/teclix.desktop" \
    >"$WL_DIR/home/.local/share/applications/teclix.desktop"
  chown -R "$WL_UID:$WL_GID" "$WL_DIR/home"
fi
start_kwin
[ -z "$WL_ROOT" ] || kde_authorize yes
start_wayland_teclix
wait_until 20 teclix_ready || die "the portal's session did not start: $(cat "$TECLIX_ERR")"

# The layout's characters (US) exact, every printable ASCII sign.
entry_case ascii "The Quick Brown Fox, jumps over: \"lazy\" dog's #1 (test) [a-z] {x} <y> ~/path?&=%\$@!^*_+|;\` C:\\dir" \
  "The Quick Brown Fox, jumps over: \"lazy\" dog's #1 (test) [a-z] {x} <y> ~/path?&=%\$@!^*_+|;\` C:\\dir"
entry_case ascii_again "abc XYZ 123" "abc XYZ 123"
# Characters the layout has no key for are left out, and none garbled.
entry_case outside "año € Жж ΩZ fin" "ao   Z fin"
# An entry busy for 3 s as the paste begins keeps its window and the whole text.
busy=$(head -c 3000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()/@#%+=-' | head -c 1000)
ENTRY_BUSY=3 entry_case busy_1000 "$busy" "$busy"

if [ -n "$WL_ROOT" ]; then
  # --- Plasma 6: a long line, the restore token, the global shortcut -----------------
  start_hands # the person's, used further on
  line=$(head -c 9000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()/@#%+=-' | head -c 3000)
  entry_case line_3000 "$line" "$line"
  # The user switches to the second layout (Spanish): its keys, not the first's.
  as_user dbus-send --session --print-reply --dest=org.kde.keyboard /Layouts \
    org.kde.KeyboardLayouts.setLayout uint32:1 >/dev/null || fail "kwin/second_layout: no switch"
  entry_case second_layout "año; Ñ: ¿\"x\"?" "año; Ñ: ¿\"x\"?"
  as_user dbus-send --session --print-reply --dest=org.kde.keyboard /Layouts \
    org.kde.KeyboardLayouts.setLayout uint32:0 >/dev/null
  # Caps Lock on: the case as copied.
  tap ffe5
  entry_case caps_lock "Hello World, abc XYZ 123" "Hello World, abc XYZ 123"
  tap ffe5
  # Shift still held when the paste is asked for (the shortcut's keys): the paste
  # waits for it to be let go.
  hands press ffe1
  printf 'sin Shift\n' >"$E2E_TMP/clip"
  cp "$E2E_TMP/clip" "$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  start_entry held_shift "$E2E_TMP/held.out" || fail "kwin/held_shift: no focus"
  "${E2E_PASTE[@]}"
  sleep 0.5 # the user lets go a moment later
  hands release ffe1
  wait_until 20 pid_gone "$ENTRY_PID" || stop_pid "$ENTRY_PID"
  expect_same kwin/held_shift_waited_for "$E2E_TMP/expected" "$E2E_TMP/held.out"
  TOKEN=$WL_DIR/home/.local/state/teclix/restore-token
  [ -s "$TOKEN" ] && pass kwin/token_kept || fail "kwin/token_kept: no restore token"

  # F10, pressed by the person, pastes once; a line break pasted by the command
  # then submits the entry.
  grep -q 'atajo global del portal asignado' "$TECLIX_ERR" && pass kwin/shortcut_bound ||
    fail "kwin/shortcut_bound: $(cat "$TECLIX_ERR")"
  shortcut_pastes_once() {
    local out=$E2E_TMP/$1.out
    printf 'ab' >"$E2E_TMP/clip"
    set_clipboard "$E2E_TMP/clip"
    start_entry "$1" "$out" || fail "kwin/$1: the entry did not get the focus"
    tap ffc7
    sleep 1.5 # a second paste of the same press would come within this
    printf '\n' >"$E2E_TMP/clip"
    set_clipboard "$E2E_TMP/clip"
    "${E2E_PASTE[@]}"
    printf 'ab\n' >"$E2E_TMP/expected"
    wait_until 10 pid_gone "$ENTRY_PID" || stop_pid "$ENTRY_PID"
    expect_same "kwin/$1" "$E2E_TMP/expected" "$out"
  }
  shortcut_pastes_once f10_pastes_once

  # The next run: no standing permission, no dialog (the token restores the
  # session), and F10 is still the shortcut's key.
  stop_pid "$TECLIX_PID"
  kde_authorize no
  : >"$TECLIX_ERR"
  start_wayland_teclix
  wait_until 20 teclix_ready && pass kwin/token_restores_without_dialog ||
    fail "kwin/token_restores_without_dialog: $(cat "$TECLIX_ERR")"
  wait_until 10 grep -q 'atajo global del portal asignado' "$TECLIX_ERR"
  shortcut_pastes_once f10_kept_next_run

  # The desktop ends the emulated input in the middle of a paste (its portal's
  # backend goes away): the paste stops there, and teclix stays up and says so.
  head -c 30000 /dev/urandom | tr -dc 'A-Za-z0-9' | head -c 8000 >"$E2E_TMP/clip"
  set_clipboard "$E2E_TMP/clip"
  start_entry closed_mid_paste /dev/null || fail "kwin/closed_mid_paste: no focus"
  "${E2E_PASTE[@]}"
  backend=$(as_user dbus-send --session --print-reply --dest=org.freedesktop.DBus \
    /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID \
    string:org.freedesktop.impl.portal.desktop.kde | awk '/uint32/ { print $2 }')
  [ -n "$backend" ] && kill "$backend"
  # (a request taken at once shows the paste over: one asked during a paste is
  # turned away when it ends)
  if wait_until 10 grep -q 'el escritorio cerró la sesión del portal' "$TECLIX_ERR" &&
    "${E2E_PASTE[@]}" && kill -0 "$TECLIX_PID"; then
    pass kwin/closed_mid_paste_said
  else
    fail "kwin/closed_mid_paste_said: $(grep -v '^>' "$TECLIX_ERR" | tail -n5)"
  fi
  stop_pid "$ENTRY_PID"
fi

# --- a portal of version 2 (GNOME's, from xdg-desktop-portal 1.18), and a user who ---
# refuses, through a stand-in portal on a bus of its own that records each call

stop_pid "$TECLIX_PID"
cp "$E2E_BUILD/tests/e2e/wayland/fake_portal" "$WL_DIR/fake_portal"
mkdir -p "$WL_DIR/state" && chown "$WL_UID:$WL_GID" "$WL_DIR/state"
KWIN_ENV=("${WL_ENV[@]}")
WL_ENV=(DBUS_SESSION_BUS_ADDRESS="unix:path=$WL_DIR/run/bus2" XDG_STATE_HOME="$WL_DIR/state"
  GDK_BACKEND=wayland)
as_user dbus-daemon --session --nofork --address="unix:path=$WL_DIR/run/bus2" \
  >/dev/null 2>>"$E2E_TMP/dbus.log" &
BUS2_PID=$!
track "$BUS2_PID"
wait_until 10 test -S "$WL_DIR/run/bus2" || die "the second session bus did not start"
TOKEN=$WL_DIR/state/teclix/restore-token

# fake_start NAME [OPTIONS]: the stand-in portal (its calls in $E2E_TMP/NAME.calls)
# and teclix, once teclix has asked to start the session.
fake_start() {
  local calls=$E2E_TMP/$1.calls name=$1
  shift
  as_user "$WL_DIR/fake_portal" "$@" >"$calls" 2>>"$E2E_TMP/fake_portal.log" &
  FAKE_PID=$!
  track "$FAKE_PID"
  wait_until 5 grep -qx ready "$calls" || die "the stand-in portal did not start"
  : >"$TECLIX_ERR"
  start_wayland_teclix
  wait_until 10 grep -q '^Start' "$calls" || fail "fake/$name: the session was not started"
  # Its window, activated when it maps, must be up before the entry takes the
  # focus from it: mapped later, it would take the paste itself.
  wait_until 10 teclix_shown || fail "fake/$name: teclix's window did not appear"
}
teclix_shown() { as_user xdotool search --onlyvisible --name '^Teclix - ' >/dev/null 2>&1; }
# fake_session NAME [OPTIONS]: fake_start, with a GTK entry (a Wayland window) in
# front; then one paste of "ab".
fake_session() {
  local calls=$E2E_TMP/$1.calls entry
  fake_start "$@"
  start_entry fake /dev/null || fail "fake/$1: the entry did not get the focus"
  entry=$ENTRY_PID
  printf 'ab' >"$E2E_TMP/clip"
  set_clipboard "$E2E_TMP/clip"
  if [ "$PRESS_WITH" != paste ]; then
    wait_until 10 grep -q 'atajo global del portal asignado' "$TECLIX_ERR"
    if [ "$PRESS_WITH" = both ]; then
      # the desktop hands the press to Xwayland too, and its shortcut's signal
      # comes while the paste it started is typed
      as_user xdotool key F10
      wait_until 5 grep -q "key 30 1" "$calls"
    fi
    kill -USR1 "$FAKE_PID"
  else
    "${E2E_PASTE[@]}"
  fi
  wait_until 5 grep -q "key 48 0" "$calls" || log "teclix said: $(cat "$TECLIX_ERR")"
  # a second paste of the same press would come within a moment
  [ "$PRESS_WITH" != both ] || wait_until 2 test "$(grep -c 'key 48 0' "$calls")" -gt 1
  stop_pid "$entry"
  stop_pid "$TECLIX_PID"
  wait_until 5 grep -qx Close "$calls"
  stop_pid "$FAKE_PID"
}
keys_of() { grep '^key' "$1" | tr '\n' ';'; }
# A Shift tap first (a session's first key may be swallowed), then a and b.
AB="key 42 1;key 42 0;key 30 1;key 30 0;key 48 1;key 48 0;"

fake_session v2_first
check() { if eval "$2"; then pass "$1"; else fail "$1: $(tr '\n' ';' <"$3")"; fi; }
check fake/v2_first/keeps_the_session 'grep -qx "SelectDevices types=1 persist_mode=2" "$E2E_TMP/v2_first.calls"' "$E2E_TMP/v2_first.calls"
check fake/v2_first/types_by_keycode '[ "$(keys_of "$E2E_TMP/v2_first.calls")" = "$AB" ]' "$E2E_TMP/v2_first.calls"
check fake/v2_first/closes_at_exit 'grep -qx Close "$E2E_TMP/v2_first.calls"' "$E2E_TMP/v2_first.calls"
check fake/v2_first/token_kept_owner_only '[ "$(cat "$TOKEN")" = token-1 ] && [ "$(stat -c %a "$TOKEN")" = 600 ] && [ "$(stat -c %a "$(dirname "$TOKEN")")" = 700 ]' "$E2E_TMP/v2_first.calls"

fake_session v2_again
check fake/v2_again/restores_with_the_token 'grep -qx "SelectDevices types=1 persist_mode=2 restore_token=token-1" "$E2E_TMP/v2_again.calls"' "$E2E_TMP/v2_again.calls"

# A token the portal will not take is dropped and the session asked for anew.
printf 'not-a-uuid\n' >"$TOKEN"
fake_session bad_token --reject-token
check fake/bad_token/asked_again '[ "$(grep ^SelectDevices "$E2E_TMP/bad_token.calls" | tr "\n" ";")" = "SelectDevices types=1 persist_mode=2 restore_token=not-a-uuid;SelectDevices types=1 persist_mode=2;" ] && [ "$(keys_of "$E2E_TMP/bad_token.calls")" = "$AB" ] && grep -qx "token-[0-9]*" "$TOKEN"' "$E2E_TMP/bad_token.calls"

fake_session refused --refuse
check fake/refused/types_nothing '[ -z "$(keys_of "$E2E_TMP/refused.calls")" ]' "$E2E_TMP/refused.calls"
check fake/refused/said 'grep -q "el portal no dio el teclado" "$TECLIX_ERR"' "$TECLIX_ERR"

fake_session v1 --version 1

# A portal that hands out an emulated-input socket its server closes at once: with
# libei there (Debian 13) nothing is typed, by D-Bus either, and it is said; without
# it (Debian 12) the socket is not asked for and the keys go by D-Bus.
fake_session eis_closed --eis-closed
if [ -n "$WL_ROOT" ]; then
  check fake/eis_closed/types_nothing '[ -z "$(keys_of "$E2E_TMP/eis_closed.calls")" ] && grep -qx ConnectToEIS "$E2E_TMP/eis_closed.calls"' "$E2E_TMP/eis_closed.calls"
  check fake/eis_closed/said 'grep -q "el portal no dio el teclado" "$TECLIX_ERR"' "$TECLIX_ERR"
else
  check fake/eis_without_libei/keys_by_dbus '[ "$(keys_of "$E2E_TMP/eis_closed.calls")" = "$AB" ]' "$E2E_TMP/eis_closed.calls"
fi
check fake/v1/asks_no_persistence 'grep -qx "SelectDevices types=1" "$E2E_TMP/v1.calls"' "$E2E_TMP/v1.calls"

# A desktop with global shortcuts: F10 is asked for, and its press pastes.
PRESS_WITH=shortcut fake_session shortcut --shortcuts
check fake/shortcut/asks_for_f10 'grep -qx "BindShortcuts paste F10" "$E2E_TMP/shortcut.calls"' "$E2E_TMP/shortcut.calls"
check fake/shortcut/same_session_name_every_run 'grep -qx "ShortcutsSession token=teclix_shortcuts" "$E2E_TMP/shortcut.calls"' "$E2E_TMP/shortcut.calls"
check fake/shortcut/press_pastes '[ "$(keys_of "$E2E_TMP/shortcut.calls")" = "$AB" ]' "$E2E_TMP/shortcut.calls"
# One press that comes both through the portal and through Xwayland pastes once.
PRESS_WITH=both fake_session both --shortcuts
check fake/shortcut/one_press_pastes_once '[ "$(keys_of "$E2E_TMP/both.calls")" = "$AB" ]' "$E2E_TMP/both.calls"

# --- faults: a portal that stops answering, a bus that goes away ------------------------

fake_ready() { wait_until 10 teclix_ready || die "no session: $(cat "$TECLIX_ERR")"; }
# The paste ends at the first key the portal leaves unanswered (not one wait a
# key), and the window says so.
fake_start hung --hang-after 4
fake_ready
start_entry hung /dev/null
printf 'abcdefghijklmnopqrstuvwxyz' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
asked=$SECONDS
"${E2E_PASTE[@]}"
if wait_until 20 grep -q 'no responde' "$TECLIX_ERR"; then
  ((SECONDS - asked <= 9)) && pass fake/hung_portal_ends_the_paste ||
    fail "fake/hung_portal_ends_the_paste: said after $((SECONDS - asked)) s"
else
  fail "fake/hung_portal_ends_the_paste: nothing said: $(cat "$TECLIX_ERR")"
fi
stop_pid "$ENTRY_PID"
stop_pid "$TECLIX_PID"
stop_pid "$FAKE_PID"

# The session's bus goes away: said, and the loop does not spin on its descriptor.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
fake_start bus_lost
fake_ready
stop_pid "$BUS2_PID"
if wait_until 5 grep -q 'se perdió la conexión con el bus' "$TECLIX_ERR"; then
  pass fake/bus_lost_said
  before=$(cpu_ticks "$TECLIX_PID")
  sleep 2 # the time a spinning loop would burn
  used=$(($(cpu_ticks "$TECLIX_PID") - before))
  ((used < 20)) && pass fake/bus_lost_no_spin || fail "fake/bus_lost_no_spin: $used ticks in 2 s"
else
  fail "fake/bus_lost_said: $(cat "$TECLIX_ERR")"
fi

finish
