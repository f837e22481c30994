#!/bin/sh
# The help text help2man reads for quorva: the program's own, with its
# Portuguese headings put back into the words help2man looks for ("Usage:",
# "Options:"); ManPage.cmake turns the page's headings into Portuguese again.
# QUORVA names the program.
set -eu
window=${QUORVA:?QUORVA names the quorva program}
case ${1:-} in
--version) exec "$window" --version ;;
--help) "$window" --help | sed -e '1s/^Uso:/Usage:/' -e 's/^Opções:$/Options:/' ;;
*) echo "usage: $0 --help|--version" >&2; exit 2 ;;
esac
