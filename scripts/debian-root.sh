#!/usr/bin/env bash
# Makes (once) and brings up to date a Debian root of a named kind: debootstrap's
# minimal base of its release and Debian's own packages from the kind's list below.
# A root is kept outside the work tree and reused; when its list changes, what the
# list adds is installed. It holds no mounts while nothing runs in it (whatever runs
# there mounts what it needs in a namespace of its own). Prints the root's path.
#
#   bash scripts/debian-root.sh KIND     # kept in $TECLIX_ROOTS/KIND, default
#                                        # /var/cache/teclix/KIND
# Kinds:
#   debian13        today's desktops for the Wayland end-to-end tests (GNOME's
#                   mutter 48, Plasma's KWin 6.3, sway 1.10, labwc 0.8), their portals
#                   and the test clients; TECLIX_DEBIAN13_ROOT names its place
#   debian13-build  what builds teclix and its package on Debian 13
#   debian12-clean  Debian 12's minimal base and nothing more: a package installed
#                   there gets from apt exactly what it depends on
set -euo pipefail

kind=${1:?usage: debian-root.sh KIND (debian13, debian13-build, debian12-clean)}
ROOTS=${TECLIX_ROOTS:-/var/cache/teclix}
MIRROR=${TECLIX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
ROOT=$ROOTS/$kind

# Each kind's release and the one list of what it holds beyond debootstrap's base.
case $kind in
debian13)
  suite=trixie
  ROOT=${TECLIX_DEBIAN13_ROOT:-$ROOT}
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
  ;;
debian13-build)
  suite=trixie
  packages=(
    # the compiler and the build
    g++ cmake ninja-build pkg-config
    # what the Linux program builds against (the Debian 12 names in install-deps.sh)
    libx11-dev libxtst-dev libxi-dev libxft-dev libfontconfig-dev libxkbfile-dev
    libxkbcommon-dev libwayland-dev libsystemd-dev
    # the package: CPack's dependencies through dpkg-shlibdeps, and their check
    dpkg-dev file lintian
  )
  ;;
debian12-clean)
  suite=bookworm
  packages=()
  ;;
*)
  echo "debian-root: no root of kind '$kind' (debian13, debian13-build, debian12-clean)" >&2
  exit 2
  ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  echo "debian-root: only root can make the root (debootstrap, chroot)" >&2
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
    echo "debian-root: debootstrap is missing: bash scripts/install-deps.sh" >&2
    exit 1
  }
  rm -rf "$ROOT.new"
  echo "debian-root: debootstrap $suite into $ROOT" >&2
  debootstrap --variant=minbase "$suite" "$ROOT.new" "$MIRROR" >"$ROOT.log" 2>&1 || {
    tail -n 20 "$ROOT.log" >&2
    exit 1
  }
  mv "$ROOT.new" "$ROOT"
fi

# Packages are installed with /proc mounted (some maintainer scripts look there),
# in a mount namespace of this command's own, so nothing stays mounted.
echo "debian-root: installing ${#packages[@]} packages into $ROOT" >&2
unshare --mount --propagation private bash -euo pipefail -c '
  root=$1
  shift
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  export DEBIAN_FRONTEND=noninteractive LC_ALL=C
  chroot "$root" apt-get update -qq
  if [ $# -gt 0 ]; then
    chroot "$root" apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  fi
  if [ -f "$root/etc/locale.gen" ]; then
    sed -i -E "s/^# *(es_ES.UTF-8 UTF-8|en_US.UTF-8 UTF-8)/\1/" "$root/etc/locale.gen"
    chroot "$root" locale-gen >/dev/null
  fi
  chroot "$root" apt-get clean
' sh "$ROOT" "${packages[@]}" >>"$ROOT.log" 2>&1 || {
  tail -n 20 "$ROOT.log" >&2
  exit 1
}
echo "$wanted" >"$ROOT/.teclix-packages"
echo "$ROOT"
