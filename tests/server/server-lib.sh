# Starting and stopping the local HTTPS update servers from test scripts (source this file).
#   StartTestServer SERVED_DIR WORK_DIR [PORT]   sets TEST_SERVER_ROOT ("https://localhost:PORT") and
#                                                TEST_SERVER_DOWN_ROOT (a port where nothing listens
#                                                while the server runs); its log is WORK_DIR/requests.log
#   StartMirrorServer SERVED_DIR WORK_DIR [PORT] a second server over another folder, with the test
#                                                server's certificate when that one runs; sets
#                                                MIRROR_SERVER_ROOT, its log is WORK_DIR/requests.log
#   StopTestServer                               stops both and takes the test CAs out of the store

_server_lib_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Starts update_server.py over SERVED_DIR with the certificate in TLS_DIR, its port file and logs in
# WORK_DIR; sets _launched_pid and _launched_port.
_LaunchServer() {
    local served="$1" work="$2" port="$3" tls="$4"
    rm -f "$work/port"
    python3 "$_server_lib_dir/update_server.py" --root "$served" --cert "$tls/server.crt" \
        --key "$tls/server.key" --port "$port" --port-file "$work/port" --log-file "$work/requests.log" \
        >"$work/server.log" 2>&1 &
    _launched_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/port" ]; then
        echo "the test server over $served did not start:" >&2
        cat "$work/server.log" >&2
        kill "$_launched_pid" 2>/dev/null
        wait "$_launched_pid" 2>/dev/null
        return 1
    fi
    _launched_port=$(cat "$work/port")
}

StartTestServer() {
    local served="$1" work="$2" port="${3:-0}"
    mkdir -p "$work"
    TEST_SERVER_TLS="$work/tls"
    "$_server_lib_dir/test_ca.sh" make "$TEST_SERVER_TLS" || return 1
    _LaunchServer "$served" "$work" "$port" "$TEST_SERVER_TLS" || return 1
    TEST_SERVER_PID=$_launched_pid
    # Wine checks the name against DNS names only, not IP addresses: use localhost.
    TEST_SERVER_ROOT="https://localhost:$_launched_port"
    TEST_SERVER_DOWN_ROOT="https://localhost:$(cat "$work/port.refused")"
    export TEST_SERVER_ROOT TEST_SERVER_DOWN_ROOT TEST_SERVER_PID
}

StartMirrorServer() {
    local served="$1" work="$2" port="${3:-0}" tls="${TEST_SERVER_TLS:-}"
    mkdir -p "$work"
    if [ -z "$tls" ]; then
        MIRROR_SERVER_TLS="$work/tls"
        tls="$MIRROR_SERVER_TLS"
        "$_server_lib_dir/test_ca.sh" make "$tls" || return 1
    fi
    _LaunchServer "$served" "$work" "$port" "$tls" || return 1
    MIRROR_SERVER_PID=$_launched_pid
    MIRROR_SERVER_ROOT="https://localhost:$_launched_port"
    export MIRROR_SERVER_ROOT MIRROR_SERVER_PID
}

StopTestServer() {
    local pid tls
    for pid in "${TEST_SERVER_PID:-}" "${MIRROR_SERVER_PID:-}"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    TEST_SERVER_PID= MIRROR_SERVER_PID=
    for tls in "${TEST_SERVER_TLS:-}" "${MIRROR_SERVER_TLS:-}"; do
        [ -z "$tls" ] || "$_server_lib_dir/test_ca.sh" remove "$tls"
    done
    TEST_SERVER_TLS= MIRROR_SERVER_TLS=
}
