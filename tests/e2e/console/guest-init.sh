#!/bin/sh
# Init of the console test guest (busybox). The text console tty1, where the
# PS/2 keyboard types, is put in raw mode without echo and every byte read from
# it is copied to the first serial port, which QEMU writes to a file on the host.
# The kernel parameter keymap=NAME loads /keymaps/NAME.bmap (default: the
# kernel's built-in US map). Everything before the ready line is diagnostics.
/bin/busybox mkdir -p /proc /dev /sys
/bin/busybox --install -s /bin
mount -t devtmpfs dev /dev
mount -t proc proc /proc
exec >/dev/ttyS0 2>&1
stty raw -echo </dev/ttyS0
if [ "${keymap:-us}" != us ]; then
  loadkmap <"/keymaps/$keymap.bmap" || echo "loadkmap $keymap failed"
fi
# The console driver resets a tty's settings when its last user closes it, so
# tty1 stays open as standard input from here on.
exec </dev/tty1
stty raw -echo
echo "console-reader-ready keymap=${keymap:-us} $(stty)"
exec cat
