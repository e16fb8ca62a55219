#!/usr/bin/env bash
# The Debian package of a release (debian12, debian13) is made by
# scripts/package-deb.sh; it holds what a desktop needs, under /usr, and the
# release's own lintian finds nothing in it but the tags below, each with its reason.
#
#   bash package_build.sh debian12|debian13      (TECLIX_BUILD_DIR set by CTest)
# shellcheck source=../lib.sh
source "$(dirname "$0")/../lib.sh"

release=${1:?usage: package_build.sh debian12|debian13}
src=$(cd "$(dirname "$0")/../../.." && pwd)

# The lintian tags that stay: releases|tag|why. Any other tag fails, and so does
# one listed here that no longer comes.
expected_tags='
debian12 debian13|binary-has-unneeded-section|CPack strips the program with strip(1), which keeps the compiler'"'"'s .comment notes (Debian'"'"'s dh_strip removes them): a few hundred bytes, no harm
debian12|spelling-error-in-binary|"conector" is Spanish, as the window'"'"'s texts are (Debian 13'"'"'s lintian knows it)
'

deb=$(bash "$src/scripts/package-deb.sh" "$release") || die "the $release package was not made"
version=$(sed -n 's/^project(Teclix VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
want_name=teclix_$version-1~deb${release#debian}_amd64.deb
if [ "$(basename "$deb")" = "$want_name" ]; then pass "name"; else fail "name: $(basename "$deb"), not $want_name"; fi

# --- what it holds ---------------------------------------------------------------
tree=$E2E_TMP/tree
dpkg-deb -x "$deb" "$tree" || die "dpkg-deb -x failed"
field() { dpkg-deb -f "$deb" "$1"; }
gunzip_header_mtime() { od -An -tu4 -j4 -N4 "$1" | tr -d ' '; }
# check NAME COMMAND...: one fact about the package
check() {
  local name=$1
  shift
  if "$@" >/dev/null 2>&1; then pass "$name"; else fail "$name"; fi
}
check control/section [ "$(field Section)" = utils ]
check control/homepage [ "$(field Homepage)" = "https://www.teclix.example/" ]
# dpkg-shlibdeps's, so versioned, and naming the libraries the program links
check control/depends_found grep -qE 'libx11-6 \(>= [^)]+\).*libxkbcommon0 \(>= ' <<<"$(field Depends)"
check bin/stripped grep -q ', stripped' <<<"$(file "$tree/usr/bin/teclix")"
check desktop/exec grep -qx 'Exec=/usr/bin/teclix' "$tree/usr/share/applications/teclix.desktop"
for size in 16 32 48 64 128 256; do
  check "icon/$size" [ "$(identify -format '%wx%h' "$tree/usr/share/icons/hicolor/${size}x$size/apps/teclix.png")" = "${size}x$size" ]
done
check copyright/dep5 grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$tree/usr/share/doc/teclix/copyright"
check changelog/upstream cmp -s <(zcat "$tree/usr/share/doc/teclix/changelog.gz") "$src/CHANGELOG.md"
check changelog/debian grep -q "^teclix ($(field Version)) " <(zcat "$tree/usr/share/doc/teclix/changelog.Debian.gz")
for gz in usr/share/doc/teclix/changelog.gz usr/share/doc/teclix/changelog.Debian.gz usr/share/man/man1/teclix.1.gz; do
  check "gzip_n/$(basename "$gz")" [ "$(gunzip_header_mtime "$tree/$gz")" = 0 ]
done
# shellcheck disable=SC2069 # its warnings alone, which go to standard error
man_warnings() { man --warnings -l "$1" 2>&1 >/dev/null; }
check man/renders_without_warnings [ -z "$(man_warnings "$tree/usr/share/man/man1/teclix.1.gz")" ]
check man/version grep -q "teclix $version" <(zcat "$tree/usr/share/man/man1/teclix.1.gz")

# --- lintian ---------------------------------------------------------------------
lintian_txt=$(dirname "$deb")/lintian.txt
log "lintian ($release):"
sed 's/^/  /' "$lintian_txt" >&2
seen=$(sed -nE 's/^([EWIPX]): teclix: ([^ ]+).*/\1 \2/p' "$lintian_txt" | sort -u)
while read -r level tag; do
  [ -n "$tag" ] || continue
  if [ "$level" = E ]; then
    fail "lintian/$tag: an error"
  elif grep -qE "^[^|]*\b$release\b[^|]*\|$tag\|" <<<"$expected_tags"; then
    pass "lintian/$tag: expected"
  else
    fail "lintian/$tag: not in the expected tags"
  fi
done <<<"$seen"
while IFS='|' read -r releases tag _; do
  [[ " $releases " == *" $release "* ]] || continue
  grep -qE " $tag\$" <<<"$seen" || fail "lintian/$tag: listed as expected, no longer said"
done <<<"$expected_tags"
finish
