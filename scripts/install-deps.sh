#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Teclix needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # native build and unit tests
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
  # X11 program
  libx11-dev libxtst-dev libxi-dev libxft-dev libfontconfig-dev libxkbfile-dev libxkbcommon-dev fonts-liberation
  # its Wayland parts (client library and wayland-scanner; sd-bus for the desktop portal)
  libwayland-dev libsystemd-dev
  # Windows cross build and Wine
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
  # end-to-end tests
  xvfb xauth x11-utils x11-xkb-utils xdotool xclip xterm zenity imagemagick desktop-file-utils
  tigervnc-standalone-server tigervnc-viewer locales procps python3 bc
  # Wayland session tests: headless sway with Xwayland, foot targets, the Wayland clipboard
  sway xwayland foot wl-clipboard wtype
  # ... and a KDE one: headless KWin, its session bus, the desktop portal with its KDE backend
  kwin-wayland dbus xdg-desktop-portal xdg-desktop-portal-kde qtwayland5
  # ... and a GNOME one: headless mutter, the portal's GNOME backend
  mutter xdg-desktop-portal-gnome gsettings-desktop-schemas
  # ... and a Debian 13 root with today's desktops (scripts/debian13-root.sh)
  debootstrap
  # the Debian packages (scripts/package-deb.sh): CPack's dependencies through
  # dpkg-shlibdeps (dpkg-dev, file), and their check
  dpkg-dev file lintian
  # virtual-machine console tests (the guest's kernel and busybox are downloaded, not installed)
  qemu-system-x86 qemu-system-gui kbd console-data cpio
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Number formats of both kinds of locale are exercised by the tests.
need_locale=0
for l in es_ES.utf8 en_US.utf8; do
  locale -a 2>/dev/null | grep -qx "$l" || need_locale=1
done
if [ $need_locale -eq 1 ]; then
  $SUDO sed -i -E 's/^# *(es_ES.UTF-8 UTF-8|en_US.UTF-8 UTF-8)/\1/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
echo "install-deps: done"
