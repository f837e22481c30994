#!/usr/bin/env bash
# Runs every command of the README's command-line section as written, in
# order: the simulator lines ("terminal N") in the background, the other
# "terminal" lines for a few seconds each, then Ctrl-C as a user ends them. A command succeeds
# unless its comment says "exit status N". It runs in a mount namespace with
# a /tmp and a /var/lock of its own, so the README's /tmp/transmitter (and
# its lock file) is this run's alone.
# Usage: readme_commands.sh README.md DIR-OF-quorva-cli DIR-OF-quorva
set -u
if [ -z "${QUORVA_README_PRIVATE:-}" ]; then
    # Every path resolved first: the tree or its build may well be under /tmp.
    readme=$(realpath "$1") && cli=$(realpath "$2") && window=$(realpath "$3") || exit 1
    unshare -m --propagation private true 2>/dev/null || { echo "SKIP: no mount namespace"; exit 77; }
    exec env QUORVA_README_PRIVATE=1 unshare -m --propagation private "$(realpath "$0")" \
        "$readme" "$cli" "$window"
fi
# The private /tmp hides whatever was under the old one: the README's
# commands are taken, and the programs' folders held open, before it is
# mounted; the programs are then found through this shell's descriptors.
listed=$(sed -n '/^## Command line/,/^## /p' "$1" | grep '^    [a-z]' | sed 's/^    //')
exec 7<"$2" 8<"$3" || exit 1
mount -t tmpfs tmpfs /tmp || exit 1
# The ports' lock files too: another run's /tmp/transmitter is not this one.
[ ! -d /var/lock ] || mount -t tmpfs tmpfs "$(realpath /var/lock)" || exit 1
export PATH="/proc/$$/fd/7:/proc/$$/fd/8:$PATH" QT_QPA_PLATFORM=offscreen
cd "$(mktemp -d)" || exit 1
trap 'kill -INT $(jobs -p) 2>/dev/null; wait' EXIT

failures=0 commands=0
while IFS= read -r line; do
    command=${line%%  #*}
    comment=${line#"$command"}
    expected=0 commands=$((commands + 1))
    [[ $comment =~ exit\ status\ ([0-9]+) ]] && expected=${BASH_REMATCH[1]}
    if [[ $comment == *terminal* && $command == "quorva-cli simulate --link "* ]]; then
        link=$(awk '{print $4}' <<<"$command")
        bash -c "$command" >/dev/null &
        for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
        [ -e "$link" ] && status=0 || status=1
    elif [[ $comment == *terminal* ]]; then
        timeout --preserve-status -s INT 5 bash -c "exec $command" >/dev/null 2>&1
        status=$? # 130: ended by Ctrl-C without a status of its own (the window)
        [ $status -eq 130 ] && status=$expected
    else
        bash -c "$command" >/dev/null 2>&1
        status=$?
    fi
    if [ "$status" -eq "$expected" ]; then echo "ok: $command"
    else echo "FAIL (status $status, expected $expected): $command"; failures=$((failures + 1)); fi
done <<<"$listed"

# What the commands left behind: the monitor's CSV and the record.
[ "$(grep -c '^.*T.*[+-][0-9][0-9]:[0-9][0-9];[0-9-]*,[0-9];' log.csv)" -eq 5 ] || { echo "FAIL: log.csv"; failures=$((failures + 1)); }
[ "$(grep -c '"outcome":"ok"' lote.jsonl)" -eq 3 ] || { echo "FAIL: lote.jsonl"; failures=$((failures + 1)); }
[ $failures -eq 0 ] && [ $commands -gt 10 ]
