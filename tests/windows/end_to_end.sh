#!/usr/bin/env bash
# The Windows programs end to end under wine, in a wine prefix of their own,
# run from the folder as installed (nothing of the build on their path):
# quorva-cli.exe against the Linux build's simulator through COM8 (a link in
# the prefix's dosdevices onto its pseudo-terminal), the Linux build reading
# back what the Windows build wrote; Ctrl-C; the files; the window under Xvfb
# (its title and a screenshot); the installer, installing and uninstalling
# silently.
#   end_to_end.sh WINDOWS-BUILD LINUX-BUILD SOURCE-DIR
# QUORVA_SCREENSHOT: where to put the window's screenshot (default: in the
# Windows build, window-windows.png).
set -u
win=$(realpath "$1") linux=$(realpath "$2") src=$(realpath "$3")
stage=$(ls -d "$win"/QUORVA-*/ 2>/dev/null | head -1)
setup=$(ls "$win"/quorva-*-setup.exe 2>/dev/null | head -1)
linux_cli=$linux/src/cli/quorva-cli
for need in "$stage/quorva-cli.exe" "$stage/quorva.exe" "$setup" "$linux_cli"; do
    [ -e "$need" ] || { echo "missing: $need (build the windows_package target and the Linux build)"; exit 1; }
done
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
cleanup() {
    kill $(jobs -p) 2>/dev/null
    wait 2>/dev/null
    wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
"$wine" wineboot -i >/dev/null 2>&1
wineserver -p3 >/dev/null 2>&1 # its output put away: a signal makes it dump its objects

failures=0
pass() { echo "ok: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
# expect NAME STATUS WANTED-STATUS [TEXT-THAT-MUST-APPEAR OUTPUT]
expect() {
    if [ "$2" -ne "$3" ]; then fail "$1 (status $2, expected $3)"; return; fi
    if [ $# -ge 5 ] && ! grep -qF -- "$4" <<<"$5"; then fail "$1 (no '$4' in: $5)"; return; fi
    pass "$1"
}
cli() { "$wine" "$stage/quorva-cli.exe" "$@"; }
# A Linux path as the Windows programs name it.
windowsPath() { printf 'Z:%s' "${1//\//\\}"; }

# The Linux build's simulator, seen from wine as COM8; a silent one as COM9.
"$linux_cli" simulate --link "$work/transmitter" >/dev/null &
"$linux_cli" simulate --link "$work/silent" --fault no-reply >/dev/null &
for _ in $(seq 50); do [ -e "$work/transmitter" ] && [ -e "$work/silent" ] && break; sleep 0.1; done
ln -s "$work/transmitter" "$WINEPREFIX/dosdevices/com8"
ln -s "$work/silent" "$WINEPREFIX/dosdevices/com9"

out=$(cli --version 2>&1)
expect "--version" $? 0 "quorva-cli 1.01" "$out"
out=$(cli read --simulate --json 2>&1)
expect "read --simulate --json" $? 0 '"model":"TRV-A"' "$out"

out=$(cli read --port COM8 --json 2>&1)
expect "read --port COM8" $? 0 '"sensorType":"Pt100"' "$out"

record=$(windowsPath "$work/lote.jsonl")
out=$(cli write --port COM8 --sensor K --zero -0,5 --lower 0 --upper 600 --fault high \
          --direction rising --record "$record" 2>&1)
expect "write --port COM8, confirmed and read back" $? 0 "" "$out"
# What the Windows build wrote, as the Linux build reads it.
back=$("$linux_cli" read --port "$work/transmitter" --json)
got=$(/usr/bin/python3 -c 'import json,sys; d=json.load(sys.stdin); print(d["sensorType"], d["zeroAdjustTenths"], d["rangeLower"], d["rangeUpper"], d["sensorErrorIndex"], d["outputDirectionIndex"])' <<<"$back")
[ "$got" = "Termopar K -5 0 600 2 0" ] && pass "the Linux build reads back what Windows wrote" ||
    fail "the Linux build reads back: $got"
lines=$(wc -l <"$work/lote.jsonl")
[ "$lines" -eq 1 ] && grep -q '"port":"COM8"' "$work/lote.jsonl" && ! grep -q $'\r' "$work/lote.jsonl" &&
    pass "the record: one line, port COM8, bare line feeds" || fail "the record: $(cat "$work/lote.jsonl")"

out=$(cli monitor --port COM8 --count 3 --interval 200 --csv 2>&1)
status=$?
rows=$(grep -c ';°C;' <<<"$out")
[ $status -eq 0 ] && [ "$(head -1 <<<"$out")" = "timestamp;measured;unit;error" ] && [ "$rows" -eq 3 ] &&
    pass "monitor --count 3" || fail "monitor --count 3 (status $status): $out"

# The port goes away under a monitor (its simulator ended) and comes back
# (started again): the failure is named, and the readings resume.
"$linux_cli" simulate --link "$work/restarted" >/dev/null &
first=$!
for _ in $(seq 50); do [ -e "$work/restarted" ] && break; sleep 0.1; done
ln -s "$work/restarted" "$WINEPREFIX/dosdevices/com6"
cli monitor --port COM6 --interval 300 --count 16 --csv >"$work/restarted.csv" 2>/dev/null &
monitor=$!
sleep 2.5
kill -TERM $first
sleep 1.5
"$linux_cli" simulate --link "$work/restarted" >/dev/null &
wait $monitor
status=$?
grep -q "COM6: a porta deixou de responder (cabo desconectado?)" "$work/restarted.csv" &&
    tail -1 "$work/restarted.csv" | grep -q ';°C;$' && [ $status -eq 1 ] &&
    pass "a port gone under monitor is named, and the readings resume" ||
    fail "monitor across a restarted simulator (status $status): $(cat "$work/restarted.csv")"

# A configuration saved on Windows with CRLF line ends writes back.
cli read --port COM8 --json | sed 's/$/\r/' >"$work/k.json"
out=$(cli write --port COM8 --from "$(windowsPath "$work/k.json")" --zero 0,3 2>&1)
expect "write --from a CRLF file" $? 0 "" "$out"

# Ctrl-C (wine turns SIGINT into the console's CTRL_C_EVENT) ends a wait.
"$wine" "$stage/quorva-cli.exe" read --port COM9 --timeout 10000 >"$work/interrupted.out" 2>&1 &
reader=$!
sleep 3
kill -INT $reader
wait $reader
expect "Ctrl-C ends a read waiting for a reply" $? 130 "interrompido" "$(cat "$work/interrupted.out")"

out=$(cli simulate --link "$(windowsPath "$work/x")" 2>&1)
expect "simulate refused on Windows" $? 2 "--simulate" "$out"
out=$(cli write --simulate --zero 0,1 --record NUL 2>&1)
expect "a record named NUL refused" $? 2 "dispositivo do Windows (NUL)" "$out"
out=$(cli report "$record" -o "$(windowsPath "$work")\\COM1.pdf" 2>&1)
expect "a report named COM1.pdf refused" $? 2 "dispositivo do Windows (COM1)" "$out"

out=$(cli report "$record" -o "$(windowsPath "$work/lote.pdf")" --operator "Ana Souza" 2>&1)
status=$?
text=$(pdftotext "$work/lote.pdf" - 2>/dev/null)
expect "report to PDF" $status 0 "Ana Souza" "$text"
grep -q "COM8" <<<"$text" && pass "the report names the port COM8" || fail "the report: $text"
# A record saved on Windows with CRLF line ends reports as well.
sed 's/$/\r/' "$work/lote.jsonl" >"$work/lote-crlf.jsonl"
out=$(cli report "$(windowsPath "$work/lote-crlf.jsonl")" -o "$(windowsPath "$work/crlf.html")" 2>&1)
expect "report from a CRLF record" $? 0 "" "$out"
grep -q "COM8" "$work/crlf.html" 2>/dev/null && pass "the CRLF record's report names COM8" ||
    fail "the CRLF record's report"

out=$(cli ports 2>&1)
expect "ports" $? 0 "" "$out"

# The window program answers its command line without a window, in UTF-8.
out=$("$wine" "$stage/quorva.exe" --version 2>&1)
expect "quorva.exe --version" $? 0 "quorva 1.01" "$out"
out=$("$wine" "$stage/quorva.exe" --porta COM8 2>&1)
expect "quorva.exe refuses an unknown option" $? 2 "quorva: opção desconhecida: porta" "$out"

# The window, on the built-in transmitter, under a virtual display.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
sleep 2
DISPLAY=$display "$wine" "$stage/quorva.exe" --simulate >/dev/null 2>&1 &
window=$!
wid=""
for _ in $(seq 60); do
    wid=$(DISPLAY=$display xdotool search --name '^QUORVA - V\. 1\.01$' 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 1
done
[ -n "$wid" ] && pass "the window opens: QUORVA - V. 1.01" || fail "no window titled 'QUORVA - V. 1.01'"
# "Conectar" and then "Ler" clicked (the middle of each button, as the
# window's layout places them below the menu), and the first readings.
DISPLAY=$display xdotool mousemove --window "$wid" 159 518 click 1 2>/dev/null
sleep 2
DISPLAY=$display xdotool mousemove --window "$wid" 416 471 click 1 2>/dev/null
sleep 4
shot=${QUORVA_SCREENSHOT:-$win/window-windows.png}
eval "$(DISPLAY=$display xdotool getwindowgeometry --shell "$wid" 2>/dev/null)"
DISPLAY=$display import -window root -crop "${WIDTH:-1024}x${HEIGHT:-768}+${X:-0}+${Y:-0}" +repage "$shot" \
    2>/dev/null && pass "screenshot: $shot" || fail "no screenshot"
DISPLAY=$display "$wine" taskkill /IM quorva.exe >/dev/null 2>&1
for _ in $(seq 20); do kill -0 $window 2>/dev/null || break; sleep 0.5; done
if kill -0 $window 2>/dev/null; then fail "the window did not close"; kill $window; else
    wait $window
    expect "the window closes when asked" $? 0
fi

# The installer, silent: Program Files, the Start menu, "Aplicativos e
# recursos"; then the uninstaller, silent, leaves nothing behind.
installed="$WINEPREFIX/drive_c/Program Files/QUORVA"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QUORVA.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QUORVA'
"$wine" "$setup" /S
expect "the installer runs silently" $? 0
[ -f "$installed/quorva.exe" ] && [ -f "$installed/plugins/platforms/qwindows.dll" ] &&
    [ -f "$installed/licencas/qt/GPL-3.0-only.txt" ] && pass "installed under Program Files" ||
    fail "installed: $(ls "$installed" 2>&1)"
[ -f "$shortcut" ] && pass "Start menu entry" || fail "no Start menu entry"
out=$("$wine" reg query "$key" /v UninstallString 2>&1)
expect "uninstaller registered" $? 0 "desinstalar.exe" "$out"
out=$("$wine" "$installed/quorva-cli.exe" read --simulate 2>&1)
expect "the installed quorva-cli reads" $? 0 "TRV-A" "$out"
"$wine" "$installed/desinstalar.exe" /S
for _ in $(seq 60); do [ -e "$installed" ] || break; sleep 0.5; done
[ ! -e "$installed" ] && [ ! -e "$shortcut" ] && pass "uninstalled, folder and entry gone" ||
    fail "left behind: $(ls -R "$installed" 2>&1 | head)"
"$wine" reg query "$key" >/dev/null 2>&1
[ $? -ne 0 ] && pass "uninstaller unregistered" || fail "still in the registry"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
