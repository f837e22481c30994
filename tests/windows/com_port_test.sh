#!/usr/bin/env bash
# The COM port provider under wine, on a real serial path: a socat
# pseudo-terminal pair with Debian's pymodbus serving slave 1 on one end, and
# COM7 of the wine prefix (a link in its dosdevices folder) on the other.
# The test program gets the port's name and the file where the slave
# records its registers after each write.
#   com_port_test.sh WINE-RUN TEST.exe TOOLS-DIR
set -eu
wine_run=$1 test_program=$2 tools=$3
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

socat "pty,raw,echo=0,link=$work/slave" "pty,raw,echo=0,link=$work/master" &
for _ in $(seq 50); do [ -e "$work/slave" ] && [ -e "$work/master" ] && break; sleep 0.1; done
/usr/bin/python3 "$tools/pymodbus_slave.py" --port "$work/slave" --state "$work/registers.json" \
    >"$work/slave.out" &
for _ in $(seq 100); do grep -q READY "$work/slave.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$work/slave.out" || { echo "pymodbus's slave did not start"; exit 1; }

# The prefix exists once the runner has run anything in it.
"$wine_run" cmd /c exit 0
prefix=${QUORVA_WINEPREFIX:-$(dirname "$wine_run")/wineprefix}
ln -sfn "$work/master" "$prefix/dosdevices/com7"
QUORVA_TEST_COM_PORT=COM7 QUORVA_TEST_SLAVE_STATE="Z:${work//\//\\}\\registers.json" \
    "$wine_run" "$test_program"
