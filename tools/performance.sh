#!/usr/bin/env bash
# Writes docs/performance.md from the benchmark program. Build first (./dev.sh test).
#   POLLS=30 RUNS=9 tools/performance.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/bench/bench_quorva ] || { echo "build first: ./dev.sh test" >&2; exit 1; }
results=$(QT_QPA_PLATFORM=offscreen build/bench/bench_quorva --bindir build \
          --polls "${POLLS:-30}" --runs "${RUNS:-9}" 2>/dev/null)
{
    cat <<'HEAD'
# Performance

Written by `tools/performance.sh` (the program `bench/bench.cpp`); rerun it to
refresh. The window and the command line run against the virtual transmitter,
which delivers its replies at the pace of 9600 baud 8N1 (about 1.04 ms a
character) after a 4 ms turnaround, as a real line would. Ratios compare two
programs measured in the same run, alternated, so that a busy machine slows
both alike; absolute times vary between machines and runs.

HEAD
    printf '%s\n' "$results"
    cat <<'TAIL'

## How each figure is taken

- Data age: the benchmark gives the window a tick, waits for `Edit28` to change
  (the device's value changes before every reading) and takes the time of the
  change. The virtual transmitter reports when the reply's last byte was due in
  the receive queue. The master looks at the queue every 2 ms from the event
  loop, which bounds the first figure.
- Window thread blocked: a 1 ms precise timer runs on the window's thread; the
  longest gap between its firings, less 1 ms, is the longest time anything kept
  the thread from its event loop (sending, decoding, repainting, timer jitter).
- Start-up: a copy of the program built with a probe (`bench_quorva_startup`,
  the same `main.cpp`) prints the monotonic time and its resident memory once
  the event loop has shown the window, then quits; the launcher subtracts the
  time it started the process. The baseline is a Qt Widgets program that shows
  one label.
- The shell: wall time of the whole process, from start to exit.
TAIL
} > docs/performance.md
echo "wrote docs/performance.md"
