#!/usr/bin/env bash
# Makes the Debian package of a build and checks it: the program is in it and
# stripped, and lintian finds no error and no warning. Lintian's informational
# tags are printed, not counted:
#   hardening-no-fortify-functions  the code is not built with _FORTIFY_SOURCE;
#   binary-has-unneeded-section     CPack's strip leaves the .comment section.
# usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"

rm -f "$build"/kestrelvision_*.deb
(cd "$build" && cpack -G DEB > /dev/null)
deb="$(ls "$build"/kestrelvision_*_amd64.deb)"
contents="$(dpkg-deb --contents "$deb" | awk '{print $6}')"
echo "$contents" | grep -v '/$'
echo "$contents" | grep -qx './usr/bin/kestrelvision'

unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
if file "$unpacked/usr/bin/kestrelvision" | grep -q 'not stripped'; then
  echo "the program in the package is not stripped"
  exit 1
fi
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"

# A CI container runs as root, which lintian only warns about.
lintian --allow-root --pedantic --display-info --fail-on error,warning "$deb"
