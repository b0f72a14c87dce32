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

# run_setup LOG: tools/setup, whose line naming what it installs shows here, the rest going
# to LOG; a failure ends the script with the log.
run_setup() {
    mkdir -p "$(dirname "$1")"
    say "checking that the compilers, Wine and Xvfb are installed (tools/setup)"
    local status=0
    "$root/tools/setup" 2>&1 | tee "$1" | { grep --line-buffered '^setup:' || true; } || status=$?
    ((status == 0)) || step_failed "install what is missing (tools/setup)" "$1"
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
# build/run/demo/PROGRAM, or a folder of this run's own while another server serves from
# there) and puts its site into the Site Manager of WINEPREFIX. Sets demo_root (the served
# tree) and demo_port. The server ends when this script ends.
demo_start() {
    local program=$1 demosite=$2 replace=${3:-}
    local logs=$build/run/logs
    mkdir -p "$build/run/demo" "$logs"

    # The port of a demo site kept from an earlier run is tried first, so that the site
    # stays right; another server on it means a free port instead.
    local preferred
    preferred=$(demo_tool "$demosite" port "$DEMO_SITE_LABEL") || preferred=$DEMO_DEFAULT_PORT
    [[ $preferred =~ ^[0-9]+$ ]] || preferred=$DEMO_DEFAULT_PORT
    [[ -n $replace ]] && preferred=$DEMO_DEFAULT_PORT

    printf '%s: starting the demo FTP server ... ' "$demo_me"
    trap demo_stop EXIT
    local status=0
    demo_serve "$build/run/demo/$program" "$preferred" "$logs/demo-server.log" || status=$?
    if ((status == DEMO_DATA_IN_USE)); then
        # Another run serves from there; this one gets a folder of its own.
        demo_private_data=$build/run/demo/$program-$BASHPID
        status=0
        demo_serve "$demo_private_data" "$preferred" "$logs/demo-server.log" || status=$?
    fi
    if ((status != 0)); then
        echo "FAILED"
        step_failed "start the demo FTP server" "$logs/demo-server.log"
    fi
    echo "ok (127.0.0.1:$demo_port, user $DEMO_USER, password $DEMO_PASSWORD)"
    if [[ -n ${demo_private_data:-} ]]; then
        say "another demo run serves from build/run/demo/$program; this one serves $demo_root"
    fi
    if ((demo_port != preferred)); then
        say "port $preferred is taken (another demo server?); the demo server listens on $demo_port"
    fi

    local added fingerprint
    fingerprint=$(<"$demo_data/fingerprint")
    step "adding the site \"$DEMO_SITE_LABEL\" to the Site Manager" "$logs/demo-site.log" \
        demo_tool "$demosite" add "$DEMO_SITE_LABEL" "$DEMO_HOST" "$demo_port" "$DEMO_USER" "$DEMO_PASSWORD" \
        --trust "$fingerprint" $replace
    added=$(<"$logs/demo-site.log")
    if [[ $added == kept* ]] && [[ ${added#kept } != "$demo_port" ]]; then
        say "your site \"$DEMO_SITE_LABEL\" points to port ${added#kept } and is left as it is;" \
            "the demo server is on port $demo_port this time"
    fi
}

# demo_serve DATA PORT LOG: starts the server on DATA, preferring PORT, and waits until it
# listens. Sets demo_server_pid, demo_root and demo_port. Status 0, DEMO_DATA_IN_USE when
# another server serves from DATA, or 1.
DEMO_DATA_IN_USE=3
demo_serve() {
    local data=$1 preferred=$2 log=$3
    # The shell that runs this, which may be a subshell of the script.
    local parent=$BASHPID
    "$root/tools/demo/demo-ftpd" "$data" --port "$preferred" --parent "$parent" >"$log" 2>&1 &
    demo_server_pid=$!
    local deadline=$((SECONDS + DEMO_SERVER_WAIT_SECONDS))
    # The log is new for this server; the port file may be another's, or left by one killed.
    local serving=
    until serving=$(grep -o 'serving .* on 127\.0\.0\.1:[0-9]*' "$log" 2>/dev/null); do
        if ! kill -0 "$demo_server_pid" 2>/dev/null; then
            local status=0
            wait "$demo_server_pid" || status=$?
            demo_server_pid=
            ((status == DEMO_DATA_IN_USE)) && return "$DEMO_DATA_IN_USE"
            return 1
        fi
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
    demo_data=$data
    demo_root=$data/root
    demo_port=${serving##*:}
    # Listening is not yet answering: the greeting shows the server at work. A busy machine
    # may take a while to answer; the server's own end is told apart.
    until timeout 10 bash -c "exec 3<>/dev/tcp/127.0.0.1/$demo_port && head -c 3 <&3" 2>/dev/null | grep -q 220; do
        if ! kill -0 "$demo_server_pid" 2>/dev/null; then
            echo "demo-ftpd: ended before it greeted on port $demo_port" >>"$log"
            return 1
        fi
        if ((SECONDS >= deadline)); then
            echo "demo-ftpd: no greeting on port $demo_port within $DEMO_SERVER_WAIT_SECONDS s" >>"$log"
            return 1
        fi
        sleep 0.2
    done
}

demo_stop() {
    if [[ -n ${demo_server_pid:-} ]]; then
        kill "$demo_server_pid" 2>/dev/null || true
        wait "$demo_server_pid" 2>/dev/null || true
        demo_server_pid=
        # No server, no port: a port file names a listening server.
        rm -f "${demo_data:-}/port"
    fi
    if [[ -n ${demo_private_data:-} ]]; then
        rm -rf "$demo_private_data" "$demo_private_data.lock"
        demo_private_data=
    fi
}
