#!/usr/bin/env bash
# Builds the .deb from this build tree and checks its files and dependencies.
set -euo pipefail
build_dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$out" >/dev/null)
deb=$(ls "$out"/*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
status=0
for f in ./usr/bin/quorva ./usr/bin/quorva-cli ./usr/share/applications/quorva.desktop \
         ./usr/share/icons/hicolor/32x32/apps/quorva.png; do
    grep -qx "$f" <<<"$files" || { echo "missing in package: $f"; status=1; }
done
if grep -E '^\./usr/(bin|lib)/.*(tst_|screenshot)' <<<"$files"; then
    echo "test programs must not be packaged"; status=1
fi
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6core6 qt6-qpa-plugins; do
    grep -q "$d" <<<"$depends" || { echo "Depends lacks $d: $depends"; status=1; }
done
if command -v desktop-file-validate >/dev/null; then
    dpkg-deb -x "$deb" "$out/root"
    desktop-file-validate "$out/root/usr/share/applications/quorva.desktop" || status=1
fi
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
exit $status
