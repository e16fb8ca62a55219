#!/usr/bin/env bash
# teclix in a Wayland session: headless sway (run as an unprivileged user, which
# this script creates when it is missing: sway refuses to run as root), teclix's
# window on sway's Xwayland, foot terminals as targets, the Wayland clipboard set
# with wl-copy, and "teclix --paste" as the desktop's F10 binding would run it.

# shellcheck source=../x11/teclix.sh
source "$(dirname "$0")/../x11/teclix.sh"

WL_USER=teclix-e2e
if ! id -u "$WL_USER" >/dev/null 2>&1; then
  [ "$(id -u)" = 0 ] || die "user $WL_USER is missing and only root can create it"
  useradd --system --no-create-home --shell /usr/sbin/nologin "$WL_USER" ||
    die "could not create user $WL_USER"
fi
WL_UID=$(id -u "$WL_USER")
WL_GID=$(id -g "$WL_USER")
# The user's files: its home, runtime directory, the targets' output and a copy
# of teclix (the build directory may be out of its reach).
WL_DIR=$(mktemp -d /tmp/teclix-wayland.XXXXXX)
at_exit "rm -rf '$WL_DIR'"
mkdir -p "$WL_DIR/run" "$WL_DIR/home"
cp "$TECLIX" "$WL_DIR/teclix"
cp "$E2E_BUILD/tests/e2e/wayland/wayland_tool" "$WL_DIR/wayland_tool"
chown -R "$WL_UID:$WL_GID" "$WL_DIR"
chmod 700 "$WL_DIR/run"
chmod 755 "$WL_DIR"
WL_TECLIX=$WL_DIR/teclix
WL_DISPLAY=
WL_X=

# as_user COMMAND...: runs COMMAND as the user, in the session's environment.
# In the background it replaces the subshell, so that $! is its own PID.
as_user() {
  local session=() socket
  socket=$(sway_socket)
  [ -z "$WL_DISPLAY" ] || session+=(WAYLAND_DISPLAY="$WL_DISPLAY")
  [ -z "$WL_X" ] || session+=(DISPLAY="$WL_X")
  [ -z "$socket" ] || session+=(SWAYSOCK="$socket")
  set -- setpriv --reuid="$WL_UID" --regid="$WL_GID" --clear-groups \
    env -i HOME="$WL_DIR/home" PATH=/usr/bin:/bin LC_ALL=en_US.UTF-8 \
    XDG_RUNTIME_DIR="$WL_DIR/run" "${session[@]}" "$@"
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

# start_foot NAME: a foot terminal whose shell appends every byte it receives to
# $WL_DIR/NAME.out (raw, CR becomes LF, no echo), focused.
start_foot() {
  local out=$WL_DIR/$1.out
  as_user foot -a "target-$1" -T "target-$1" \
    sh -c 'stty raw -echo icrnl && : >"$1.ready" && exec cat >>"$1"' sh "$out" \
    </dev/null >>"$E2E_TMP/foot.log" 2>&1 &
  track $!
  wait_until 10 test -e "$out.ready" || die "foot $1 did not start: $(tail -n3 "$E2E_TMP/foot.log")"
  focus_app "target-$1"
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

start_sway

# --- the trigger with nothing to ask -------------------------------------------------

if as_user "$WL_TECLIX" --paste 2>"$E2E_TMP/paste.err"; then
  fail "paste_command/none_running: it succeeded"
elif grep -q 'Teclix no está abierto' "$E2E_TMP/paste.err"; then
  pass "paste_command/none_running"
else
  fail "paste_command/none_running: it said '$(cat "$E2E_TMP/paste.err")'"
fi

start_wayland_teclix
start_foot term
# How the window looks with the session's notice (Xwayland draws it).
mkdir -p "$E2E_ARTIFACTS"
as_user sh -c 'import -window "$(xdotool search --name "^$1\$" | head -n1)" "$2"' sh \
  "$TECLIX_CAPTION" "$WL_DIR/window.png" && cp "$WL_DIR/window.png" "$E2E_ARTIFACTS/teclix-wayland-window.png"

# --- exact texts, Spanish layout: its keys, and spare keys for the rest ----------------

paste_texts_to_terminal wayland/es "$WL_DIR/term.out"

# A long ASCII text, whole and in order.
head -c 30000 /dev/urandom | tr -dc 'A-Za-z0-9 .,;:!?()[]{}<>/|@#$%^&*_=+~-' | head -c 10000 \
  >"$E2E_TMP/ascii"
set_clipboard "$E2E_TMP/ascii"
paste_and_expect wayland/ascii_10000 "$WL_DIR/term.out" "$E2E_TMP/ascii" 120

# --- the user's held keys: the user's keyboard holds Shift while the paste types, ---
# and still holds it afterwards

printf 'sin mayúsculas' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
: >"$WL_DIR/term.out"
as_user "$WL_DIR/wayland_tool" hold-shift 1.5 x >"$E2E_TMP/held" 2>&1 &
held=$!
track "$held"
wait_until 5 grep -q held "$E2E_TMP/held" || fail "wayland/held_shift: Shift was not held"
"${E2E_PASTE[@]}"
wait_until 10 pid_gone "$held"
wait_output "$WL_DIR/term.out" 15 5
if [ "$(cat "$WL_DIR/term.out")" = 'sin mayúsculasX' ]; then
  pass "wayland/held_shift_kept_for_its_keyboard"
else
  fail "wayland/held_shift_kept_for_its_keyboard: '$(cat "$WL_DIR/term.out")' arrived"
fi
stop_pid "$held"

# --- nothing to paste -----------------------------------------------------------------

as_user wl-copy --clear
: >"$WL_DIR/term.out"
"${E2E_PASTE[@]}"
printf 'después' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
paste_and_expect wayland/empty_clipboard_types_nothing "$WL_DIR/term.out" "$E2E_TMP/clip"
set_clipboard "$E2E_TMP/ascii" image/png
: >"$WL_DIR/term.out"
"${E2E_PASTE[@]}"
set_clipboard "$E2E_TMP/clip"
paste_and_expect wayland/non_text_clipboard_types_nothing "$WL_DIR/term.out" "$E2E_TMP/clip"

# --- the countdown: asked for while Teclix's own window has the focus, typed where ---
# the focus is at zero

printf 'cuenta atrás ñ Ж' >"$E2E_TMP/clip"
set_clipboard "$E2E_TMP/clip"
: >"$WL_DIR/term.out"
swaymsg_ '[class="Teclix"] focus'
asked=$SECONDS
"${E2E_PASTE[@]}"
sleep 1 # the user moves to the target during the countdown
focus_app target-term
if wait_output "$WL_DIR/term.out" "$(file_size "$E2E_TMP/clip")" 10; then
  expect_same wayland/countdown "$E2E_TMP/clip" "$WL_DIR/term.out"
  ((SECONDS - asked >= 4)) && pass wayland/countdown_waited ||
    fail "wayland/countdown_waited: typed after $((SECONDS - asked)) s"
else
  fail "wayland/countdown: nothing arrived in 10 s"
fi

# --- US layout: the user switches layout; Spanish letters come from spare keys ----------

swaymsg_ input type:keyboard xkb_layout us
paste_texts_to_terminal wayland/us "$WL_DIR/term.out"

finish
