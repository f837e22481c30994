#!/usr/bin/env bash
# Writes docs/performance.md from the benchmark programs. Build first (./dev.sh test).
#   POLLS=30 RUNS=15 SHELL_RUNS=21 LOAD_SECONDS=10 LOAD_ROUNDS=3 tools/performance.sh
# CPU and wake-ups are measured beside an older build: BEFORE (a commit,
# 3f8994a by default: the master that polled every 2 ms) is built in a scratch
# directory that is removed afterwards; BEFORE_BUILD=DIR reuses such a build
# tree; BEFORE= leaves the comparison out. Under Xvfb, when it is installed,
# the window is also measured on the xcb platform.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/bench/bench_quorva ] || { echo "build first: ./dev.sh test" >&2; exit 1; }
[ -x build/bench/bench_modbus_read ] || { echo "libmodbus-dev is missing: ./dev.sh test" >&2; exit 1; }

scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# The older build: its command line, and the window reading a port
# (bench/window_poll.cpp, which builds against it unchanged).
before=${BEFORE-3f8994a}
before_args=()
if [ -n "${BEFORE_BUILD:-}" ]; then
    before_args=(--before "$BEFORE_BUILD" --before-label "${before:-before}")
elif [ -n "$before" ]; then
    echo "building $before in $scratch ..." >&2
    mkdir "$scratch/src"
    git archive "$before" | tar -x -C "$scratch/src"
    cp bench/window_poll.cpp "$scratch/src/bench/"
    printf '\nadd_executable(bench_window_poll window_poll.cpp)\ntarget_link_libraries(bench_window_poll PRIVATE quorva_ui)\n' \
        >> "$scratch/src/bench/CMakeLists.txt"
    cmake -S "$scratch/src" -B "$scratch/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBUILD_TESTING=OFF > "$scratch/cmake.log"
    cmake --build "$scratch/build" -j"$(nproc)" --target quorva-cli bench_window_poll \
        > "$scratch/build.log"
    before_args=(--before "$scratch/build" --before-label "$before")
fi

xcb_args=()
if command -v Xvfb > /dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$scratch/display" 2> /dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$scratch/display" ] && break; sleep 0.1; done
    [ -s "$scratch/display" ] && xcb_args=(--xcb ":$(cat "$scratch/display")")
fi

results=$(build/bench/bench_quorva --bindir build --polls "${POLLS:-30}" --runs "${RUNS:-15}" \
          --shell-runs "${SHELL_RUNS:-21}" --load-seconds "${LOAD_SECONDS:-10}" \
          --load-rounds "${LOAD_ROUNDS:-3}" "${before_args[@]}" "${xcb_args[@]}" 2>/dev/null)
# The trend window's cost per reading (bench/trend.cpp), offscreen.
trend=$(QT_QPA_PLATFORM=offscreen build/bench/bench_trend --readings "${TREND_READINGS:-3000}" 2>/dev/null)
{
    cat <<'HEAD'
# Performance

Written by `tools/performance.sh` (the programs in `bench/`); rerun it to
refresh. The window and the command line run against the virtual transmitter,
which delivers its replies at the pace of 9600 baud 8N1 (about 1.04 ms a
character) after the device's turnaround, as a real line would. Ratios compare
programs measured in the same run, alternated, so that a busy machine slows
them alike; absolute times vary between machines and runs. The machine is
shared and has two cores (its load average when the run began is given
below): single figures of a millisecond or two are within its noise, which
the noise floor of the block probe shows.

HEAD
    printf '%s\n' "$results"
    printf '\n%s\n' "$trend"
    cat <<'TAIL'

## How each figure is taken

- Displayed: a value counts as displayed when the frame in which `Edit28` was
  painted with it has been handed to the window system. Qt paints the dirty
  widgets into the window's backing store and flushes it while it handles an
  update request (or an expose); the benchmark handles that event itself and
  takes the time when it returns, if `Edit28` was painted meanwhile after its
  text changed (`bench/framewatch.h`). "Text set to frame painted" is the part
  a measurement at `textChanged` leaves out. Offscreen, the flush copies into
  memory; under xcb it goes to the X server (Xvfb), which is as far as a
  program can follow its frame.
- Data age: the benchmark gives the window a tick and waits for the value to be
  displayed (the device's value changes before every reading). The virtual
  transmitter reports when the reply's last byte was due in the receive queue
  and tells the master once the reply is whole (its arrival notification, as
  the cable's driver does with `readyRead`; its timer counts whole
  milliseconds, so the notice comes up to 1 ms after the byte). The reply's
  arrival is placed at a random phase: each reading draws the device's
  turnaround between 4 and 5 ms, to the microsecond, and each tick comes after
  a random pause, so that neither the probe's timer nor the millisecond
  rounding of the transmitter's timer line up with it. The line's limit is
  the request and the reply on the wire plus that reading's turnaround.
- Window thread blocked: a 1 ms precise timer runs on the window's thread all
  along; the longest gap between its firings in a stretch, less 1 ms, is the
  longest time anything kept the thread from its event loop (sending,
  decoding, repainting, timer jitter, the machine's other work). Its noise
  floor is the same probe, in the same process, over stretches of the same
  lengths with the window idle and not connected: what the machine alone
  costs the probe. The polls run in five rounds, each followed by its floor,
  so both meet the machine's load of the moment. A block figure near its
  floor is noise.
- Start-up: a copy of the program built with a probe (`bench_quorva_startup`,
  the same window program with a first-frame hook) prints the monotonic time
  and its resident memory when the window's first frame has been painted and
  flushed, as above, then quits; the launcher subtracts the time it started
  the process. The baseline is a Qt Widgets program that shows one label, with
  the same probe.
- CPU and wake-ups: whole processes, measured from outside. Each program runs
  for 3 s to leave its start-up out, then for the stated time; CPU is the time
  its threads spent on a CPU (`/proc/PID/task/*/schedstat`, which counts in
  nanoseconds, where the `utime`/`stime` of `/proc/PID/stat` count 10 ms
  ticks: too coarse for a process using a tenth of a per cent of a core), and
  wake-ups are its threads' context switches, voluntary (it slept and was
  woken) and not (`/proc/PID/task/*/status`). The programs are `quorva-cli
  monitor --interval 1000 --port PTY` and `bench_window_poll PTY` (the window
  as `quorva --port PTY` builds it, with "Conectar" and "Ler" pressed,
  offscreen), against a `quorva-cli simulate` pseudo-terminal, healthy or
  with `--fault no-reply`. The older build is commit 3f8994a unless stated
  otherwise: its master looked at the receive queue every 2 ms for the whole
  of a transaction (up to the 800 ms response timeout with a silent device).
  This build's master is woken by the driver's arrival notification and by
  one single-shot timer (the response timeout, or the settle time after a
  transaction without a valid reply). Between readings `monitor` waited in
  steps of at most 50 ms in the older build, to notice Ctrl-C (about 20 of
  its wake-ups a second); this build waits on one timer, a signal waking it. After a reading without a reply, this build
  waits a settle (1.15 s from the request) for its late answer, then sends a
  resynchronising read, and another as each goes unanswered; a reading in
  between that could not go out says so.
- The shell: wall time of the whole process, from start to exit, and the CPU
  time it used (user and system, as `wait4` reports it for the ended
  process). Every command of the two shell sections takes its turn to go
  first, run after run: one reading of registers 1 to 37 by `quorva-cli read`
  and the baselines below, `quorva-cli write --zero 0,1` (read, write, echo,
  read-back) and `write --dry-run` with every field given (the same program
  with nothing on the line: its process start), all on one healthy
  `quorva-cli simulate` pseudo-terminal, and `quorva-cli read` and
  `mbpoll -1` on a silent one (`--fault no-reply`), whose failure is what is
  timed. A run after the first finds the port as the run before it left it
  (its note beside the lock; with a silent device, a reading unanswered), as
  a technician's second command would. The libmodbus reader (`bench/modbus_read.c`)
  is the least a libmodbus master does: open the port at 9600 8N1, read, print
  the words, exit. The Qt SerialPort reader (`bench/qtserial_read.cpp`) is the
  least a Qt program does for the same: open, send the literal request, wait
  for the reply's 79 bytes, exit. `mbpoll -1` reads through libmodbus too, but
  sleeps 20 ms after opening the port before it sends, so it is no fair
  baseline on its own. What `quorva-cli read` spends beyond the libmodbus
  reader, the Qt reader spends too: the process start (Qt Core and its
  libraries load and initialise, about 2 ms of CPU against a fraction of one)
  and Qt SerialPort's lock file in `/var/lock`, written, synced to disk and
  removed around every use of the port (about 0.9 ms); the transaction
  itself ends as soon as the reply's last byte is read. That start-up is CPU
  time (the CPU column), so the ratio of wall times grows when the machine is
  busy and the process waits for a core; the ratio to the Qt reader does not.
- The link's goals: the figures above, set beside each goal. The window's
  failure on a silent device is the window of the data-age runs (the virtual
  transmitter in process) told "Conectar" and "Ler" with the device silent,
  five times on the first poll after connecting and five on the first poll
  after a good reading: the tick to the failed reading taken in (its trend
  sample, "Erro de leitura"); the longest of each five is given.
TAIL
} > docs/performance.md
echo "wrote docs/performance.md"
