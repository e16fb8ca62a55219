# shellcheck shell=bash
# What the KDE end-to-end tests (and bench/run.sh) need beyond sway.sh: headless
# KWin with Xwayland, its own session bus whose desktop portal has the KDE
# backend, and the X11 clipboard (see set_clipboard). start_kwin starts it all.

# shellcheck source=sway.sh
source "$(dirname "${BASH_SOURCE[0]}")/sway.sh"

WL_DISPLAY=wayland-kwin
WL_ENV=(DBUS_SESSION_BUS_ADDRESS="unix:path=$WL_DIR/run/bus" XDG_CURRENT_DESKTOP=KDE
  GDK_BACKEND=wayland)

user_x_socket() { find /tmp/.X11-unix -maxdepth 1 -user "$WL_USER" -name 'X*' -newer "$WL_DIR/sway.conf" | head -n1; }
start_kwin() {
  # Debian's kwin_wayland carries a file capability that a container refuses; a
  # plain copy of it (named as it is) runs.
  cp "$WL_ROOT/usr/bin/kwin_wayland" "$WL_DIR/kwin_wayland"
  chown "$WL_UID:$WL_GID" "$WL_DIR/kwin_wayland"
  as_user dbus-daemon --session --nofork --address="unix:path=$WL_DIR/run/bus" \
    >/dev/null 2>"$E2E_TMP/dbus.log" &
  track $!
  wait_until 10 test -S "$WL_DIR/run/bus" || die "the session bus did not start"
  # The portal, started by the bus when asked (by KWin 6 as it starts), takes the
  # desktop's backend from the environment the bus hands it.
  activation_environment "XDG_CURRENT_DESKTOP,KDE,WAYLAND_DISPLAY,$WL_DISPLAY,QT_QPA_PLATFORM,wayland"
  if [ -n "$WL_ROOT" ]; then
    # Plasma 6: the portal wants PipeWire, and KWin shows its restricted
    # protocols (the portal's input) to the programs of its application index,
    # which a menu file lets it build.
    as_user pipewire </dev/null >"$E2E_TMP/pipewire.log" 2>&1 &
    track $!
    wait_until 10 test -S "$WL_DIR/run/pipewire-0" || die "PipeWire did not start"
    mkdir -p "$WL_DIR/home/.config/menus"
    printf '<Menu><Name>Applications</Name><DefaultAppDirs/><Include><All/></Include></Menu>\n' \
      >"$WL_DIR/home/.config/menus/applications.menu"
    chown -R "$WL_UID:$WL_GID" "$WL_DIR/home"
  fi
  as_user env QT_QPA_PLATFORM=offscreen "$WL_DIR/kwin_wayland" --virtual --no-lockscreen \
    --socket "$WL_DISPLAY" --xwayland </dev/null >"$E2E_TMP/kwin.log" 2>&1 &
  track $!
  wait_until 20 test -S "$WL_DIR/run/$WL_DISPLAY" || die "KWin did not start: $(tail -n5 "$E2E_TMP/kwin.log")"
  wait_until 20 has user_x_socket || die "KWin has no Xwayland: $(tail -n5 "$E2E_TMP/kwin.log")"
  WL_X=:$(basename "$(user_x_socket)" | tr -d X)
  activation_environment "DISPLAY,$WL_X"
  log "KWin on $WL_DISPLAY, Xwayland on $WL_X"
}
# activation_environment NAME,VALUE,...: what the session bus hands the services it starts.
activation_environment() {
  as_user dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.UpdateActivationEnvironment "dict:string:string:$1" \
    >/dev/null || die "could not set the session bus's environment"
}

# The X11 clipboard: KWin 5.27 names the forms of a clipboard set through data
# control in garbled bytes, so the texts are put there by xclip.
CLIP_PID=
set_clipboard() {
  [ -z "$CLIP_PID" ] || stop_pid "$CLIP_PID"
  as_user xclip -selection clipboard -quiet -i <"$1" >/dev/null 2>>"$E2E_TMP/xclip.log" &
  CLIP_PID=$!
  track "$CLIP_PID"
  wait_until 10 clipboard_is "$1" || die "xclip did not take the clipboard: $(tail -n3 "$E2E_TMP/xclip.log")"
}
clipboard_is() { as_user xclip -selection clipboard -o 2>/dev/null | cmp -s - "$1"; }

# No X11 window is active: the window manager says none is, or names a window of
# its own that it does not list among its clients (mutter's, while a Wayland
# window has the focus).
no_x11_window_active() {
  local active
  active=$(as_user xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# //p')
  [ "$active" = 0x0 ] || ! as_user xprop -root _NET_CLIENT_LIST | grep -qE "[ #]$active(,|\$)"
}

# start_entry NAME OUT: a GTK entry (a Wayland window) that gets the focus and
# writes what it holds to OUT once a line break submits it; ENTRY_PID.
ENTRY_PID=
start_entry() {
  as_user zenity --entry --title "target-$1" >"$2" 2>>"$E2E_TMP/zenity.log" &
  ENTRY_PID=$!
  track "$ENTRY_PID"
  wait_until 10 no_x11_window_active
}

# kde_authorize yes|no: the standing permission Plasma keeps for programs that may
# control the desktop without asking (what a person gives a headless machine),
# for programs it cannot name; Plasma 6 asks each other program in a dialog.
kde_authorize() {
  local call=(SetPermission string:kde-authorized boolean:true string:remote-desktop string: array:string:yes)
  [ "$1" = yes ] || call=(DeletePermission string:kde-authorized string:remote-desktop string:)
  as_user dbus-send --session --print-reply --dest=org.freedesktop.impl.portal.PermissionStore \
    /org/freedesktop/impl/portal/PermissionStore "org.freedesktop.impl.portal.PermissionStore.${call[0]}" \
    "${call[@]:1}" >/dev/null || die "the permission store did not take it"
}

WL_NAME=kwin # the tests' names start with it
# teclix's portal session has started.
teclix_ready() { grep -q 'portal de escritorio remoto (versión' "$TECLIX_ERR"; }
# entry_case NAME TEXT EXPECTED: a new GTK entry gets the focus; TEXT (with a
# line break at its end, which submits the entry) is pasted into it, and the
# entry must hold exactly EXPECTED.
entry_case() {
  local name=$1 out=$E2E_TMP/entry.out entry
  printf '%s\n' "$2" >"$E2E_TMP/clip"
  printf '%s\n' "$3" >"$E2E_TMP/expected"
  set_clipboard "$E2E_TMP/clip"
  : >"$out"
  start_entry "$name" "$out" || { fail "$WL_NAME/$name: the entry did not get the focus"; return; }
  entry=$ENTRY_PID
  if [ -n "${ENTRY_BUSY:-}" ]; then # the entry busy for that long as the paste begins
    paste_into_stopped "$WL_NAME/$name" "$entry" "$ENTRY_BUSY" || return
  else
    "${E2E_PASTE[@]}" || { fail "$WL_NAME/$name: teclix --paste failed"; return; }
  fi
  if wait_until 30 pid_gone "$entry"; then
    expect_same "$WL_NAME/$name" "$E2E_TMP/expected" "$out"
  else
    fail "$WL_NAME/$name: the entry was not submitted; it holds no line break"
    stop_pid "$entry"
  fi
}

# The person at the desk: keys pressed through the desktop (desktop_tool HANDS:
# portal-keys, or mutter-keys on GNOME), one "tap" line each (hexadecimal
# keysyms), while HANDS_PID runs.
cp "$E2E_BUILD/tests/e2e/wayland/desktop_tool" "$WL_DIR/desktop_tool"
chown "$WL_UID:$WL_GID" "$WL_DIR/desktop_tool"
HANDS=portal-keys
HANDS_PID=
start_hands() {
  rm -f "$WL_DIR/hands.in"
  mkfifo "$WL_DIR/hands.in"
  chown "$WL_UID:$WL_GID" "$WL_DIR/hands.in"
  as_user "$WL_DIR/desktop_tool" "$HANDS" <"$WL_DIR/hands.in" >"$E2E_TMP/hands.out" 2>&1 &
  HANDS_PID=$!
  track "$HANDS_PID"
  exec {HANDS_FD}>"$WL_DIR/hands.in"
  wait_until 5 grep -qx ready "$E2E_TMP/hands.out" || die "no keyboard from the desktop: $(cat "$E2E_TMP/hands.out")"
  # a session's first key may be dropped (mutter does)
  tap ffe1
}
tap() { hands tap "$@"; }
# hands tap|press|release KEYSYM...
hands() {
  printf '%s\n' "$*" >&"$HANDS_FD"
  wait_until 5 grep -qx "done $*" "$E2E_TMP/hands.out"
}
stop_hands() {
  exec {HANDS_FD}>&-
  wait_until 5 pid_gone "$HANDS_PID"
  stop_pid "$HANDS_PID"
}
