# A real virtual-machine console as a typing target: the test's Xvfb shows a
# TigerVNC viewer connected to QEMU's own VNC server (loopback only); QEMU gives
# the keys to the guest's emulated PS/2 keyboard; the guest's init copies what
# its text console reads, raw and without echo, to a serial port that QEMU
# writes to a file here. Source after tests/e2e/lib.sh and start_xvfb.
#
# The guest (a Debian kernel and a static busybox, taken from Debian packages)
# is built once into $E2E_BUILD/console-guest and reused.

CONSOLE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
CONSOLE_GUEST=$E2E_BUILD/console-guest
CONSOLE_KERNEL=$CONSOLE_GUEST/vmlinuz
CONSOLE_INITRD=$CONSOLE_GUEST/initrd.cpio.gz
CONSOLE_KEYMAPS=(es) # offered besides the kernel's built-in US map
CONSOLE_MARKER=console-reader-ready
CONSOLE_QEMU_PID=
CONSOLE_VIEWER_PID=
CONSOLE_VIEWER_WIN=
CONSOLE_VNC_PORT=
CONSOLE_SERIAL=
CONSOLE_START=0 # bytes of the serial file before the text being read
CONSOLE_QEMU_EXTRA=() # more QEMU arguments, e.g. (-trace 'vnc_key_event*')

# console_debian_file PACKAGE PATTERN DEST: downloads PACKAGE's .deb and copies
# its one file whose path matches the tar PATTERN to DEST.
console_debian_file() {
  local pkg=$1 pattern=$2 dest=$3 dir found
  dir=$(mktemp -d "$E2E_TMP/deb.XXXXXX")
  chmod 777 "$dir" # apt downloads as its own user
  (cd "$dir" && apt-get download -q "$pkg" >/dev/null 2>"$dir/apt.log") ||
    die "apt-get download $pkg failed: $(tail -n3 "$dir/apt.log")"
  dpkg-deb --fsys-tarfile "$dir"/*.deb | tar -x -C "$dir" --wildcards "$pattern" ||
    die "no $pattern in $pkg"
  found=$(find "$dir" -path "$dir/${pattern#./}" -type f | head -n1)
  [ -n "$found" ] || die "no $pattern in $pkg"
  cp "$found" "$dest"
  rm -rf "$dir"
}

# console_build_guest: makes the kernel and the initramfs if they are missing
# (the initramfs also when guest-init.sh is newer).
console_build_guest() {
  local kernel_pkg root map
  mkdir -p "$CONSOLE_GUEST"
  if [ ! -s "$CONSOLE_KERNEL" ]; then
    kernel_pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
    if [ -z "$kernel_pkg" ]; then
      # A machine whose package lists are not there yet.
      ${SUDO:-$([ "$(id -u)" -eq 0 ] || echo sudo)} apt-get update -qq >/dev/null 2>&1
      kernel_pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
    fi
    [ -n "$kernel_pkg" ] || die "apt knows no linux-image-amd64"
    log "guest kernel from $kernel_pkg"
    console_debian_file "$kernel_pkg" './boot/vmlinuz-*' "$CONSOLE_KERNEL.new"
    mv "$CONSOLE_KERNEL.new" "$CONSOLE_KERNEL"
  fi
  if [ ! -s "$CONSOLE_INITRD" ] || [ "$CONSOLE_DIR/guest-init.sh" -nt "$CONSOLE_INITRD" ]; then
    root=$(mktemp -d "$E2E_TMP/root.XXXXXX")
    mkdir -p "$root/bin" "$root/keymaps"
    console_debian_file busybox-static './bin/busybox' "$root/bin/busybox"
    chmod 755 "$root/bin/busybox"
    ln -s busybox "$root/bin/sh"
    install -m 755 "$CONSOLE_DIR/guest-init.sh" "$root/init"
    for map in "${CONSOLE_KEYMAPS[@]}"; do
      loadkeys -b "/usr/share/keymaps/i386/qwerty/$map.kmap.gz" >"$root/keymaps/$map.bmap" ||
        die "loadkeys could not compile the $map keymap"
    done
    (cd "$root" && find . | cpio -o -H newc --quiet | gzip -9) >"$CONSOLE_INITRD.new" ||
      die "could not pack the initramfs"
    mv "$CONSOLE_INITRD.new" "$CONSOLE_INITRD"
    rm -rf "$root"
  fi
}

console_ready() { grep -aq "^$CONSOLE_MARKER" "$CONSOLE_SERIAL" 2>/dev/null; }
console_ready_or_gone() { console_ready || pid_gone "$CONSOLE_QEMU_PID"; }

# console_boot KEYMAP DISPLAY_ARGS...: starts QEMU with the guest and these display
# arguments and waits for its reader; 0 when it is ready, 2 when QEMU ended because
# its VNC port was in use.
console_boot() {
  local keymap=$1 limit=${CONSOLE_BOOT_TIMEOUT:-300} qlog=$E2E_TMP/qemu.log
  shift
  : >"$CONSOLE_SERIAL"
  qemu-system-x86_64 -machine pc,accel=tcg -m 256 -smp 1 -nic none -no-reboot \
    -name teclix-console -kernel "$CONSOLE_KERNEL" -initrd "$CONSOLE_INITRD" \
    -append "console=tty1 quiet loglevel=3 vt.default_utf8=1 keymap=$keymap" \
    "$@" -serial "file:$CONSOLE_SERIAL" -monitor none -parallel none \
    "${CONSOLE_QEMU_EXTRA[@]}" \
    </dev/null >/dev/null 2>"$qlog" &
  CONSOLE_QEMU_PID=$!
  track "$CONSOLE_QEMU_PID"
  wait_until "$limit" console_ready_or_gone || die "the guest did not get ready in ${limit}s"
  if console_ready; then
    CONSOLE_START=$(file_size "$CONSOLE_SERIAL")
    return 0
  fi
  stop_pid "$CONSOLE_QEMU_PID"
  grep -q 'in use' "$qlog" && return 2
  die "QEMU ended: $(tail -n3 "$qlog")"
}

# console_start_qemu [KEYMAP] [VNC_OPTIONS]: boots the guest with the console
# keymap (us or one of CONSOLE_KEYMAPS) and waits for its reader. VNC_OPTIONS
# are appended to -vnc (e.g. ",key-delay-ms=5"). Sets CONSOLE_VNC_PORT.
console_start_qemu() {
  local keymap=${1:-us} vnc_opts=${2:-} n tries start=$SECONDS
  CONSOLE_SERIAL=$E2E_TMP/serial.out
  for ((n = 2000 + RANDOM % 2000, tries = 0; tries < 20; n++, tries++)); do
    if console_boot "$keymap" -vnc "127.0.0.1:$n$vnc_opts"; then
      CONSOLE_VNC_PORT=$((5900 + n))
      log "guest ready in $((SECONDS - start)) s, VNC on 127.0.0.1:$CONSOLE_VNC_PORT: $(grep -a "^$CONSOLE_MARKER" "$CONSOLE_SERIAL" | head -c 120)"
      return 0
    fi
  done
  die "no free VNC port"
}

# console_start_qemu_window [KEYMAP]: boots the guest in QEMU's own GTK window on
# $DISPLAY, which takes the keyboard and the pointer once clicked into (a PS/2
# mouse). Sets CONSOLE_WINDOW (and CONSOLE_VIEWER_WIN) to that window.
# (CONSOLE_QEMU_EXTRA=(-display gtk) before console_start_qemu gives the window
# and the VNC server both; then call console_qemu_window.)
CONSOLE_WINDOW=
console_qemu_window() {
  CONSOLE_WINDOW=$(xdotool search --onlyvisible --pid "$CONSOLE_QEMU_PID" --name '^QEMU' 2>/dev/null | head -n1)
  [ -n "$CONSOLE_WINDOW" ]
}
console_start_qemu_window() {
  local start=$SECONDS
  CONSOLE_SERIAL=$E2E_TMP/serial.out
  console_boot "${1:-us}" -display gtk || die "QEMU did not start"
  wait_until 20 console_qemu_window || die "no QEMU window"
  CONSOLE_VIEWER_WIN=$CONSOLE_WINDOW
  log "guest ready in $((SECONDS - start)) s, in QEMU's window $CONSOLE_WINDOW"
}

# console_grab / console_release: a click into QEMU's window, which then holds the
# keyboard and the pointer (its title says how to let go), and the keys that let go
# (nothing when it holds nothing). The window also gets the focus, as a window
# manager would give it on the click.
console_title_has() { xdotool getwindowname "$CONSOLE_WINDOW" 2>/dev/null | grep -q "$1"; }
console_grab() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$CONSOLE_WINDOW")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
  wait_until 10 console_title_has 'release grab' || die "QEMU did not take the keyboard"
  focus "$CONSOLE_WINDOW"
}
console_release() {
  console_title_has 'release grab' || return 0
  xdotool key ctrl+alt+g
  wait_until 10 eval '! console_title_has "release grab"' || die "QEMU did not let go"
}

console_viewer_window() {
  CONSOLE_VIEWER_WIN=$(xdotool search --pid "$CONSOLE_VIEWER_PID" --name 'TigerVNC$' 2>/dev/null | head -n1)
  [ -n "$CONSOLE_VIEWER_WIN" ]
}

# console_start_viewer [VIEWER_OPTIONS...]: shows the guest's screen in
# vncviewer on $DISPLAY and gives the viewer the keyboard focus.
console_start_viewer() {
  vncviewer -SecurityTypes None -SendClipboard=0 -SendPrimary=0 -AcceptClipboard=0 \
    -RemoteResize=0 -Shared=0 -geometry +0+0 "$@" "127.0.0.1::$CONSOLE_VNC_PORT" \
    </dev/null >/dev/null 2>"$E2E_TMP/viewer.log" &
  CONSOLE_VIEWER_PID=$!
  track "$CONSOLE_VIEWER_PID"
  wait_until 20 console_viewer_window || die "vncviewer did not open: $(tail -n3 "$E2E_TMP/viewer.log")"
  console_focus
}

console_focus() { focus "$CONSOLE_VIEWER_WIN"; }

# console_mark: what arrives from now on is what console_received copies.
console_mark() { CONSOLE_START=$(file_size "$CONSOLE_SERIAL"); }

console_arrived() { echo $(($(file_size "$CONSOLE_SERIAL") - CONSOLE_START)); }

# console_wait_stable BYTES [QUIET_SECONDS] [TIMEOUT]: waits until BYTES have
# arrived since the mark, or nothing more arrived for QUIET_SECONDS (2), and
# then until the file stops growing. Fails when TIMEOUT (120) passes first or
# fewer than BYTES arrived.
console_wait_stable() {
  local want=$1 quiet=${2:-2} limit=${3:-120} start=$SECONDS last=-1 size since=$SECONDS
  while ((SECONDS - start < limit)); do
    size=$(console_arrived)
    if ((size != last)); then
      last=$size
      since=$SECONDS
    elif ((size >= want && SECONDS - since >= 1)) || ((SECONDS - since >= quiet)); then
      ((size >= want))
      return
    fi
    sleep 0.2
  done
  return 1
}

# console_received FILE: the bytes that arrived since the mark.
console_received() { tail -c +"$((CONSOLE_START + 1))" "$CONSOLE_SERIAL" >"$1"; }

# console_stop: ends the viewer and QEMU.
console_stop() {
  [ -z "$CONSOLE_VIEWER_PID" ] || stop_pid "$CONSOLE_VIEWER_PID"
  [ -z "$CONSOLE_QEMU_PID" ] || stop_pid "$CONSOLE_QEMU_PID"
  CONSOLE_VIEWER_PID= CONSOLE_QEMU_PID=
}
