# shellcheck shell=bash
# What the GNOME end-to-end tests need beyond kwin.sh (whose X11 clipboard, GTK
# entries and session bus they share): headless mutter with Xwayland, no
# gnome-shell; the desktop portal with its GNOME backend; a stand-in locale1 on a
# system bus of the session's own, from which mutter takes the seat's layout; and
# a person's hands on mutter's own remote-desktop keyboard (desktop_tool mutter-keys), to
# answer the portal's dialog. start_gnome LAYOUT starts it all.

# shellcheck source=kwin.sh
source "$(dirname "${BASH_SOURCE[0]}")/kwin.sh"

WL_DISPLAY=wayland-gnome
HANDS=mutter-keys

# start_gnome LAYOUT: mutter on WL_DISPLAY with LAYOUT on its seat, and its portals.
start_gnome() {
  WL_ENV=(DBUS_SESSION_BUS_ADDRESS="unix:path=$WL_DIR/run/bus" XDG_CURRENT_DESKTOP=GNOME
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$WL_DIR/run/system_bus" GDK_BACKEND=wayland
    XDG_SESSION_TYPE=wayland)
  local bus
  for bus in bus system_bus; do
    as_user dbus-daemon --session --nofork --address="unix:path=$WL_DIR/run/$bus" \
      >/dev/null 2>>"$E2E_TMP/dbus.log" &
    track $!
    wait_until 10 test -S "$WL_DIR/run/$bus" || die "the $bus did not start"
  done
  as_user "$WL_DIR/desktop_tool" locale1 "$1" >"$E2E_TMP/locale1.out" 2>&1 &
  track $!
  wait_until 5 grep -qx ready "$E2E_TMP/locale1.out" || die "no stand-in locale1"
  # The portal's backends for GNOME, as gnome-session installs them.
  mkdir -p "$WL_DIR/home/.config/xdg-desktop-portal"
  printf '[preferred]\ndefault=gnome;gtk;\n' >"$WL_DIR/home/.config/xdg-desktop-portal/gnome-portals.conf"
  chown -R "$WL_UID:$WL_GID" "$WL_DIR/home"
  as_user mutter --wayland --headless --virtual-monitor 1280x800 --wayland-display "$WL_DISPLAY" \
    </dev/null >"$E2E_TMP/mutter.log" 2>&1 &
  track $!
  wait_until 20 test -S "$WL_DIR/run/$WL_DISPLAY" || die "mutter did not start: $(tail -n5 "$E2E_TMP/mutter.log")"
  wait_until 20 has user_x_socket || die "mutter has no Xwayland: $(tail -n5 "$E2E_TMP/mutter.log")"
  WL_X=:$(basename "$(user_x_socket)" | tr -d X)
  # mutter's Xwayland asks its clients for the cookie it writes here
  local auth
  auth=$(compgen -G "$WL_DIR/run/.mutter-Xwaylandauth.*" | head -n1)
  [ -n "$auth" ] || die "mutter wrote no X authority"
  WL_ENV+=(XAUTHORITY="$auth")
  as_user dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.UpdateActivationEnvironment \
    "dict:string:string:XDG_CURRENT_DESKTOP,GNOME,WAYLAND_DISPLAY,$WL_DISPLAY,DISPLAY,$WL_X,XAUTHORITY,$auth,GDK_BACKEND,wayland,XDG_SESSION_TYPE,wayland" \
    >/dev/null || die "could not set the session bus's environment"
  log "mutter on $WL_DISPLAY, Xwayland on $WL_X, layout $1"
}

# answer_dialog SHOWN: once a dialog more than SHOWN is up (the portal's backend
# says it has no parent window for it) and has the focus, the person allows remote
# interaction (GNOME 48: Alt+I; GNOME 43's switch has no mnemonic: Tab to it,
# Space) and shares (Alt+S). Share does nothing until the switch is on: it is
# pressed again until the session starts, and the switch again if that fails.
dialogs_shown() { grep -c 'Failed to associate portal window' "$E2E_TMP/dbus.log"; }
answer_dialog() {
  local before=$1
  start_hands
  wait_until 20 test "$(dialogs_shown)" -gt "$before" || log "no dialog was shown"
  wait_until 5 no_x11_window_active || log "the dialog did not get the focus"
  local round
  for round in 1 2 3; do
    # GNOME 48: Alt+I, the switch's own key. GNOME 43: Tab to the switch and Space,
    # once only: a second Tab would reach Cancel, and Space would cancel.
    if [ -n "$WL_ROOT" ]; then tap ffe9 69; elif [ "$round" = 1 ]; then tap ff09 && tap 20; fi
    wait_until 4 share_starts && return
  done
}
share_starts() {
  tap ffe9 73
  wait_until 1 teclix_ready
}
