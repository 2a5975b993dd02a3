# Starting and stopping the local HTTPS update server from test scripts (source this file).
#   StartTestServer SERVED_DIR WORK_DIR [PORT]   sets TEST_SERVER_ROOT ("https://localhost:PORT")
#   StopTestServer                               stops it and takes the test CA out of the store

_server_lib_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

StartTestServer() {
    local served="$1" work="$2" port="${3:-0}"
    mkdir -p "$work"
    TEST_SERVER_TLS="$work/tls"
    "$_server_lib_dir/test_ca.sh" make "$TEST_SERVER_TLS" || return 1
    rm -f "$work/port"
    python3 "$_server_lib_dir/update_server.py" --root "$served" --cert "$work/tls/server.crt" \
        --key "$work/tls/server.key" --port "$port" --port-file "$work/port" --log-file "$work/requests.log" \
        >"$work/server.log" 2>&1 &
    TEST_SERVER_PID=$!
    for _ in $(seq 100); do
        [ -s "$work/port" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/port" ]; then
        echo "the test server did not start:" >&2
        cat "$work/server.log" >&2
        return 1
    fi
    # Wine checks the name against DNS names only, not IP addresses: use localhost.
    TEST_SERVER_ROOT="https://localhost:$(cat "$work/port")"
    export TEST_SERVER_ROOT TEST_SERVER_PID
}

StopTestServer() {
    if [ -n "${TEST_SERVER_PID:-}" ]; then
        kill "$TEST_SERVER_PID" 2>/dev/null
        wait "$TEST_SERVER_PID" 2>/dev/null
        TEST_SERVER_PID=
    fi
    if [ -n "${TEST_SERVER_TLS:-}" ]; then
        "$_server_lib_dir/test_ca.sh" remove "$TEST_SERVER_TLS"
        TEST_SERVER_TLS=
    fi
}
