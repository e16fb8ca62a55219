# shellcheck shell=bash
# What the Wayland end-to-end tests (and bench/run.sh) need beyond x11/teclix.sh:
# a headless sway session run by an unprivileged user (created here when missing:
# sway refuses to run as root), with Xwayland; teclix in it; foot terminals as
# targets; the Wayland clipboard through wl-copy; "teclix --paste" as the paste.
# Sources x11/teclix.sh (and so lib.sh) itself; start_sway starts the session.
#
# Needs: TECLIX_BUILD_DIR (the build directory); root, to create the user. With
# TECLIX_DEBIAN13 set the script runs again in the Debian 13 root (debian13.sh),
# where the session's programs are that release's; WL_ROOT is then the root.

if [ -n "${TECLIX_DEBIAN13:-}" ] && [ -z "${WL_ROOT:-}" ]; then
  exec bash "$(dirname "${BASH_SOURCE[0]}")/debian13.sh" "$0" "$@"
fi
WL_ROOT=${WL_ROOT:-}
WL_RELEASE=${WL_ROOT:+debian13/}

# shellcheck source=../x11/teclix.sh
source "$(dirname "${BASH_SOURCE[0]}")/../x11/teclix.sh"

WL_USER=teclix-e2e
if ! id -u "$WL_USER" >/dev/null 2>&1; then
  [ "$(id -u)" = 0 ] || die "user $WL_USER is missing and only root can create it"
  useradd --system --no-create-home --shell /usr/sbin/nologin "$WL_USER" ||
    die "could not create user $WL_USER"
fi
WL_UID=$(id -u "$WL_USER")
WL_GID=$(id -g "$WL_USER")
# Xwayland started by the user would make the X sockets' directory its own, and
# then other X servers (and KWin) refuse it: it is made as the system makes it.
mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
if [ -n "$WL_ROOT" ]; then # the same user in the root
  grep -q "^$WL_USER:" "$WL_ROOT/etc/passwd" || getent passwd "$WL_USER" >>"$WL_ROOT/etc/passwd"
  grep -q "^$(id -gn "$WL_USER"):" "$WL_ROOT/etc/group" || getent group "$WL_GID" >>"$WL_ROOT/etc/group"
fi
# The user's files: its home, runtime directory, the targets' output and a copy
# of teclix (the build directory may be out of its reach).
WL_DIR=$(mktemp -d /tmp/teclix-wayland.XXXXXX)
at_exit "rm -rf '$WL_DIR'"
mkdir -p "$WL_DIR/run" "$WL_DIR/home"
cp "$TECLIX" "$WL_DIR/teclix"
[ ! -x "$E2E_BUILD/tests/e2e/wayland/wayland_tool" ] || cp "$E2E_BUILD/tests/e2e/wayland/wayland_tool" "$WL_DIR/"
chown -R "$WL_UID:$WL_GID" "$WL_DIR"
chmod 700 "$WL_DIR/run"
chmod 755 "$WL_DIR"
WL_TECLIX=$WL_DIR/teclix
WL_DISPLAY=
WL_X=
WL_ENV=() # more of the session's environment (NAME=value), for other compositors

# as_user COMMAND...: runs COMMAND as the user, in the session's environment.
# In the background it replaces the subshell, so that $! is its own PID.
as_user() {
  local session=() socket
  socket=$(sway_socket)
  [ -z "$WL_DISPLAY" ] || session+=(WAYLAND_DISPLAY="$WL_DISPLAY")
  [ -z "$WL_X" ] || session+=(DISPLAY="$WL_X")
  [ -z "$socket" ] || session+=(SWAYSOCK="$socket")
  set -- ${WL_ROOT:+chroot "$WL_ROOT"} setpriv --reuid="$WL_UID" --regid="$WL_GID" --clear-groups \
    env -i HOME="$WL_DIR/home" PATH=/usr/bin:/bin LC_ALL=en_US.UTF-8 \
    XDG_RUNTIME_DIR="$WL_DIR/run" "${session[@]}" "${WL_ENV[@]}" "$@"
  if [ "$BASH_SUBSHELL" = 0 ]; then "$@"; else exec "$@"; fi
}
sway_socket() { compgen -G "$WL_DIR/run/sway-ipc.*.sock" | head -n1; }
swaymsg_() { as_user swaymsg "$@" >/dev/null; }
wayland_socket() { compgen -G "$WL_DIR/run/wayland-[0-9]" | head -n1; }
has() { [ -n "$("$1")" ]; }

cat >"$WL_DIR/sway.conf" <<CONF
xwayland enable
output HEADLESS-1 resolution 1280x800
input type:keyboard xkb_layout es
CONF
# The session's own X display, once Xwayland has one.
xwayland_display() {
  swaymsg_ exec "printenv DISPLAY > $WL_DIR/display" &&
    wait_until 5 test -s "$WL_DIR/display" && WL_X=$(cat "$WL_DIR/display")
}

start_sway() {
  as_user env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$WL_DIR/sway.conf" </dev/null >"$E2E_TMP/sway.log" 2>&1 &
  track $!
  wait_until 20 has wayland_socket || die "sway did not start: $(tail -n5 "$E2E_TMP/sway.log")"
  WL_DISPLAY=$(basename "$(wayland_socket)")
  wait_until 10 has sway_socket || die "sway's IPC socket did not appear"
  xwayland_display || die "sway has no Xwayland display"
  log "sway on $WL_DISPLAY, Xwayland on $WL_X"
}

focused_app() { as_user swaymsg "[app_id=\"$1\" con_id=__focused__] nop" >/dev/null 2>&1; }

# start_foot NAME [APP_ID]: a foot terminal whose shell appends every byte it
# receives to $WL_DIR/NAME.out (raw, CR becomes LF, no echo), focused; its app_id
# target-NAME unless given; FOOT_PID is its PID.
start_foot() {
  local out=$WL_DIR/$1.out app=${2:-target-$1}
  as_user foot -a "$app" -T "$app" \
    sh -c 'stty raw -echo icrnl && : >"$1.ready" && exec cat >>"$1"' sh "$out" \
    </dev/null >>"$E2E_TMP/foot.log" 2>&1 &
  FOOT_PID=$!
  track "$FOOT_PID"
  wait_until 10 test -e "$out.ready" || die "foot $1 did not start: $(tail -n3 "$E2E_TMP/foot.log")"
  focus_app "$app"
}
focus_app() {
  swaymsg_ "[app_id=\"$1\"] focus"
  wait_until 5 focused_app "$1" || die "sway did not focus $1"
}

# start_wayland_teclix: teclix on Xwayland, its keys through the compositor.
start_wayland_teclix() {
  as_user "$WL_TECLIX" </dev/null >/dev/null 2>"$TECLIX_ERR" &
  TECLIX_PID=$!
  track "$TECLIX_PID"
  wait_until 10 grep -q 'sesión Wayland' "$TECLIX_ERR" ||
    die "teclix did not start in the session: $(cat "$TECLIX_ERR")"
}

# The Wayland clipboard, served by wl-copy until it is replaced.
WL_COPY_PID=
set_clipboard() {
  [ -z "$WL_COPY_PID" ] || stop_pid "$WL_COPY_PID"
  as_user wl-copy --foreground ${2:+--type "$2"} <"$1" &
  WL_COPY_PID=$!
  track "$WL_COPY_PID"
  wait_until 5 clipboard_holds "$1" "${2:-}" || die "wl-copy did not take the clipboard"
}
clipboard_holds() {
  if [ -n "$2" ]; then as_user wl-paste --list-types | grep -qx "$2"; else
    as_user wl-paste --no-newline | cmp -s - "$1"; fi
}
E2E_PASTE=(as_user "$WL_TECLIX" --paste)

# start_wayland_entry OUT: a GTK entry (zenity) as a Wayland window, which writes
# its line to OUT when it is submitted; ENTRY_PID is its PID.
start_wayland_entry() {
  local saved=("${WL_ENV[@]}")
  WL_ENV+=(GDK_BACKEND=wayland)
  as_user zenity --entry --title target-entry >"$1" 2>>"$E2E_TMP/zenity.log" &
  ENTRY_PID=$!
  track "$ENTRY_PID"
  WL_ENV=("${saved[@]}")
}

# held_for PID: what the compositor has written to PID's Wayland connection that
# PID has not read, and the most the connection holds ("HELD LIMIT", the kernel's
# bytes); nothing when PID has no connection to the compositor.
held_for() {
  local inodes
  inodes=$(find "/proc/$1/fd" -lname 'socket:*' -printf '%l\n' 2>/dev/null | tr -dc '0-9\n' | paste -sd'|')
  [ -n "$inodes" ] || return 1
  ss -xmH | awk -v path="$WL_DIR/run/$WL_DISPLAY" -v peers="^($inodes)\$" '
    $5 == path && $8 ~ peers { match($0, /t[0-9]+,tb[0-9]+/);
      split(substr($0, RSTART, RLENGTH), f, /,tb/); print substr(f[1], 2), f[2]; found = 1; exit }
    END { exit !found }'
}
holds_keys() { local held _ && read -r held _ < <(held_for "$1") && ((held > 0)); }

# paste_into_stopped NAME PID SECONDS: a paste into PID, a target that is busy
# (stopped) when the paste begins and for SECONDS after keys are first held for
# it; NAME's test fails when no key reached the compositor for it.
paste_into_stopped() {
  kill -STOP "$2"
  "${E2E_PASTE[@]}"
  if ! wait_until 10 holds_keys "$2"; then
    kill -CONT "$2"
    fail "$1: nothing was sent to the stopped target"
    return 1
  fi
  sleep "$3" # the target's busy time
  kill -CONT "$2"
}

