#!/bin/sh
# Zandforge's window on a private X server: the toolkit test binary, then
# the program itself, driven by the mouse and keyboard of the X test
# extension. Arguments: the test binary, Zandforge, the artifact folder.
set -eu
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
window_test=$(absolute "$1")
forge=$(absolute "$2")
artifacts=$(absolute "$3")
here=$(cd "$(dirname "$0")" && pwd)

for tool in Xvfb xdotool xwininfo import; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "forge window test skipped: $tool is missing (./zandrel test installs it)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zandforge_window_XXXXXX")
xvfb_pid=
forge_pid=
cleanup() {
    [ -z "$forge_pid" ] || kill "$forge_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "forge window test: $*" >&2
    exit 1
}

# The server picks a free display number itself, so parallel runs never meet.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
tries=0
while [ ! -s "$work/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 200 ] || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    sleep 0.05
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
# The statistics of the suppressions used would land on standard error.
LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS

"$window_test" || fail "the toolkit tests failed"
layout="$artifacts/forge_window_layout.txt"
[ -s "$layout" ] || fail "no gadget positions in $layout"

# The program: a descriptor in src/, its library to be written into dest/.
run="$work/run"
mkdir -p "$run/src" "$run/dest"
printf 'C\n0\nOBJ\n0\nHelp\nGamma\nDEBUGGERCHECK\n' >"$run/src/gamma.desc"
printf 'GAMMA OBJECT' >"$run/src/Gamma.obj"
printf 'SourcePath = %s/old\n' "$run" >"$run/Zandforge.prefs"
(cd "$run" && exec "$forge" 2>"$work/forge.err") &
forge_pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zandforge v5\.30$' | head -n 1)
[ -n "$window" ] || fail "no window titled \"Zandforge v5.30\": $(cat "$work/forge.err")"
xwininfo -id "$window" >"$work/window.txt"
grep -q 'Width: 450$' "$work/window.txt" || { cat "$work/window.txt" >&2; fail "the window is not 450 wide"; }

# Clicks the middle of a gadget.
click() {
    set -- $(awk -v n="$1" '$1 == n { print $2 + int($4 / 2), $3 + int($5 / 2) }' "$layout")
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
type_into() {
    click "$1"
    xdotool key ctrl+a
    xdotool type --delay 2 "$2"
}
type_into 0 "$run/src"
type_into 1 "$run/dest/"
click 2
click 7
click 3

tries=0
while [ ! -s "$run/dest/Gamma" ]; do
    tries=$((tries + 1))
    [ $tries -le 200 ] || fail "Start wrote no library: $(cat "$work/forge.err")"
    sleep 0.05
done
import -window "$window" "$artifacts/forge_window_program.png" || fail "no screenshot"
click 4
rc=0
wait "$forge_pid" || rc=$?
forge_pid=
[ "$rc" -eq 0 ] || fail "Zandforge ended with $rc: $(cat "$work/forge.err")"
[ ! -s "$work/forge.err" ] || fail "Zandforge wrote: $(cat "$work/forge.err")"
grep -q "GAMMA OBJECT" "$run/dest/Gamma" || fail "the library lacks its object"
expected="SourcePath = $run/src
DestinationPath = $run/dest/
ProcessAll = 1
Compression = 0"
[ "$(cat "$run/Zandforge.prefs")" = "$expected" ] || fail "preferences: $(cat "$run/Zandforge.prefs")"

# With a display, a message box of batch mode waits for its answer; the
# failed descriptor still ends the run with 1.
printf 'Basic\n' >"$run/src/broken.desc"
(cd "$run" && exec "$forge" src/broken.desc /NOLOG 2>"$work/batch.err") &
forge_pid=$!
box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Broken\.desc$' | head -n 1)
[ -n "$box" ] || fail "no message box titled \"Broken.desc\": $(cat "$work/batch.err")"
import -window "$box" "$artifacts/forge_message_box.png" || fail "no screenshot of the box"
kill -0 "$forge_pid" 2>/dev/null || fail "Zandforge did not wait for the answer"
# Return answers the box (its first key press may go to the input method).
xdotool mousemove --window "$box" 10 10
tries=0
while xdotool search --onlyvisible --name '^Broken\.desc$' >/dev/null; do
    tries=$((tries + 1))
    [ $tries -le 50 ] || fail "the message box did not close"
    xdotool key Return
    sleep 0.1
done
rc=0
wait "$forge_pid" || rc=$?
forge_pid=
[ "$rc" -eq 1 ] || fail "batch mode ended with $rc after a failed descriptor"
[ ! -s "$work/batch.err" ] || fail "the box went to standard error: $(cat "$work/batch.err")"

# A display that can't be opened ends the dialog with one line and code 1.
rc=0
(cd "$work" && exec env DISPLAY=:1023.9 "$forge") >/dev/null 2>"$work/nodisplay.err" || rc=$?
[ "$rc" -eq 1 ] || fail "without a display Zandforge ended with $rc"
grep -qx 'Zandforge: cannot open the dialog: can.t open display ":1023.9"' "$work/nodisplay.err" ||
    fail "without a display: $(cat "$work/nodisplay.err")"
echo "forge window test passed; screenshots in $artifacts"
