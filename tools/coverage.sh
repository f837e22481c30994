#!/usr/bin/env bash
# Measures what the suite executes: runs it in the coverage tree (built by
# ./dev.sh coverage: gcc, -O0, --coverage) and writes the "Coverage" section
# of docs/reliability.md, line and branch figures per layer of src/.
#   tools/coverage.sh            run the suite afresh, then report
#   tools/coverage.sh --report   report the counters already in build-coverage/
# Details for reading what is not executed: build-coverage/coverage/index.html
# (line by line, with the branches) and build-coverage/coverage/coverage.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build-coverage
[ -x $tree/tests/tst_cli ] || { echo "build first: ./dev.sh coverage" >&2; exit 1; }
command -v gcovr > /dev/null || { echo "gcovr is missing: ./dev.sh coverage installs it" >&2; exit 1; }

if [ "${1:-}" != --report ]; then
    # Counters from an earlier run would add to this one's.
    find $tree -name '*.gcda' -delete
    # The suite as CI runs it in build/, less the package test: it packs the
    # programs through cpack into a scratch folder outside the tree, and what
    # it runs of ours (--help, --version) quorva_help and quorva_version run too.
    (cd $tree && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -E '^package_deb$')
fi

out=$tree/coverage
rm -rf "$out" && mkdir -p "$out"
# Only src/: the tests, benchmarks, tools and the build's generated moc and
# qrc sources lie outside it. Branches are the code's own decisions: those gcc
# adds for exceptions and unwinding, and those it proves unreachable, are left out.
gcovr --root . --filter 'src/' --exclude '.*_autogen/.*' --exclude '.*qrc_.*' \
    --exclude-throw-branches --exclude-unreachable-branches -j 2 \
    --json-summary "$out/summary.json" --txt "$out/coverage.txt" \
    --html-details "$out/index.html" $tree > /dev/null

commit=$(git rev-parse --short HEAD)
git diff --quiet HEAD -- src tests CMakeLists.txt || commit+=" with changes not committed"
python3 - docs/reliability.md "$out/summary.json" "$(date -u +%F)" "$commit" <<'PY'
import json, re, sys
path, summary_path, day, commit = sys.argv[1:]
files = json.load(open(summary_path, encoding="utf-8"))["files"]

# Layer, lines aimed at, branches aimed at (None: no aim).
layers = [("src/link", 90, 80), ("src/transmitter", 90, 80), ("src/sim", 90, 80),
          ("src/cli", 90, 80), ("src/ui", 80, None)]

def pct(covered, total):
    return f"{100 * covered / total:.1f} %" if total else "n/a"

def fig(covered, total):
    return f"{covered:,}/{total:,}"

rows, met = [], []
totals = [0, 0, 0, 0]
for layer, line_aim, branch_aim in layers:
    own = [f for f in files if f["filename"].startswith(layer + "/")]
    lc = sum(f["line_covered"] for f in own); lt = sum(f["line_total"] for f in own)
    bc = sum(f["branch_covered"] for f in own); bt = sum(f["branch_total"] for f in own)
    totals = [a + b for a, b in zip(totals, (lc, lt, bc, bt))]
    aims, reached = [f"{line_aim} % of lines"], lt and 100 * lc / lt >= line_aim
    if branch_aim is not None:
        aims.append(f"{branch_aim} % of branches")
        reached = reached and bt and 100 * bc / bt >= branch_aim
    rows.append(f"| `{layer}` | {len(own)} | {fig(lc, lt)} | {pct(lc, lt)} | {fig(bc, bt)} | "
                f"{pct(bc, bt)} | {', '.join(aims)}: {'reached' if reached else 'not reached'} |")
lc, lt, bc, bt = totals
rows.append(f"| all of `src/` | {len(files)} | {fig(lc, lt)} | {pct(lc, lt)} | {fig(bc, bt)} | "
            f"{pct(bc, bt)} | |")

low = sorted((f for f in files if f["line_total"] and f["line_covered"] < 0.8 * f["line_total"]),
             key=lambda f: f["line_covered"] / f["line_total"])
low_lines = [f"- `{f['filename']}`: lines {fig(f['line_covered'], f['line_total'])} "
             f"({pct(f['line_covered'], f['line_total'])}), branches "
             f"{fig(f['branch_covered'], f['branch_total'])} ({pct(f['branch_covered'], f['branch_total'])})"
             for f in low] or ["- none"]

section = f"""## Coverage

`./dev.sh coverage` (`tools/coverage.sh`, not part of CI) builds a tree of
its own, `build-coverage/` (gcc, `-O0`, `--coverage`, CMake option
`QUORVA_COVERAGE`), runs the suite there as CI runs it in `build/`
(`QT_QPA_PLATFORM=offscreen ctest`) except `package_deb`, which packs the
programs through cpack in a scratch folder outside the tree and runs of our
code only what `quorva_help` and `quorva_version` run too, and counts with
gcovr over `src/` alone: the tests, `bench/`, `tools/` and the moc and qrc
sources the build generates are not counted. A branch is one way out of a
decision in our code: the branches gcc adds for exceptions and unwinding and
those it finds unreachable are left out (`--exclude-throw-branches`,
`--exclude-unreachable-branches`). Headers count with their layer.

The programs the tests start (`quorva-cli` in `tst_cli`, the window in
`tst_mainwindow_serial`, `quorva_help` and `quorva_version`) add their
counters when they exit, normally or on SIGTERM or SIGHUP (and SIGINT for
`quorva-cli`), which they turn into a normal exit. A process killed outright
writes none: the simulator that `tst_cli` kills with SIGKILL (to leave a
stale link behind), and any child a test has to kill after its time is up.

| layer | files | lines | | branches | | aim |
|---|---|---|---|---|---|---|
""" + "\n".join(rows) + f"""

Files under 80 % of lines:

""" + "\n".join(low_lines) + f"""

Last run ({day}, commit {commit}). Line by line:
`build-coverage/coverage/index.html` after `./dev.sh coverage`.
"""

text = open(path, encoding="utf-8").read()
old = re.search(r"^## Coverage\n.*?(?=^## |\Z)", text, re.S | re.M)
if old:
    text = text.replace(old.group(0), section + ("\n" if old.end() < len(text) else ""))
else:
    text = text.rstrip("\n") + "\n\n" + section
open(path, "w", encoding="utf-8").write(text.rstrip("\n") + "\n")
PY
echo "wrote the Coverage section of docs/reliability.md"
