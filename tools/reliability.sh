#!/usr/bin/env bash
# Writes docs/reliability.md: the fault matrix as the tests observe it, a long
# soak, and a fuzz run when the sanitizer tree is built. Build first (./dev.sh test).
#   SOAK_CYCLES=100000 FUZZ_SECONDS=30 tools/reliability.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -x build/tests/tst_faultmatrix ] || { echo "build first: ./dev.sh test" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

QT_QPA_PLATFORM=offscreen QUORVA_FAULT_MATRIX="$tmp/matrix.md" build/tests/tst_faultmatrix \
    > "$tmp/matrix.log" 2>&1 || { cat "$tmp/matrix.log"; exit 1; }
QT_QPA_PLATFORM=offscreen build/tests/quorva_soak --cycles "${SOAK_CYCLES:-100000}" \
    --report "$tmp/soak.md" > "$tmp/soak.log" 2>&1 || { cat "$tmp/soak.log"; exit 1; }
fuzz="The fuzz targets were not built (run \`./dev.sh test\`, which builds \`build-sanitize/\`)."
if [ -x build-sanitize/tests/fuzz_exchange ]; then
    fuzz="Last run (${FUZZ_SECONDS:-30} s each, from the seeds and the build tree's corpus):"$'\n'
    for target in reply exchange ptyframing; do
        mkdir -p build-sanitize/tests/fuzz-corpus/$target
        status=0
        build-sanitize/tests/fuzz_$target -max_total_time="${FUZZ_SECONDS:-30}" -timeout=10 \
            -print_final_stats=1 build-sanitize/tests/fuzz-corpus/$target tests/fuzz/corpus/$target \
            > "$tmp/fuzz.log" 2>&1 || status=$?
        [ "$status" -eq 0 ] || { tail -40 "$tmp/fuzz.log"; echo "fuzz_$target found a fault" >&2; exit 1; }
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$tmp/fuzz.log" | grep -o '[0-9]*$')
        added=$(grep -o 'stat::new_units_added: *[0-9]*' "$tmp/fuzz.log" | grep -o '[0-9]*$')
        cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$tmp/fuzz.log" | tail -1)
        fuzz+="- \`fuzz_$target\`: $runs inputs, $added new corpus entries, final $cov; no finding, no sanitizer report."$'\n'
    done
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
are changed, so that a stale or mangled reading would show; the test checks
that the window shows either those new values exactly (a valid reply) or the
last accepted ones unchanged, that no request but a read reached the device
and no register changed, and then that the window recovers. The table is what
the test observed; the test fails if any of that does not hold.

HEAD
    cat "$tmp/matrix.md"
    cat <<'MID'

"Two replies queued": the first reply is complete and valid, and is taken; the
second is discarded before the next request. "Over-long queue": the master
takes at most the bytes the expected reply needs (never more than its
1024-byte buffer, never more than the driver delivered); the rest is purged.
A failed send writes no activity text, so panel 1 keeps the last one while
panel 0 and the two messages tell the failure.

The configuration write has its own faults, tested in `tst_mainwindow`
(`writeMustBeConfirmed`, `writeFailures`, `refusedConfigurationsSendNothing`):
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
compared with what the device sent (accepted reading) or with what was shown
before (rejected one); a disconnect is followed by "Conectar" and "Ler".
Memory: the process's resident set (VmRSS from /proc/self/status) is sampled
at every tenth of the run; "flat" means the last sample is within 1 MiB of the
second (the first includes start-up). CI runs 3,000 cycles in the normal build
and 20,000 under AddressSanitizer and UndefinedBehaviorSanitizer (with leak
detection), where RSS is not judged.

MID
    cat "$tmp/soak.md"
    cat <<'FUZZ'
@@FUZZTEXT@@
FUZZ
    printf '\n%s' "$fuzz"
} > docs/reliability.md
echo "wrote docs/reliability.md"
