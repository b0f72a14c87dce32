#!/usr/bin/env bash
# The first run of tools/run-orvid, as a new user meets it.
#  - Without a display, while another server holds the demo's usual port: the run moves the
#    demo server to a free port, drives the program through Site Manager, listing and
#    Download To, checks the bytes and leaves the pictures; status 0.
#  - The demo site beside the user's own sites, in a fresh prefix: added when missing,
#    kept as it is when present (the server then serves on the site's port, or says that
#    the site points elsewhere when that port is taken); the user's own site never changes.
#  - The demo server ends with the script that started it, also when that is killed.
#   DemoTest.sh WINDOWS_BUILD_DIR
# The Windows build tree must be BUILD/windows, as tools/run-orvid builds it; the test's
# own files go to WINDOWS_BUILD_DIR/demo-test.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=$(realpath "$1")
[[ $(basename "$tree") == windows ]] || { echo "skipped: $tree is not BUILD/windows"; exit 77; }
work=$tree/demo-test
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

# A listener on the port for as long as the test runs; returns once the port is held, by
# it or by something else. Whatever else holds it may let go (another run of this test, a
# demo server of tools/run-orvid): the listener then takes the port at once.
hold_port() {
    local ready=$work/holding-$1
    /usr/bin/python3 -c '
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
told = False
deadline = time.monotonic() + 600
while time.monotonic() < deadline:
    try:
        s.bind(("127.0.0.1", int(sys.argv[1])))
        s.listen()
        break
    except OSError:
        if not told:
            open(sys.argv[2], "w").close()
            told = True
        time.sleep(0.01)
if not told:
    open(sys.argv[2], "w").close()
time.sleep(max(0, deadline - time.monotonic()))' "$1" "$ready" &
    holders+=($!)
    for _ in {1..200}; do
        [[ -e $ready ]] && return 0
        sleep 0.1
    done
    echo "FAIL: nothing holds port $1 after 20 s"
    exit 1
}
holders=()
trap 'kill "${holders[@]}" 2>/dev/null || true' EXIT

greets() { timeout 5 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1 && head -c 3 <&3" 2>/dev/null | grep -q 220; }
# True once nothing greets on the port any more; false when something still does after 20 s.
stops_greeting() {
    for _ in {1..100}; do
        greets "$1" || return 0
        sleep 0.2
    done
    return 1
}

echo "== without a display, the usual port taken"
hold_port 2121
if env -u DISPLAY ORVID_BUILD="$(dirname "$tree")" "$root/tools/run-orvid" --no-demo >"$work/no-demo.log" 2>&1; then
    fail "--no-demo without a display claimed success"
else
    pass "--no-demo without a display is refused"
fi
if env -u DISPLAY ORVID_BUILD="$(dirname "$tree")" "$root/tools/run-orvid" >"$work/headless.log" 2>&1; then
    pass "headless run-orvid exits 0"
else
    fail "headless run-orvid failed:"
    sed 's/^/    /' "$work/headless.log"
fi
grep -q "port 2121 is taken" "$work/headless.log" && pass "says the port was taken" || fail "no word of the taken port"
grep -q "checked: 5 files, 1063425 bytes" "$work/headless.log" && pass "the downloaded bytes were checked" ||
    fail "no check of the downloaded bytes in the output"
for picture in site-manager listing folder; do
    file=$(dirname "$tree")/screenshots/demo-$picture.png
    [[ $(head -c 4 "$file" 2>/dev/null | tail -c 3) == PNG ]] && pass "picture $picture" || fail "no picture $file"
done

# The same run when the server has gone away: the driver must name the failed step and
# what the program said, not report success.
state=$work/failed-state
mkdir -p "$state"
headless_prefix=$(dirname "$tree")/run/headless/wineprefix
if env -u DISPLAY WINEPREFIX="$headless_prefix" WINEDEBUG=-all xvfb-run -a -s "-screen 0 1024x768x24" \
    "$root/tools/demo/headless-session" "$state" "$work" 120 "$tree/tools/orvid_demo_driver.exe" \
    "Z:${state//\//\\}" "Local demo server" docs "Z:${work//\//\\}" >"$work/failed.log" 2>&1; then
    fail "a headless run without a server claimed success"
elif grep -q '^failed: list-demo-tree: a box is open: .*[Cc]onnect' "$state/result"; then
    pass "a headless run without a server names the step and the program's message"
else
    fail "a headless run without a server reported: $(cat "$state/result" 2>/dev/null)"
fi

echo "== the demo site beside the user's own"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree=;mshtml="
"$root/tests/support/wine-prefix" "$WINEPREFIX"
demosite=$tree/tools/demosite.exe
wine "$demosite" add "My server" ftp.example.org 21 me secret >/dev/null
own_site() { wine reg query 'HKCU\Software\FTPClient\Sites' /v "My server" 2>/dev/null | tr -d '\r' | grep REG_BINARY; }
before=$(own_site)
site_port() { wine "$demosite" port "Local demo server" 2>/dev/null | tr -d '\r'; }

# One run of the demo part as tools/run-orvid does it, in a shell that then ends; prints
# the server's port, and the port the site has, and whether the server answered.
demo_run() {
    (
        root=$root build=$work
        source "$root/tools/demo/demo.sh"
        demo_start orvid "$demosite" >"$work/demo-start.log" 2>&1
        greets "$demo_port" && answered=yes || answered=no
        echo "$demo_port $answered"
    )
}

# Existing demo site: none, on a free port, on a taken port.
demo_run >"$work/run.out"
read -r port answered <"$work/run.out"
[[ $answered == yes ]] && pass "the demo server answers on $port" || fail "no answer from the demo server on $port"
[[ $(site_port) == "$port" ]] && pass "the missing demo site is added with port $port" ||
    fail "demo site has port '$(site_port)', the server $port"
stops_greeting "$port" && pass "the demo server ends with its script" || fail "the demo server outlived its script"

# A port nobody else uses now, so that another run of this test at the same time can't
# take it.
kept=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
wine "$demosite" add "LOCAL DEMO SERVER" 127.0.0.1 "$kept" demo demo --replace >/dev/null
demo_run >"$work/run.out"
read -r port answered <"$work/run.out"
[[ $port == "$kept" && $(site_port) == "$kept" ]] && pass "a kept demo site's port is served" ||
    fail "kept site on $kept: server on $port, site on $(site_port)"

hold_port "$kept"
demo_run >"$work/run.out"
read -r port answered <"$work/run.out"
if [[ $port != "$kept" && $answered == yes && $(site_port) == "$kept" ]] &&
    grep -q "points to port $kept and is left as it is" "$work/demo-start.log"; then
    pass "a kept demo site on a taken port is left, with a word about it"
else
    fail "kept site on a taken port: server on $port ($answered), site on $(site_port)"
    cat "$work/demo-start.log"
fi
[[ $(own_site) == "$before" && -n $before ]] && pass "the user's own site is unchanged" || fail "the user's own site changed"

# Two runs at once: the second serves a folder of its own, and both answer.
rm -f "$work/run/demo/orvid/port"
(
    root=$root build=$work
    source "$root/tools/demo/demo.sh"
    demo_start orvid "$demosite" >/dev/null 2>&1
    sleep 60 &
    wait $!
) &
first=$!
holders+=("$first")
for _ in {1..100}; do
    [[ -s $work/run/demo/orvid/port ]] && break
    sleep 0.2
done
demo_run >"$work/run.out"
read -r port answered <"$work/run.out"
if [[ $answered == yes ]] && greets "$(<"$work/run/demo/orvid/port")" &&
    grep -q 'another demo run serves from build/run/demo/orvid' "$work/demo-start.log"; then
    pass "a second run at once serves a folder of its own"
else
    fail "a second run at once: $(cat "$work/demo-start.log")"
fi
kill "$first" 2>/dev/null || true
wait "$first" 2>/dev/null || true
[[ -z $(compgen -G "$work/run/demo/orvid-*") ]] && pass "the second run's folder is gone" ||
    fail "left behind: $(compgen -G "$work/run/demo/orvid-*")"

echo "== the demo server ends when its script is killed"
{
    (
        root=$root build=$work
        source "$root/tools/demo/demo.sh"
        demo_start orvid "$demosite" >"$work/killed-start.log" 2>&1
        echo "$demo_port" >"$work/killed-port"
        kill -9 $BASHPID
    ) || true
} 2>/dev/null
if [[ ! -s $work/killed-port ]]; then
    fail "the demo server did not start for the killed script: $(cat "$work/killed-start.log" "$work/run/logs/demo-server.log" 2>/dev/null)"
    wineserver -k 2>/dev/null || true
    echo "$failures failed"
    exit 1
fi
port=$(<"$work/killed-port")
stops_greeting "$port" && pass "the demo server ended with the killed script" ||
    fail "the demo server outlived a killed script"
wineserver -k 2>/dev/null || true

((failures == 0)) || { echo "$failures failed"; exit 1; }
