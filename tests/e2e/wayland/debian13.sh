#!/usr/bin/env bash
# Runs a Wayland end-to-end script in the Debian 13 root (today's GNOME, Plasma and
# sway), with the teclix built here: the root is made or brought up to date first
# (scripts/debian13-root.sh), then the script runs in a mount namespace of its own
# where the root has /proc, /sys, /dev and this machine's /tmp (so that the
# session's files and sockets have the same paths inside and out). The mounts end
# with the namespace, whatever happens to the script.
#
#   bash debian13.sh SCRIPT [ARGS...]     (the scripts do this themselves when
#                                          TECLIX_DEBIAN13 is set)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(bash "$here/../../../scripts/debian13-root.sh") || {
  echo "FATAL: the Debian 13 root could not be made" >&2
  exit 1
}
exec unshare --mount --propagation private bash -euo pipefail -c '
  root=$1
  shift
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --bind /tmp "$root/tmp"
  WL_ROOT=$root exec bash "$@"
' sh "$root" "$@"
