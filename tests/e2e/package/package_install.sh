#!/usr/bin/env bash
# The Debian package of a release, as made by package_build.sh, installed with apt
# into a root of that release: Debian 12's bare minimal base (scripts/debian-root.sh
# debian12-clean), where apt must bring every library from the package's
# dependencies, or the Debian 13 desktop root. There teclix, run as an unprivileged
# user, opens its window on an Xvfb of this machine, answers "teclix --paste" and
# says its version; each library it links comes from a package it depends on. Then
# the package is purged and nothing of it, nor of what apt brought for it, remains.
# The script runs in a mount namespace of its own, and the root is put back as it
# was whatever happens.
#
#   bash package_install.sh debian12|debian13      (TECLIX_BUILD_DIR set by CTest)
release=${1:?usage: package_install.sh debian12|debian13}
if [ -z "${PACKAGE_TEST_NAMESPACE:-}" ]; then
  exec env PACKAGE_TEST_NAMESPACE=1 unshare --mount --propagation private bash "$0" "$@"
fi
# shellcheck source=../lib.sh
source "$(dirname "$0")/../lib.sh"
src=$(cd "$(dirname "$0")/../../.." && pwd)

case $release in
debian12) kind=debian12-clean ;;
debian13) kind=debian13 ;;
*) die "no root for '$release'" ;;
esac
deb=$(ls "$src/build/package-deb${release#debian}"/teclix_*.deb 2>/dev/null) ||
  die "no $release package: run package_build.sh $release first"
version=$(dpkg-deb -f "$deb" Version)

root=$(bash "$src/scripts/debian-root.sh" "$kind") || die "the $kind root could not be made"
# One test at a time installs into a root, and the root is not remade meanwhile.
exec 9>"$root.lock"
flock 9
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
# This machine's /tmp: the X server's socket, the package, the user's runtime directory.
mount --bind /tmp "$root/tmp"
cp /etc/resolv.conf "$root/etc/resolv.conf"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
# shellcheck disable=SC2016 # dpkg-query's fields
packages() { in_root dpkg-query -W -f '${Package}:${Architecture} ${Version} ${db:Status-Abbrev}\n' | sort; }

packages >"$E2E_TMP/before"
# Whatever happens, the root keeps only the packages it had.
put_root_back() {
  packages >"$E2E_TMP/now"
  local extra
  mapfile -t extra < <(comm -13 "$E2E_TMP/before" "$E2E_TMP/now" | cut -d' ' -f1)
  [ ${#extra[@]} -eq 0 ] || in_root apt-get purge -y -qq "${extra[@]}" >>"$E2E_TMP/apt.log" 2>&1
  in_root apt-get clean
}
at_exit put_root_back

chmod 755 "$E2E_TMP"
cp "$deb" "$E2E_TMP/"
in_root apt-get update -qq >"$E2E_TMP/apt.log" 2>&1 || die "apt-get update failed: $(tail -n5 "$E2E_TMP/apt.log")"
if in_root apt-get install -y -qq "$E2E_TMP/$(basename "$deb")" >>"$E2E_TMP/apt.log" 2>&1; then
  pass "install"
else
  die "apt-get install failed: $(tail -n 20 "$E2E_TMP/apt.log")"
fi
packages >"$E2E_TMP/installed"
log "apt installed: $(comm -13 "$E2E_TMP/before" "$E2E_TMP/installed" | cut -d: -f1 | tr '\n' ' ')"

# Each library the program names (its NEEDED entries) comes, in the root, from a
# package of its Depends line.
depends=" $(dpkg-deb -f "$deb" Depends | sed -E 's/ \([^)]*\)//g; s/,//g') "
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/teclix >"$E2E_TMP/teclix"
in_root ldd /usr/bin/teclix >"$E2E_TMP/ldd" 2>&1
if grep -q 'not found' "$E2E_TMP/ldd"; then fail "libraries: $(grep 'not found' "$E2E_TMP/ldd")"; fi
for lib in $(readelf -d "$E2E_TMP/teclix" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  path=$(sed -n "s|^\s*$lib => \(\S*\) .*|\1|p" "$E2E_TMP/ldd")
  owner=
  for p in "$path" "/usr$path" "${path#/usr}"; do
    owner=$(in_root dpkg-query -S "$p" 2>/dev/null | cut -d: -f1) && [ -n "$owner" ] && break
  done
  if [ -n "$owner" ] && [[ "$depends" == *" $owner "* ]]; then
    pass "depends/$lib: $owner"
  else
    fail "depends/$lib: at '$path', from '$owner', which the package does not depend on"
  fi
done

# teclix, run as nobody, on an X server of this machine.
start_xvfb
run=$E2E_TMP/run
mkdir -m 700 "$run"
chown 65534:65534 "$run"
as_user() { chroot --userspec=65534:65534 "$root" env -i PATH=/usr/bin:/bin HOME=/nonexistent \
  LC_ALL=C.UTF-8 DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$run" "$@"; }
as_user teclix </dev/null >"$E2E_TMP/teclix.out" 2>&1 &
teclix_pid=$!
track "$teclix_pid"
window_up() { xdotool search --name '^Teclix - ' >/dev/null 2>&1; }
if wait_until 15 window_up; then pass "window"; else fail "window: $(cat "$E2E_TMP/teclix.out")"; fi
if as_user teclix --paste >"$E2E_TMP/paste.out" 2>&1; then pass "paste_command"; else fail "paste_command: $(cat "$E2E_TMP/paste.out")"; fi
got=$(as_user teclix --version 2>&1)
if [ "$got" = "teclix ${version%%-*}" ]; then pass "version"; else fail "version: '$got'"; fi
stop_pid "$teclix_pid"

# Purged, with what apt brought for it: no file of it stays, the root's packages
# are those it had.
in_root dpkg-query -L teclix >"$E2E_TMP/files"
if in_root apt-get purge -y -qq --autoremove teclix >>"$E2E_TMP/apt.log" 2>&1; then
  pass "purge"
else
  fail "purge: $(tail -n 10 "$E2E_TMP/apt.log")"
fi
left=()
while read -r f; do
  [ -d "$root$f" ] || ! [ -e "$root$f" ] || left+=("$f")
done <"$E2E_TMP/files"
if [ ${#left[@]} -eq 0 ]; then pass "purge/files"; else fail "purge/files: ${left[*]}"; fi
packages >"$E2E_TMP/after"
if cmp -s "$E2E_TMP/before" "$E2E_TMP/after"; then
  pass "purge/packages"
else
  fail "purge/packages: $(diff "$E2E_TMP/before" "$E2E_TMP/after" | grep '^[<>]' | tr '\n' ' ')"
fi
finish
