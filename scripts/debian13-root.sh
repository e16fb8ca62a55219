#!/usr/bin/env bash
# Makes (once) and brings up to date a Debian 13 root with today's desktops, for the
# Wayland end-to-end tests: GNOME's mutter 48, Plasma's KWin 6.3 and sway 1.10, their
# desktop portals, and the test clients. Debian's own packages, through debootstrap
# and apt. The root is kept outside the work tree and reused; it holds no mounts
# while no test runs (the tests mount what a session needs in a namespace of their
# own). Prints the root's path.
#
#   bash scripts/debian13-root.sh      # TECLIX_DEBIAN13_ROOT, default /var/cache/teclix/debian13
set -euo pipefail

ROOT=${TECLIX_DEBIAN13_ROOT:-/var/cache/teclix/debian13}
MIRROR=${TECLIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}

# The one list of what the root holds beyond debootstrap's minimal base.
packages=(
  # what the tests run as a user: setpriv (util-linux), the session's buses
  util-linux dbus dbus-daemon locales xkb-data
  # what teclix (built on Debian 12) links
  libx11-6 libxtst6 libxi6 libxft2 libfontconfig1 fonts-liberation libxkbcommon0
  libwayland-client0 libsystemd0
  # what teclix loads where it is there: libei, the desktops' emulated-input client
  libei1
  # GNOME: mutter 48 headless with Xwayland, the desktop portal with its GNOME backend
  mutter xwayland xdg-desktop-portal xdg-desktop-portal-gnome gsettings-desktop-schemas
  # Plasma 6.3: KWin with the KDE portal (it wants PipeWire running, and Qt's Wayland)
  kwin-wayland kwin-common xdg-desktop-portal-kde qt6-wayland pipewire
  # sway 1.10 and wtype, to measure beside; labwc 0.8, another wlroots compositor
  sway foot wtype labwc
  # targets and drivers: GTK entries, both clipboards, X11 windows; the bench's
  # measuring script
  zenity wl-clipboard xclip x11-utils xdotool python3
)

if [ "$(id -u)" -ne 0 ]; then
  echo "debian13-root: only root can make the root (debootstrap, chroot)" >&2
  exit 1
fi

mkdir -p "$(dirname "$ROOT")"
exec 9>"$ROOT.lock"
flock 9

wanted=$(printf '%s\n' "${packages[@]}" | sort | sha256sum | cut -c1-16)
if [ -f "$ROOT/.teclix-packages" ] && [ "$(cat "$ROOT/.teclix-packages")" = "$wanted" ]; then
  echo "$ROOT"
  exit 0
fi

if [ ! -x "$ROOT/usr/bin/apt-get" ]; then
  command -v debootstrap >/dev/null || {
    echo "debian13-root: debootstrap is missing: bash scripts/install-deps.sh" >&2
    exit 1
  }
  rm -rf "$ROOT.new"
  echo "debian13-root: debootstrap trixie into $ROOT" >&2
  debootstrap --variant=minbase trixie "$ROOT.new" "$MIRROR" >"$ROOT.log" 2>&1 || {
    tail -n 20 "$ROOT.log" >&2
    exit 1
  }
  mv "$ROOT.new" "$ROOT"
fi

# Packages are installed with /proc mounted (some maintainer scripts look there),
# in a mount namespace of this command's own, so nothing stays mounted.
echo "debian13-root: installing ${#packages[@]} packages into $ROOT" >&2
unshare --mount --propagation private bash -euo pipefail -c '
  root=$1
  shift
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  export DEBIAN_FRONTEND=noninteractive LC_ALL=C
  chroot "$root" apt-get update -qq
  chroot "$root" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  sed -i -E "s/^# *(es_ES.UTF-8 UTF-8|en_US.UTF-8 UTF-8)/\1/" "$root/etc/locale.gen"
  chroot "$root" locale-gen >/dev/null
  chroot "$root" apt-get clean
' sh "$ROOT" "${packages[@]}" >>"$ROOT.log" 2>&1 || {
  tail -n 20 "$ROOT.log" >&2
  exit 1
}
echo "$wanted" >"$ROOT/.teclix-packages"
echo "$ROOT"
