#!/bin/sh
# The help text help2man reads for quorva-cli: the program's own usage, then
# under "Options:" the options of every sub-command listed under "Comandos:",
# one heading per sub-command. QUORVA_CLI names the program.
set -eu
cli=${QUORVA_CLI:?QUORVA_CLI names the quorva-cli program}
case ${1:-} in
--version) exec "$cli" --version ;;
--help) ;;
*) echo "usage: $0 --help|--version" >&2; exit 2 ;;
esac

usage=$("$cli" --help)
# help2man takes the synopsis from a line that starts with "Usage:".
printf '%s\n' "$usage" | sed '1s/^uso:/Usage:/'
printf '\nOptions:\n'
commands=$(printf '%s\n' "$usage" | sed -n '/^Comandos:/,/^$/s/^  \([a-z][a-z-]*\)  .*/\1/p')
[ -n "$commands" ] || { echo "$0: no sub-commands under 'Comandos:'" >&2; exit 1; }
for command in $commands; do
    help=$("$cli" "$command" --help)
    # The sub-command's option list, without its own usage line and heading.
    printf '\nquorva-cli %s:\n' "$command"
    printf '%s\n' "$help" | sed -e '/^uso:/d' -e '/^Opções:/d' -e '/^$/d'
done
