#!/usr/bin/env python3
"""The shape src/ keeps: no function longer than 80 lines, no include cycle.

Functions are found as clang-format lays them out: a body's braces stand
alone at the indentation of its signature. A file's header and source count
as one unit for cycles (cli/output.cpp including cli/jsonschema.h and
cli/jsonschema.h including cli/output.h is one).
Usage: tools/source_shape.py [SRC-DIR]; status 1 with one line per fault.
"""
import pathlib
import re
import sys

LIMIT = 80
root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
faults = []


def long_functions(path):
    lines = path.read_text(encoding="utf-8").split("\n")
    i = 0
    while i < len(lines):
        brace = re.match(r"^(\s*)\{\s*$", lines[i])
        before = lines[i - 1].rstrip() if i > 0 else ""
        if brace and re.search(r"\)(\s*(const|override|noexcept))*$|^\s*[:,]", before):
            start = i - 1
            while start > 0 and lines[start - 1].strip() and not re.search(
                    r"[;{}]$|\*/$|^\s*(//|#|template)", lines[start - 1]):
                start -= 1
            end = i + 1
            while end < len(lines) and not lines[end].startswith(brace.group(1) + "}"):
                end += 1
            if end - start + 1 > LIMIT:
                yield start + 1, end - start + 1, lines[start].strip()
            i = end
        i += 1


graph = {}
for path in sorted(root.rglob("*")):
    if path.suffix not in (".h", ".cpp"):
        continue
    for line, length, signature in long_functions(path):
        faults.append(f"{path}:{line}: {length} lines: {signature[:60]}")
    unit = str(path.relative_to(root).with_suffix(""))
    for included in re.findall(r'#include "([^"]+)"', path.read_text(encoding="utf-8")):
        for found in (root / included, path.parent / included):
            if found.exists():
                other = str(found.relative_to(root).with_suffix(""))
                if other != unit:
                    graph.setdefault(unit, set()).add(other)
                break


def find_cycle(start):
    stack, on_path = [(start, iter(sorted(graph.get(start, ()))))], [start]
    while stack:
        node, rest = stack[-1]
        step = next(rest, None)
        if step is None:
            stack.pop()
            on_path.pop()
        elif step == start:
            return on_path + [start]
        elif step not in on_path:
            stack.append((step, iter(sorted(graph.get(step, ())))))
            on_path.append(step)
    return None


reported = set()
for unit in sorted(graph):
    cycle = find_cycle(unit)
    if cycle and frozenset(cycle) not in reported:
        reported.add(frozenset(cycle))
        faults.append("include cycle: " + " -> ".join(cycle))

print("\n".join(faults) or f"{root}: no function over {LIMIT} lines, no include cycle")
sys.exit(1 if faults else 0)
