#!/usr/bin/env bash
# Builds the .deb from this build tree and checks its files and dependencies,
# runs lintian on it (any error or warning fails), and checks that the manual
# pages name every option the shipped programs' --help prints and, like the
# help texts, hold no English line.
set -euo pipefail
build_dir=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The package is built by the README's own commands, as written, from the top
# of a tree whose build/ is this one (a copy of its CPack configuration).
readme=$(dirname "$0")/../../README.md
cpack_line=$(sed -n 's/^    \(cpack [^#]*[^# ]\) *#.*$/\1/p' "$readme")
apt_path=$(sed -n 's/^    sudo apt install \(\.\/[^ ]*\).*$/\1/p' "$readme")
[ -n "$cpack_line" ] && [ -n "$apt_path" ] || { echo "README: no cpack or apt install line"; exit 1; }
mkdir -p "$out/top/build"
cp "$build_dir/CPackConfig.cmake" "$out/top/build/"
(cd "$out/top" && eval "$cpack_line" >/dev/null)
deb=$out/top/$apt_path
[ -f "$deb" ] || { echo "README: '$cpack_line' writes no $apt_path"; exit 1; }
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
status=0
fail() { echo "$*"; status=1; }
for f in ./usr/bin/quorva ./usr/bin/quorva-cli ./usr/share/applications/quorva.desktop \
         ./usr/share/icons/hicolor/32x32/apps/quorva.png \
         ./usr/share/bash-completion/completions/quorva-cli; do
    grep -qx "$f" <<<"$files" || fail "missing in package: $f"
done
! grep -E '^\./usr/(bin|lib)/.*(tst_|screenshot)' <<<"$files" || fail "test programs must not be packaged"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 libqt6serialport6 libqt6core6 libqt6charts6 qt6-qpa-plugins fonts-liberation; do
    grep -q "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
dpkg-deb -x "$deb" "$out/root"

# The udev rule: where udev reads it, early enough for uaccess (before
# 73-seat-late), for the FTDI vendor, with ModemManager told to keep off.
rules=$(grep -E '^\./(usr/)?lib/udev/rules\.d/[67][0-9]-[a-z-]+\.rules$' <<<"$files" || true)
for want in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="0403"' 'TAG+="uaccess"' 'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
    grep -qsF "$want" "$out/root/${rules:-none}" || fail "udev rule '$rules' lacks $want"
done

# Bash completion as bash runs it, in an empty folder: the words typed so far
# (a final blank starts a new word), then the words offered.
completion=$out/root/usr/share/bash-completion/completions/quorva-cli
export PATH=$out/root/usr/bin:$PATH
ports=$(quorva-cli ports | awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i }' | xargs)
mkdir "$out/empty"
while IFS='|' read -r typed offered; do
    got=$(cd "$out/empty" && bash -c 'source "$1"; read -ra COMP_WORDS <<<"$2"
        [[ $2 == *" " ]] && COMP_WORDS+=(""); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _quorva_cli; echo "${COMPREPLY[*]}"' sh "$completion" "$typed")
    [ "$got" = "$offered" ] || fail "completion of '$typed': '$got', not '$offered'"
done <<ROWS
quorva-cli |ports read monitor write simulate commission report --help --version
quorva-cli w|write
quorva-cli read |--help --json --port --simulate
quorva-cli write --sensor |Pt100 J K R S T N E B
quorva-cli write --fault l|low
quorva-cli write --direction |rising falling
quorva-cli simulate --fault no|none no-reply noise
quorva-cli monitor --count |
quorva-cli report --o|--output --operator
quorva-cli read --port |$ports
ROWS
! command -v desktop-file-validate >/dev/null || desktop-file-validate "$out/root/usr/share/applications/quorva.desktop" || status=1

# Lintian's exit status 2 marks an error or warning; its root notice on
# stderr is not a finding.
lintian --fail-on error,warning "$deb" || fail "lintian found errors or warnings"

# The licence shipped in the package is the project's LICENSE.
licence_text=$(sed -n '/^Permission is hereby granted/,$p' "$(dirname "$0")/../../LICENSE")
shipped_text=$(tac "$out/root/usr/share/doc/quorva/copyright" | sed '/^License: Expat$/q' | tac |
               sed -e 1d -e 's/^ //' -e 's/^\.$//')
[ "$licence_text" = "$shipped_text" ] || fail "copyright's Expat text differs from LICENSE"

# Each manual page, found by name as `man` finds it once installed, against
# the --help of the shipped program (and of every quorva-cli sub-command),
# asked with no display at all.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
page() { LC_ALL=C.UTF-8 MANWIDTH=200 man --nh --nj -M "$out/root/usr/share/man" "$1"; }
options_in() { grep -oE -- '(^|[ ,(])--?[a-zA-Z][a-zA-Z-]*' | sed 's/^[ ,(]//' | sort -u; }
english='Usage|Options|Arguments|Displays?|information|commandline|the|and|this|with|NAME|SYNOPSIS|DESCRIPTION|OPTIONS|EXAMPLES|SEE ALSO|User Commands'
no_english() { ! grep -wE "$english" <<<"$2" || fail "English in $1"; } # what, text
check_page() { # name, help text
    local text
    text=$(page "$1") || { echo "man finds no page $1"; status=1; return; }
    no_english "$1(1)" "$text"
    no_english "$1 --help" "$2"
    grep -q '^EXEMPLOS' <<<"$text" || fail "$1(1) lacks EXEMPLOS"
    grep -q '^STATUS DE SAÍDA' <<<"$text" || fail "$1(1) lacks STATUS DE SAÍDA"
    while read -r option; do
        grep -qE -- "(^|[^a-zA-Z-])$option([^a-zA-Z-]|\$)" <<<"$text" || fail "$1(1) lacks $option"
    done < <(options_in <<<"$2")
}
window_help=$("${headless[@]}" "$out/root/usr/bin/quorva" --help)
check_page quorva "$window_help"
cli=$out/root/usr/bin/quorva-cli
cli_help=$("$cli" --help)
commands=$(sed -n '/^Comandos:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' <<<"$cli_help")
for required in ports read monitor write simulate; do
    grep -qx "$required" <<<"$commands" || fail "quorva-cli --help lists no $required"
done
for command in $commands; do
    cli_help+=$'\n'$("$cli" "$command" --help)
    page quorva-cli | grep -q "quorva-cli $command" || fail "quorva-cli(1) lacks the sub-command $command"
done
check_page quorva-cli "$cli_help"
no_english "--version" "$("${headless[@]}" "$out/root/usr/bin/quorva" --version; "$cli" --version)"
echo "$(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
exit $status
