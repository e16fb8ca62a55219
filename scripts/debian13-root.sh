#!/usr/bin/env bash
# Makes (once) and brings up to date the Debian 13 root with today's desktops that
# the Wayland end-to-end tests and the bench run in (its package list is in
# scripts/debian-root.sh, kind debian13). Prints the root's path.
#
#   bash scripts/debian13-root.sh      # TECLIX_DEBIAN13_ROOT, default /var/cache/teclix/debian13
exec bash "$(dirname "${BASH_SOURCE[0]}")/debian-root.sh" debian13
