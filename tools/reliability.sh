#!/usr/bin/env bash
# Writes docs/reliability.md: the fault matrix as the tests observe it, a long
# soak, and a fuzz run when the sanitizer tree is built. Build first (./dev.sh test).
#   SOAK_CYCLES=100000 FUZZ_SECONDS=60 tools/reliability.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/tests/tst_faultmatrix ] || { echo "build first: ./dev.sh test" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

QT_QPA_PLATFORM=offscreen QUORVA_FAULT_MATRIX="$tmp/matrix.md" build/tests/tst_faultmatrix \
    > "$tmp/matrix.log" 2>&1 || { cat "$tmp/matrix.log"; exit 1; }
QT_QPA_PLATFORM=offscreen build/tests/quorva_soak --cycles "${SOAK_CYCLES:-100000}" \
    --report "$tmp/soak.md" > "$tmp/soak.log" 2>&1 || { cat "$tmp/soak.log"; exit 1; }
# The mutation check's section, as tools/mutants.sh last wrote it.
mutation=$(awk '/^## /{on = $0 == "## Mutation check"} on' docs/reliability.md)
fuzz="The fuzz target was not built (run \`./dev.sh test\`, which builds \`build-sanitize/\`)."
if [ -x build-sanitize/tests/fuzz_reply ]; then
    mkdir -p build-sanitize/tests/fuzz-corpus
    build-sanitize/tests/fuzz_reply -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 \
        -print_final_stats=1 build-sanitize/tests/fuzz-corpus tests/fuzz/corpus > "$tmp/fuzz.log" 2>&1
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$tmp/fuzz.log" | grep -o '[0-9]*$')
    added=$(grep -o 'stat::new_units_added: *[0-9]*' "$tmp/fuzz.log" | grep -o '[0-9]*$')
    cov=$(grep -o 'cov: [0-9]*' "$tmp/fuzz.log" | tail -1)
    fuzz="Last run: ${FUZZ_SECONDS:-60} s, $runs inputs, $added new corpus entries, final $cov edges; no crash, no sanitizer report."
fi

{
    cat <<'HEAD'
# Reliability

Written by `tools/reliability.sh` from the tests themselves; rerun it to
refresh. Our claims: QUORVA never shows a value as read that the transmitter
did not send, never writes a value the technician did not enter, and recovers
from every fault on the link.

## Fault matrix

Each row is a fault injected into the virtual transmitter (or its driver)
while the window reads it once a second. Before the fault the device's values
are changed, so that a stale or mangled reading would show. Every row of the
test (`tests/ui/tst_faultmatrix.cpp`) states, in the window's own texts,
whether the reply is taken and what the window must show: the values (the new
ones, or the last accepted ones unchanged), `Label6`, status panel 1, the
messages and whether reading goes on; that no request but a read reached the
device and no register changed (unless the technician sent); and that the
window then recovers. The table below is written from those rows.

"Stop ... then send at once" (the technician clicks "Parar Leitura" while a
poll is on the line, then at once "Enviar"): the reading in flight keeps the
line until its reply has crossed it and is dropped; the write follows and its
echo is the one confirmed. "Reply one poll late": each reply comes 1050 ms
after its request, past the 800 ms response timeout; after a request without a
valid reply the next one waits until the line has been quiet for 1150 ms, so a
late reply is heard and dropped and never taken as the answer to the next
request. Both are also pinned on the master alone, in `tst_modbusmaster`.

HEAD
    cat "$tmp/matrix.md"
    cat <<'MID'

"Two replies queued": the first reply is complete and valid, and is taken; the
second is discarded before the next request. "1100 stray bytes": the master
takes at most the bytes the expected reply needs (never more than its
1024-byte buffer, never more than the driver delivered); the rest is purged.
A failed send writes no activity text, so panel 1 keeps the last one while
panel 0 and the two messages tell the failure.

The configuration write has its own faults, tested in `tst_mainwindow`
(`writeMustBeConfirmed`, `sendChecks`):
"Enviado..." appears only when the transmitter's echo matched; otherwise the
message "A configuração não foi confirmada pelo transmissor." A write is only
ever the values the technician entered, after the window's checks; a choice
with no selection or a range whose tenfold does not fit a register is refused
with nothing sent.

## Soak

`tests/soak/soak.cpp`: the window polls the virtual transmitter in simulated
time (one tick a second, replies paced at 9600 baud), the device's values
change every cycle, and about three cycles in ten carry a fault drawn at
random from the matrix above. After every cycle the displayed values are
compared with what the device sent (a reading taken) or with what was shown
before (one refused), and a reading whose reply the fault spoils must not have
been taken at all; a disconnect is followed by "Conectar" and "Ler".
Memory: the process's resident set (VmRSS from /proc/self/status) is sampled
at every tenth of the run; "flat" means the last sample is within 1 MiB of the
second (the first includes start-up). CI runs 3,000 cycles in the normal build
and 20,000 under AddressSanitizer and UndefinedBehaviorSanitizer (with leak
detection), where RSS is not judged.

MID
    cat "$tmp/soak.md"
    printf '\n%s\n' "$mutation"
    cat <<'FUZZ'

## Fuzzing

`tests/fuzz/fuzz_reply.cpp` (libFuzzer, clang, AddressSanitizer and
UndefinedBehaviorSanitizer): arbitrary bytes arrive in the receive queue, at a
pace the input chooses, after a read or a write request; sometimes the queue
reports more bytes than it holds. They go through the master's receive and
validation, then the decode into the register image and the window's texts.
The target aborts if a reply is accepted that is not a valid frame, if more
bytes are taken than delivered or than the buffer holds, or if a decoded value
differs from the word in the reply. Seeds: `tests/fuzz/corpus/`. CI runs it for
60 seconds; to run it longer:

    build-sanitize/tests/fuzz_reply -max_total_time=3600 build-sanitize/tests/fuzz-corpus tests/fuzz/corpus

FUZZ
    printf '%s\n' "$fuzz"
} > docs/reliability.md
echo "wrote docs/reliability.md"
