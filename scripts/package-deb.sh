#!/usr/bin/env bash
# Makes teclix's Debian package for a Debian release, in a release build of its own
# (Release, no tests, no benchmarks, warnings as errors, Debian's hardening flags,
# installed under /usr) by CPack from the install rules (cmake/package-deb.cmake).
# The package for Debian 12 is built on this machine (Debian 12); the one for Debian
# 13 in a Debian 13 build root (scripts/debian-root.sh debian13-build, made on first
# use) with this source tree mounted at its own path, so that each package's
# dependencies are those of its release's libraries. The release's lintian checks
# it (its tags in lintian.txt beside the package). Prints the package's path.
#
#   bash scripts/package-deb.sh debian12 [-DVAR=VALUE...]   # build/package-deb12/teclix_*.deb
#   bash scripts/package-deb.sh debian13 [-DVAR=VALUE...]   # build/package-deb13/teclix_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)

release=${1:?usage: package-deb.sh debian12|debian13 [-DVAR=VALUE...]}
shift
case $release in
debian12 | debian13) ;;
*)
  echo "package-deb: no package for '$release' (debian12, debian13)" >&2
  exit 2
  ;;
esac
build=build/package-deb${release#debian}

# The same date in the package's change log on every build of one commit.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

if [ "$release" = debian13 ] && [ "${TECLIX_PACKAGE_HERE:-}" != 1 ]; then
  # On Debian 13: the build root, this tree at its own path there, and this same
  # script run inside. The mounts end with the namespace, whatever happens.
  root=$(bash scripts/debian-root.sh debian13-build) || {
    echo "package-deb: the Debian 13 build root could not be made" >&2
    exit 1
  }
  exec unshare --mount --propagation private bash -euo pipefail -c '
    root=$1 src=$2
    shift 2
    mkdir -p "$root$src"
    mount --bind "$src" "$root$src"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    exec chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
      SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" TECLIX_PACKAGE_HERE=1 \
      bash "$src/scripts/package-deb.sh" "$@"
  ' sh "$root" "$src" "$release" "$@"
fi

. /etc/os-release
if [ "$VERSION_ID" != "${release#debian}" ]; then
  echo "package-deb: the $release package is built on Debian ${release#debian}, not on $PRETTY_NAME" >&2
  exit 1
fi

mkdir -p "$build"
exec 8>"$build/.lock"
flock 8

# Debian's compiler and linker flags, with every hardening feature; their -O2 is the
# optimisation (Release's own -O3 is left out, as Debian's packages do: GCC 12 gives
# false -Wrestrict warnings at -O3 in std::string's assignments).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
CFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

log=$build/package.log
{
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTECLIX_BUILD_TESTS=OFF \
    -DTECLIX_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG "$@" &&
    cmake --build "$build" &&
    rm -f "$build"/teclix_*.deb &&
    (cd "$build" && cpack -G DEB)
} >"$log" 2>&1 || {
  tail -n 30 "$log" >&2
  echo "package-deb: the $release package failed (all of it in $log)" >&2
  exit 1
}
deb=$(ls "$build"/teclix_*.deb)

# The release's own lintian, every tag down to pedantic ones, into lintian.txt.
lintian --fail-on none -I --pedantic "$deb" >"$build/lintian.txt" 2>"$build/lintian.err" || {
  cat "$build/lintian.err" >&2
  echo "package-deb: lintian did not run" >&2
  exit 1
}
sed 's/^/package-deb: lintian: /' "$build/lintian.txt" >&2
echo "$src/$deb"
