#!/usr/bin/env bash
# The README's commands (readme_commands.sh) from a tree under /tmp, where
# many clone a project to try it: the README, the script and the two
# programs copied into a fresh folder of /tmp and run from there.
# Usage: readme_under_tmp.sh README.md DIR-OF-quorva-cli DIR-OF-quorva
set -eu
tree=$(mktemp -d /tmp/quorva-tree.XXXXXX)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/tests/cli" "$tree/build/cli" "$tree/build/window"
cp "$1" "$tree/README.md"
cp "$(dirname "$0")/readme_commands.sh" "$tree/tests/cli/"
cp "$2/quorva-cli" "$tree/build/cli/"
cp "$3/quorva" "$tree/build/window/"
"$tree/tests/cli/readme_commands.sh" "$tree/README.md" "$tree/build/cli" "$tree/build/window"
