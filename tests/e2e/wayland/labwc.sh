# shellcheck shell=bash
# A headless labwc session (a wlroots compositor without sway's IPC: its windows
# known through the compositor's list of them), for the Wayland tests; the rest as
# in sway.sh, which this sources. The windows are focused and asked after with
# desktop_tool, as a task bar would.

# shellcheck source=sway.sh
source "$(dirname "${BASH_SOURCE[0]}")/sway.sh"

cp "$E2E_BUILD/tests/e2e/wayland/desktop_tool" "$WL_DIR/desktop_tool"
chown "$WL_UID:$WL_GID" "$WL_DIR/desktop_tool"
focused_app() { [ "$(as_user "$WL_DIR/desktop_tool" active 2>/dev/null)" = "$1" ]; }
focus_app() {
  as_user "$WL_DIR/desktop_tool" activate "$1" && wait_until 5 focused_app "$1" ||
    die "labwc did not focus $1"
}

# start_labwc LAYOUT: the session, its Xwayland display in WL_X.
start_labwc() {
  as_user env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    XKB_DEFAULT_LAYOUT="$1" labwc -s "sh -c 'printenv DISPLAY > $WL_DIR/display'" \
    </dev/null >"$E2E_TMP/labwc.log" 2>&1 &
  track $!
  wait_until 20 has wayland_socket || die "labwc did not start: $(tail -n5 "$E2E_TMP/labwc.log")"
  WL_DISPLAY=$(basename "$(wayland_socket)")
  wait_until 10 test -s "$WL_DIR/display" || die "labwc has no Xwayland display"
  WL_X=$(cat "$WL_DIR/display")
  log "labwc on $WL_DISPLAY, Xwayland on $WL_X"
}
