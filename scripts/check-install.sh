#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what an install must
# give a desktop: the program, a valid desktop entry named as the AppStream
# id says, the icon at every size, valid AppStream metainfo, the compressed
# manual page, the copyright and changelog, and systemd user units that
# systemd-analyze accepts.
# usage: scripts/check-install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" > /dev/null
failed=0
need() {
  if [ ! -s "$prefix/$1" ]; then
    echo "missing: $1"
    failed=1
  fi
}
need bin/kestrelvision
need share/applications/org.brannowerks.Kestrelvision.desktop
need share/metainfo/org.brannowerks.Kestrelvision.metainfo.xml
need share/icons/hicolor/scalable/apps/kestrelvision.svg
need share/man/man1/kestrelvision.1.gz
need share/doc/kestrelvision/copyright
need share/doc/kestrelvision/changelog.gz
need lib/systemd/user/kestrelvision.service
need lib/systemd/user/kestrelvision@.service
for size in 16 32 48 64 128 256; do
  png="share/icons/hicolor/${size}x${size}/apps/kestrelvision.png"
  need "$png"
  if [ -s "$prefix/$png" ] && ! file "$prefix/$png" | grep -q "PNG image data, $size x $size"; then
    echo "not a ${size}x${size} PNG: $png"
    failed=1
  fi
done
desktop-file-validate "$prefix/share/applications/org.brannowerks.Kestrelvision.desktop" || failed=1
metainfo="$prefix/share/metainfo/org.brannowerks.Kestrelvision.metainfo.xml"
grep -q "<launchable type=\"desktop-id\">org.brannowerks.Kestrelvision.desktop</launchable>" \
  "$metainfo" || { echo "the AppStream id does not name the desktop entry"; failed=1; }
zcat "$prefix/share/man/man1/kestrelvision.1.gz" | grep -q '^\.TH KESTRELVISION 1' ||
  { echo "the manual page does not read"; failed=1; }
appstreamcli validate --no-net "$metainfo" \
  > /dev/null || failed=1
# The units, with the manual page they point to; the template as instance 2.
units="$prefix/units"
mkdir -p "$units" "$prefix/run" && chmod 700 "$prefix/run"
cp "$prefix/lib/systemd/user/kestrelvision.service" "$units/"
cp "$prefix/lib/systemd/user/kestrelvision@.service" "$units/kestrelvision@2.service"
grep -q "^ExecStart=$prefix/bin/kestrelvision --headless /I%i$" "$units/kestrelvision@2.service" ||
  { echo "the template does not start the installed program"; failed=1; }
for unit in kestrelvision.service kestrelvision@2.service; do
  XDG_RUNTIME_DIR="$prefix/run" MANPATH="$prefix/share/man" \
    systemd-analyze --user verify "$units/$unit" || { echo "systemd-analyze: $unit"; failed=1; }
done
# A sanitizer build would count library caches as leaks.
ASAN_OPTIONS=detect_leaks=0 "$prefix/bin/kestrelvision" --version | grep -q "^kestrelvision " || failed=1
exit "$failed"
