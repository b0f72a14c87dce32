# The demo part of tools/run-orvid and tools/run-orlet, sourced by both: named steps with
# their logs, and the demo FTP server on loopback with its site in the Site Manager.
# The caller sets root, build and WINEPREFIX (and the Wine variables) before using these.

DEMO_SITE_LABEL="Local demo server"
DEMO_HOST=127.0.0.1
DEMO_USER=demo
DEMO_PASSWORD=demo
DEMO_DEFAULT_PORT=2121
DEMO_SERVER_WAIT_SECONDS=20

# The script's name in its messages.
demo_me=$(basename "$0")

say() { echo "$demo_me: $*"; }

# step TITLE LOG COMMAND [ARGS...]: runs the command with its output in LOG, says what it is
# doing and how long it took; on failure names the step, shows the end of its log and exits.
step() {
    local title=$1 log=$2
    shift 2
    mkdir -p "$(dirname "$log")"
    local started=$SECONDS
    printf '%s: %s ... ' "$demo_me" "$title"
    if "$@" >"$log" 2>&1; then
        echo "ok ($((SECONDS - started)) s)"
    else
        local status=$?
        echo "FAILED (status $status)"
        step_failed "$title" "$log"
    fi
}

# step_failed TITLE LOG: the report of a failed step; exits 1.
step_failed() {
    echo "$demo_me: step \"$1\" failed; its log is $2; the end of it:" >&2
    tail -n 40 "$2" | sed 's/^/    /' >&2
    exit 1
}

# The Windows path of a Linux path under Wine's Z: drive.
windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# demo_tool EXE ARGS...: runs one of the Windows demo tools in WINEPREFIX, its output with
# Windows line ends made plain.
demo_tool() {
    wine "$@" 2>/dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

# demo_start PROGRAM DEMOSITE_EXE [--replace]: starts the demo server (its data in
# build/run/demo/PROGRAM, or a folder of this run's own while another run serves from
# there) and puts its site into the Site Manager of WINEPREFIX. Sets demo_root (the served
# tree) and demo_port. The server ends when this script ends.
demo_start() {
    local program=$1 demosite=$2 replace=${3:-}
    local logs=$build/run/logs
    demo_data=$build/run/demo/$program
    mkdir -p "$build/run/demo" "$logs"
    exec 8>"$demo_data.lock"
    if ! flock -n 8; then
        demo_data=$build/run/demo/$program-$$
        say "another demo run serves from build/run/demo/$program; this one uses $demo_data"
        demo_private_data=$demo_data
    fi
    demo_root=$demo_data/root

    # The port of a demo site kept from an earlier run is tried first, so that the site
    # stays right; another server on it means a free port instead.
    local preferred
    preferred=$(demo_tool "$demosite" port "$DEMO_SITE_LABEL") || preferred=$DEMO_DEFAULT_PORT
    [[ $preferred =~ ^[0-9]+$ ]] || preferred=$DEMO_DEFAULT_PORT
    [[ -n $replace ]] && preferred=$DEMO_DEFAULT_PORT

    printf '%s: starting the demo FTP server ... ' "$demo_me"
    rm -f "$demo_data/port"
    # The shell that runs this, which may be a subshell of the script.
    local parent=$BASHPID
    "$root/tools/demo/demo-ftpd" "$demo_data" --port "$preferred" --parent "$parent" >"$logs/demo-server.log" 2>&1 &
    demo_server_pid=$!
    trap demo_stop EXIT
    local deadline=$((SECONDS + DEMO_SERVER_WAIT_SECONDS))
    until [[ -s $demo_data/port ]]; do
        if ! kill -0 "$demo_server_pid" 2>/dev/null || ((SECONDS >= deadline)); then
            echo "FAILED"
            step_failed "start the demo FTP server" "$logs/demo-server.log"
        fi
        sleep 0.2
    done
    demo_port=$(<"$demo_data/port")
    echo "ok (127.0.0.1:$demo_port, user $DEMO_USER, password $DEMO_PASSWORD)"
    if ((demo_port != preferred)); then
        say "port $preferred is taken (another demo server?); the demo server listens on $demo_port"
    fi

    local added
    step "adding the site \"$DEMO_SITE_LABEL\" to the Site Manager" "$logs/demo-site.log" \
        demo_tool "$demosite" add "$DEMO_SITE_LABEL" "$DEMO_HOST" "$demo_port" "$DEMO_USER" "$DEMO_PASSWORD" $replace
    added=$(<"$logs/demo-site.log")
    if [[ $added == kept* ]] && [[ ${added#kept } != "$demo_port" ]]; then
        say "your site \"$DEMO_SITE_LABEL\" points to port ${added#kept } and is left as it is;" \
            "the demo server is on port $demo_port this time"
    fi
}

demo_stop() {
    if [[ -n ${demo_server_pid:-} ]]; then
        kill "$demo_server_pid" 2>/dev/null || true
        wait "$demo_server_pid" 2>/dev/null || true
        demo_server_pid=
    fi
    if [[ -n ${demo_private_data:-} ]]; then
        rm -rf "$demo_private_data"
        demo_private_data=
    fi
}
