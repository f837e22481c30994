#!/usr/bin/env bash
# Builds the .deb from this build tree and checks its files and dependencies,
# runs lintian on it (any error or warning fails), and checks that the manual
# pages name every option the shipped programs' --help prints.
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
dpkg-deb -x "$deb" "$out/root"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$out/root/usr/share/applications/quorva.desktop" || status=1
fi

# Lintian's exit status 2 marks an error or warning; its root notice on
# stderr is not a finding.
lintian --fail-on error,warning "$deb" || { echo "lintian found errors or warnings"; status=1; }

# The licence shipped in the package is the project's LICENSE.
licence_text=$(sed -n '/^Permission is hereby granted/,$p' "$(dirname "$0")/../../LICENSE")
shipped_text=$(tac "$out/root/usr/share/doc/quorva/copyright" | sed '/^License: Expat$/q' | tac |
               sed -e 1d -e 's/^ //' -e 's/^\.$//')
[ "$licence_text" = "$shipped_text" ] || { echo "copyright's Expat text differs from LICENSE"; status=1; }

# Each manual page, found by name as `man` finds it once installed, against
# the --help of the shipped program (and of every quorva-cli sub-command),
# asked with no display at all.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
page() { LC_ALL=C.UTF-8 MANWIDTH=200 man --nh --nj -M "$out/root/usr/share/man" "$1"; }
options_in() { grep -oE -- '(^|[ ,(])--?[a-zA-Z][a-zA-Z-]*' | sed 's/^[ ,(]//' | sort -u; }
check_page() { # name, help text
    local text missing=0
    text=$(page "$1") || { echo "man finds no page $1"; status=1; return; }
    grep -q '^STATUS DE SAÍDA' <<<"$text" || { echo "$1(1) lacks STATUS DE SAÍDA"; status=1; }
    while read -r option; do
        grep -qE -- "(^|[^a-zA-Z-])$option([^a-zA-Z-]|\$)" <<<"$text" ||
            { echo "$1(1) lacks $option"; missing=1; }
    done < <(options_in <<<"$2")
    [ $missing -eq 0 ] || status=1
}
window_help=$("${headless[@]}" "$out/root/usr/bin/quorva" --help)
check_page quorva "$window_help"
cli=$out/root/usr/bin/quorva-cli
cli_help=$("$cli" --help)
commands=$(sed -n '/^Comandos:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$cli_help")
for required in ports read monitor write simulate; do
    grep -qx "$required" <<<"$commands" || { echo "quorva-cli --help lists no $required"; status=1; }
done
for command in $commands; do
    cli_help+=$'\n'$("$cli" "$command" --help)
    page quorva-cli | grep -q "quorva-cli $command" ||
        { echo "quorva-cli(1) lacks the sub-command $command"; status=1; }
done
check_page quorva-cli "$cli_help"
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
exit $status
