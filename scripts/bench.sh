#!/usr/bin/env bash
# make bench: builds its own Windows tree, runs every benchmark a few times against the tools a
# user would compare with, on the same files in the same run, in the rows' numbered order, and
# records each median as "KEY VALUE" in build/bench/results.txt; scripts/bench_report.py then
# writes docs/benchmarks.md from them (the rows, their comparisons and targets are data there).
#   BENCH_RUNS=N          repetitions of each measurement (default 3; the median is reported)
#   BENCH_ROWS="8a 8b"    only these rows (keys of the report; a number alone, 3, stands for 3a to
#                         3d) and the setup they need: row 5 reads the update runs of 2a and 8c
#                         those of 8a, so they run too. The figures still go to
#                         build/bench/results.txt, the report of just those rows to
#                         build/bench/partial.md; docs/benchmarks.md is left alone. Unset: every row.
# Rows 8 put scripts/delay_proxy.py in front of nginx's TLS port: a player far from the server.
# Rows 10 patch a 200,000,000-byte file from its old version through its block map; nginx logs
# each request of their root, and their bytes are counted from that log.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
runs="${BENCH_RUNS:-3}"
source scripts/wine-arch.sh || exit 1
source scripts/settings.sh
build="$top/build/bench-$VARDENHAL_WINE_TREE"
work="$top/build/bench"
out="$top/docs/benchmarks.md"
# Fixed loopback ports: the Python test server (compiled into the benchmark tree's program),
# nginx over TLS and nginx in plain HTTP.
python_port=47643
nginx_tls_port=47644
nginx_http_port=47645
# Rows 8: the proxy's one-way delay, so twice this is the far player's round trip.
far_delay_ms=25
far_proxy_line="scripts/delay_proxy.py --target $nginx_tls_port --delay-ms $far_delay_ms"
# Row 10c: the same far player on a line of this many Mbit/s, shared by all the launcher's connections.
patch_rate_mbit=50
patch_proxy_line="$far_proxy_line --rate-mbit $patch_rate_mbit"
started=$(date +%s)

log() { printf '\n==> %s\n' "$*" >&2; }
die() {
    echo "bench: $*" >&2
    exit 1
}

# The rows to run, in the report's order (its ROWS are the one list of them).
every_row=$(python3 scripts/bench_report.py --keys) || die "the report's rows could not be read"
rows=
if [ -n "${BENCH_ROWS:-}" ]; then
    for want in ${BENCH_ROWS//,/ }; do
        case " $every_row " in *" $want "*) continue ;; esac
        for key in $every_row; do [ "${key%%[a-z]*}" = "$want" ] && continue 2; done
        die "BENCH_ROWS: no row $want (the rows: $every_row)"
    done
    for key in $every_row; do
        for want in ${BENCH_ROWS//,/ }; do
            if [ "$key" = "$want" ] || [ "${key%%[a-z]*}" = "$want" ]; then
                rows="$rows $key"
                break
            fi
        done
    done
    out="$work/partial.md"
else
    rows=" $every_row"
fi
rows="$rows "
# True when any of the rows named is to run.
wanted() {
    local key
    for key; do case "$rows" in *" $key "*) return 0 ;; esac; done
    return 1
}
# The function that measures each row. Rows that share their runs share it: 3a and 3b, 8a to 8c,
# 9a and 9b, and 5, which is read from the update runs of 2a.
declare -A row_fn=(
    [1]=row_1 [2a]=row_2a_5 [2a-cold]=row_2a_cold [2a-full]=row_2a_5 [2b]=row_2b [3a]=row_3ab [3b]=row_3ab [3c]=row_3c [3d]=row_3d [4]=row_4
    [5]=row_2a_5 [6]=row_6 [7]=row_7 [8a]=row_8abc [8b]=row_8abc [8c]=row_8abc [8d]=row_8d [9a]=row_9ab [9b]=row_9ab
    [10a]=row_10a [10b]=row_10b [10c]=row_10c [10d]=row_10d [10e]=row_10e [10f]=row_10f
)
for key in $every_row; do [ -n "${row_fn[$key]:-}" ] || die "no function measures row $key"; done

# On the WoW64 route the trees are built here and the benchmarks run again inside the Debian
# unstable folder, whose Wine runs the i686 build; there only what the runs need is installed.
if [ -z "${VARDENHAL_WOW64_INSIDE:-}" ]; then
    log "packages"
    scripts/install-deps.sh || die "could not install the project's packages"

    log "Windows tree $VARDENHAL_WINE_TREE, $VARDENHAL_WINE_ARCH path (Release, loopback server root): $VARDENHAL_WINE_ARCH_REASON"
    scripts/configure-windows.sh "$VARDENHAL_WINE_TREE" "$build" "https://localhost:$python_port" -DVARDENHAL_BENCH=ON ||
        die "configure"
    cmake --build "$build" -j 2 --target bench_win VardenhalUpdater >/dev/null || die "build"

    if wanted 6 10a 10b 10c 10d 10e 10f; then
        log "native operators' tool (Release)"
        cmake -S . -B "$top/build/bench-native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || die "configure native"
        cmake --build "$top/build/bench-native" -j 2 --target vardenhal-filelist >/dev/null || die "build native"
    fi
    if [ "$VARDENHAL_WINE_ARCH" = wow64 ]; then
        log "the benchmarks run inside the WoW64 folder (build/wow64/root)"
        exec scripts/wow64.sh run bash scripts/bench.sh
    fi
fi
for tool in nginx:nginx-light curl:curl; do
    if ! command -v "${tool%%:*}" >/dev/null && [ ! -x "/usr/sbin/${tool%%:*}" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${tool#*:}" >/dev/null ||
            die "could not install ${tool#*:}"
    fi
done
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
filelist="$top/build/bench-native/vardenhal-filelist"

rm -rf "$work"
mkdir -p "$work/served/updater" "$work/data" "$work/nginx"
export WINEPREFIX="$top/build/bench-wine/prefix-$VARDENHAL_WINE_ARCH" VARDENHAL_WINE_HOME="$top/build/bench-wine/home"
source scripts/wine-run.sh
source tests/server/server-lib.sh
xvfb_pid=
nginx_pid=
proxy_pid=
cleanup() {
    set +e
    [ -n "$proxy_pid" ] && kill "$proxy_pid" 2>/dev/null && wait "$proxy_pid" 2>/dev/null
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    StopTestServer
    scripts/wine-prefix.sh stop
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    # The test data is several GiB: never leave it behind.
    rm -rf "$work/served" "$work/data" "$work/client" "$work/small" "$work/dl" "$work/tiny" "$work/far-client" "$work/list-client" "$work/many-client" \
        "$work/far-curl" "$work/patch-client"
}
trap cleanup EXIT

log "Wine prefix and display"
scripts/wine-prefix.sh init
display=99
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" $VARDENHAL_XVFB_SCREEN -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
sleep 1
bench() { "$WINELOADER" "$build/bench_win.exe" "$@" 2>>"$work/wine.log"; }
winpath() { "$WINELOADER" winepath -w "$1" 2>/dev/null; }
bench noop || die "the harness does not start under Wine"

# --- small helpers -------------------------------------------------------------------------
# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "nan" }'; }
# Wall time of a command, in seconds.
timed() {
    local a b
    a=$(date +%s.%N)
    "$@" >/dev/null
    b=$(date +%s.%N)
    echo "$a $b" | awk '{ printf "%.6f\n", $2 - $1 }'
}
# The median of a command's wall time over $runs runs.
median_time() {
    local i
    for i in $(seq "$runs"); do timed "$@"; done | median
}
# The median of the harness's RESULT lines of one name.
result() {
    local values
    values=$(grep "^RESULT $1 " | awk '{ print $3 }')
    [ -n "$values" ] || die "the harness reported no $1"
    echo "$values" | median
}
warm() { find "$@" -type f -exec cat {} + >/dev/null; }
results="$work/results.txt"
: >"$results"
# Records one measurement (seconds unless the key says otherwise), or a line of text for the report.
record() { echo "$1 $2" >>"$results"; }
meta() { echo "meta $1 $2" >>"$results"; }
# Records the median of the harness's RESULT lines of one name as KEY.
record_result() { record "$1" "$(result "$2")"; }

# The interpreter itself, not a wrapper that may run it as a child: $! must be the proxy of rows 8, 9.
py=$(python3 -c 'import sys; print(sys.executable)')
# Starts the proxy NAME, which ends after SECONDS whatever happens, with the arguments that follow
# (the script first) and a port of its own written to $work/NAME.port; its pid in proxy_pid.
start_proxy() {
    local name="$1" seconds="$2"
    shift 2
    "$py" "$@" --port 0 --port-file "$work/$name.port" --seconds "$seconds" 2>"$work/$name.log" &
    proxy_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/$name.port" ] && break
        sleep 0.1
    done
    [ -s "$work/$name.port" ] || die "the proxy $name did not start: $(cat "$work/$name.log")"
}
stop_proxy() { kill "$proxy_pid" 2>/dev/null; wait "$proxy_pid" 2>/dev/null || true; proxy_pid=; }

log "servers"
StartTestServer "$work/served/updater" "$work/python" "$python_port" || die "the Python test server did not start"
python_root="$TEST_SERVER_ROOT"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    # Rows 10: each request's answer, with the bytes sent for it (head and body) and its range.
    log_format patch '\$status \$request_method \$uri \$bytes_sent \$body_bytes_sent "\$http_range"';
    default_type application/octet-stream;
    sendfile on;
    keepalive_requests 100000;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server {
        listen 127.0.0.1:$nginx_tls_port ssl;
        listen 127.0.0.1:$nginx_http_port;
        server_name localhost;
        ssl_certificate $work/python/tls/server.crt;
        ssl_certificate_key $work/python/tls/server.key;
        root $work/served;
        # The list's gzip copy, where row 9 makes one, to a client that takes gzip.
        location = /updater/filelist.txt { gzip_static on; }
        # Rows 10's own root: only its requests are logged, so the other rows pay nothing for it.
        location /p10/ { access_log $work/nginx/patch.log patch; }
    }
}
EOF
"$nginx_bin" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
sleep 1
nginx_tls="https://localhost:$nginx_tls_port"
nginx_http="http://localhost:$nginx_http_port"
echo probe >"$work/served/updater/probe.txt"
curl -sf "$nginx_tls/updater/probe.txt" >/dev/null || die "nginx does not answer over TLS"
curl -sf "$nginx_http/updater/probe.txt" >/dev/null || die "nginx does not answer in plain HTTP"
curl -sf "$python_root/updater/probe.txt" >/dev/null || die "the Python server does not answer"

# Writes filelist.txt for the server and a md5sum -c list for the same files below $1.
make_lists() {
    (cd "$1" && find . -type f ! -name md5sum.list | sed 's|^\./||' | sort | xargs -d '\n' md5sum >md5sum.list)
    awk '{ print substr($0, 35) "|" $1 }' "$1/md5sum.list" >"$work/served/updater/filelist.txt"
}
# The digest records the launcher kept: a start without one reads every file, as the weekly full
# check does.
forget_digests() { find "$WINEPREFIX/drive_c/users" -path '*VardenhalUpdater*' -name digests.txt -delete; }
# Update runs over an up-to-date folder, and md5sum -c over the same files: md5c_KEY; the full
# check, one process a run with no record (update_KEY_full, its memory in update-KEY-full.txt);
# then the starts after it, which trust the record it left (update_KEY).
update_bench() {  # folder key
    local folder="$1" key="$2" i
    make_lists "$folder"
    warm "$folder"
    record "md5c_$key" "$(cd "$folder" && median_time md5sum -c --quiet md5sum.list)"
    : >"$work/update-$key-full.txt"
    for i in $(seq "$runs"); do
        forget_digests
        bench update "$(winpath "$folder")" "$python_root" 1 >>"$work/update-$key-full.txt" ||
            die "a full check of $key did not complete"
    done
    record_result "update_${key}_full" update <"$work/update-$key-full.txt"
    record_result "peak_$key" peak_working_set_mib <"$work/update-$key-full.txt"
    bench update "$(winpath "$folder")" "$python_root" "$runs" >"$work/update-$key.txt" ||
        die "an update run of $key did not complete"
    record_result "update_$key" update <"$work/update-$key.txt"
}
# Wine's own libraries and those it loads for TLS: what a cold start reads before any game file.
wine_dir=$(dirname "$(readlink -f "$WINELOADER")")
# The page cache emptied, so that every byte comes from the disk.
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }

# The 1 GiB folder of 2a, which rows 5 and 6 read too.
need_client_1g() {
    [ -d "$work/client" ] && return
    mkdir -p "$work/client/system"
    head -c $((1 << 30)) /dev/urandom | (cd "$work/client/system" && split -a 4 -d -b 536871 - part)
}
# The download folder of rows 3; dl_win, its name for Wine.
need_dl() {
    [ -d "$work/dl" ] && return
    mkdir -p "$work/dl"
    dl_win=$(winpath "$work/dl")
}
# The 256 MiB file of 3a and 3b, which 3d cuts; big_md5, its digest.
path_big="updater/download-256m.bin"
need_big_256m() {
    [ -f "$work/served/$path_big" ] && return
    head -c $((256 << 20)) /dev/urandom >"$work/served/$path_big"
    warm "$work/served/$path_big"
    big_md5=$(md5sum "$work/served/$path_big" | cut -d' ' -f1)
}

row_1() {
    log "1. MD5 of a 512 MiB file"
    local big="$work/data/digest-512m.bin"
    head -c $((512 << 20)) /dev/urandom >"$big"
    warm "$big"
    record md5_sum "$(median_time md5sum "$big")"
    bench md5 "$(winpath "$big")" "$runs" >"$work/md5.txt"
    grep -q "DIGEST $(md5sum "$big" | cut -c1-32)" "$work/md5.txt" || die "ComputeFileMd5 disagrees with md5sum"
    record_result md5_ours md5 <"$work/md5.txt"
    rm -f "$big"
}

# Row 5 is the memory of the update runs of 2a, against a run over one small file before them.
row_2a_5() {
    if wanted 5; then
        log "2. update run over one small file (the memory baseline)"
        mkdir -p "$work/tiny/system"
        echo tiny >"$work/tiny/system/one.txt"
        make_lists "$work/tiny"
        bench update "$(winpath "$work/tiny")" "$python_root" 1 >"$work/update-tiny.txt" || die "the one-file update failed"
        record_result peak_tiny peak_working_set_mib <"$work/update-tiny.txt"
        rm -rf "$work/tiny"
    fi
    need_client_1g
    log "2a. update run over 2,000 files, 1 GiB"
    update_bench "$work/client" a
    record_result peak_before_a peak_working_set_before_mib <"$work/update-a-full.txt"
    record_result private_peak_a peak_private_mib <"$work/update-a-full.txt"
    record_result private_before_a private_before_mib <"$work/update-a-full.txt"
}

# Update runs over the folder $2, each after the page cache is dropped (and Wine's own files read
# back in, with a third argument); their median recorded as $1.
cold_runs() {  # key folder [warm-wine]
    local key="$1" folder="$2" i
    : >"$work/$key.txt"
    for i in $(seq "$runs"); do
        drop_caches
        [ -z "${3:-}" ] || warm "$wine_dir" "$WINEPREFIX/drive_c/windows" "$(dirname "$wine_dir")"/libgnutls* 2>/dev/null || true
        bench update "$(winpath "$folder")" "$python_root" 1 >>"$work/$key.txt" || die "an update run of $key did not complete"
    done
    record_result "$key" update <"$work/$key.txt"
}
# 2a-cold: the starts after the first and md5sum -c, each after the page cache is dropped (as root).
row_2a_cold() {
    need_client_1g
    log "2a-cold. update run over 2,000 files, 1 GiB, page cache dropped"
    if ! drop_caches 2>/dev/null; then
        meta unmeasured_2a-cold "this machine does not let the page cache be dropped (/proc/sys/vm/drop_caches)"
        return
    fi
    make_lists "$work/client"
    # One start first, so that the record stands for the files as they are now.
    bench update "$(winpath "$work/client")" "$python_root" 1 >/dev/null || die "an update run of 2a-cold did not complete"
    local i
    record md5c_a_cold "$(for i in $(seq "$runs"); do drop_caches; (cd "$work/client" && timed md5sum -c --quiet md5sum.list); done | median)"
    cold_runs update_a_cold "$work/client"
    # The same with Wine's own files read back in after the drop: what is left is the game folder's.
    cold_runs update_a_cold_game "$work/client" warm-wine
    # The same over a folder of one file: what a cold start costs whatever the folder holds.
    mkdir -p "$work/tiny/system"
    echo tiny >"$work/tiny/system/one.txt"
    make_lists "$work/tiny"
    bench update "$(winpath "$work/tiny")" "$python_root" 1 >/dev/null || die "the one-file update failed"
    cold_runs update_tiny_cold "$work/tiny"
    rm -rf "$work/tiny"
}

row_2b() {
    log "2b. update run over 20,000 small files"
    python3 scripts/bench_data.py small "$work/small"
    update_bench "$work/small" b
    awk '{ print substr($0, 35) }' "$work/small/md5sum.list" >"$work/small-all.list"
    bench bareloop "$(winpath "$work/small-all.list")" "$(winpath "$work/small")" "$runs" >"$work/bareloop.txt"
    record_result bare_b bareloop <"$work/bareloop.txt"
    awk 'NR <= 2000 { print substr($0, 35) }' "$work/small/md5sum.list" >"$work/small.list"
    bench perfile "$(winpath "$work/small.list")" "$(winpath "$work/small")" >"$work/perfile.txt"
    for step in attributes open_close crypt_context md5 post_read_message; do
        record_result "perfile_$step" "perfile_$step" <"$work/perfile.txt"
    done
    rm -rf "$work/small"
}

# 3a, 3b: the 256 MiB file from the root $1 by DownloadToFile, the bare loop (reads of $2, sized by $3), curl.
dl_ours() { bench download "$1/$path_big" "$dl_win\\big.bin" "$big_md5" "$runs" | result download; }
dl_raw() { bench rawdownload "$1/$path_big" "$dl_win\\raw.bin" "$runs" "${2:-65536}" "${3:-read}" | result rawdownload; }
dl_curl() { median_time curl -sf -o "$work/dl/curl.bin" "$1/$path_big"; }
row_3ab() {
    need_dl
    need_big_256m
    log "3a, 3b. downloading 256 MiB"
    for server in nginx:"$nginx_tls" python:"$python_root"; do
        record "dl_ours_${server%%:*}" "$(dl_ours "${server#*:}")"
        record "dl_raw_${server%%:*}" "$(dl_raw "${server#*:}")"
        record "dl_curl_${server%%:*}" "$(dl_curl "${server#*:}")"
    done
    record dl_raw_http "$(dl_raw "$nginx_http")"
    record dl_curl_http "$(dl_curl "$nginx_http")"
    record dl_raw_8k "$(dl_raw "$nginx_tls" 8192 read)"
    record dl_raw_1m "$(dl_raw "$nginx_tls" 1048576 read)"
    record dl_raw_avail "$(dl_raw "$nginx_tls" 65536 available)"
    cmp "$work/dl/big.bin" "$work/served/$path_big" || die "DownloadToFile wrote another file"
}

row_3c() {
    need_dl
    log "3c. 1,000 small files"
    python3 scripts/bench_data.py many "$work/served/updater/many"
    (cd "$work/served/updater" && ls many | sed 's|^|many/|') >"$work/many.list"
    (cd "$work/served/updater" && md5sum many/*) >"$work/many.md5"
    mkdir -p "$work/dl/many"
    awk -v root="$nginx_tls/updater/" -v dir="$work/dl/" '{ print "url = \"" root $0 "\"\noutput = \"" dir $0 "\"" }' \
        "$work/many.list" >"$work/curl-many.cfg"
    record list_ours "$(bench downloadlist "$nginx_tls/updater/" "$(winpath "$work/many.md5")" "$dl_win" "$runs" |
        result downloadlist)"
    record list_raw "$(bench rawdownloadlist "$nginx_tls/updater/" "$(winpath "$work/many.list")" "$dl_win" "$runs" |
        result rawdownloadlist)"
    # The whole update run over the same files, all missing, several at once.
    awk '{ print $2 "|" $1 }' "$work/many.md5" >"$work/served/updater/filelist.txt"
    : >"$work/many-run.txt"
    for i in $(seq "$runs"); do
        rm -rf "$work/many-client" && mkdir -p "$work/many-client"
        bench update "$(winpath "$work/many-client")" "$nginx_tls" 1 >>"$work/many-run.txt" ||
            die "the update run of row 3c did not complete"
    done
    cmp "$work/many-client/many/m0999.dat" "$work/served/updater/many/m0999.dat" || die "the run's small files differ"
    record_result list_run update <"$work/many-run.txt"
    rm -rf "$work/many-client"
    record list_curl_one "$(median_time curl -sf -K "$work/curl-many.cfg")"
    record list_curl_each "$(median_time xargs -a "$work/many.list" -I{} curl -sf -o "$work/dl/{}" "$nginx_tls/updater/{}")"
    cmp "$work/dl/many/m0999.dat" "$work/served/updater/many/m0999.dat" || die "the small files differ"
    rm -rf "$work/dl/many" "$work/served/updater/many"
}

row_3d() {
    need_dl
    need_big_256m
    log "3d. resuming a cut download"
    # The Python server cuts the 256 MiB file at 90% on each run's first request.
    local cut_at=$(((256 << 20) * 9 / 10))
    bench resume "$python_root/_fault/once:cut=$cut_at/$path_big" "$dl_win\\resumed.bin" "$big_md5" "$runs" \
        >"$work/resume.txt" || die "the cut download did not resume"
    for key in resume_first resume_second resume_first_bytes resume_second_bytes; do
        record_result "$key" "$key" <"$work/resume.txt"
    done
}

row_4() {
    log "4. painting and start-up"
    bench paint "$runs" >"$work/paint.txt"
    for step in paint hover_tick gdiplus_startup extract_music decode_background decode_background_again decode_icons \
        first_paint stretch_direct paint_launcher_only; do
        record_result "$step" "$step" <"$work/paint.txt"
    done
    bench startup "$(winpath "$build/VardenhalUpdater.exe")" $((runs + 2)) >"$work/startup.txt" ||
        die "the launcher did not paint"
    record_result startup_first_paint startup_first_paint <"$work/startup.txt"
    record_result startup_window startup_window <"$work/startup.txt"
    record process_start "$(bench processstart "$runs" | result process_start_exit)"
}

row_6() {
    need_client_1g
    log "6. the operators' tool writing a manifest for the 1 GiB of 2a"
    rm -f "$work/client/md5sum.list"
    warm "$work/client"
    record tool_make "$(median_time "$filelist" make "$work/client" -o "$work/tool-filelist.txt")"
    record tool_md5sum "$(cd "$work/client" && median_time sh -c 'find . -type f | xargs md5sum >/dev/null')"
    rm -f "$work/tool-filelist.txt"
}

# One update run of row 7 from nginx with the manifest $1, over a client folder holding the files of $2.
mixed_run() {
    rm -rf "$work/mixed-client"
    mkdir -p "$work/mixed-client"
    cut -d'|' -f1 "$work/$2" | (cd "$work/served/updater" && xargs -r cp --parents -t "$work/mixed-client")
    cp "$work/$1" "$work/served/updater/filelist.txt"
    warm "$work/mixed-client"
    bench update "$(winpath "$work/mixed-client")" "$nginx_tls" 1 | result update
}
row_7() {
    log "7. a mixed run: half the files up to date, half fetched from nginx"
    python3 scripts/bench_data.py mixed "$work/served/updater"
    (cd "$work/served/updater" && find mixed -type f | sort | xargs md5sum | awk '{ print $2 "|" $1 }') >"$work/mixed-all.txt"
    awk 'NR % 2 == 1' "$work/mixed-all.txt" >"$work/mixed-present.txt"
    awk 'NR % 2 == 0' "$work/mixed-all.txt" >"$work/mixed-fetched.txt"
    : >"$work/mixed-none.txt"
    record mixed "$(for i in $(seq "$runs"); do mixed_run mixed-all.txt mixed-present.txt; done | median)"
    record mixed_check "$(for i in $(seq "$runs"); do mixed_run mixed-present.txt mixed-present.txt; done | median)"
    record mixed_fetch "$(for i in $(seq "$runs"); do mixed_run mixed-fetched.txt mixed-none.txt; done | median)"
    rm -rf "$work/mixed-client" "$work/served/updater/mixed"
}

# One update run of rows 8 into an empty folder with the manifest $1 from the root $2; its RESULT
# lines are added to $3.
far_run() {
    rm -rf "$work/far-client"
    mkdir -p "$work/far-client"
    cp "$work/$1" "$work/served/updater/filelist.txt"
    bench update "$(winpath "$work/far-client")" "$2" 1 >>"$work/$3" || die "an update run of row 8 ($3) did not complete"
}
# curl with the options $3... over the files of the manifest $2 through the proxy, into an empty
# folder each run; its files are checked, and the median of its wall times is recorded as $1.
far_curl() {
    local key="$1" list="$2" i a b
    shift 2
    awk -F'|' -v root="$far_root/updater/" -v dir="$work/far-curl/" \
        '{ print "url = \"" root $1 "\"\noutput = \"" dir $1 "\"" }' "$work/$list" >"$work/far-curl.cfg"
    awk -F'|' '{ print $2 "  " $1 }' "$work/$list" >"$work/far-curl.md5"
    : >"$work/far-times-$key.txt"
    for i in $(seq "$runs"); do
        rm -rf "$work/far-curl"
        a=$(date +%s.%N)
        curl -sf --no-progress-meter --create-dirs "$@" -K "$work/far-curl.cfg" || die "curl failed ($key)"
        b=$(date +%s.%N)
        echo "$a $b" | awk '{ printf "%.6f\n", $2 - $1 }' >>"$work/far-times-$key.txt"
        (cd "$work/far-curl" && md5sum -c --quiet "$work/far-curl.md5") >&2 || die "curl's files differ ($key)"
    done
    record "$key" "$(median <"$work/far-times-$key.txt")"
}
# 8c is the memory of the update runs of 8a, which run for either.
row_8abc() {
    log "8. a player far from the server: nginx HTTPS behind a proxy that holds each direction $far_delay_ms ms"
    python3 scripts/bench_data.py far "$work/served/updater"
    wanted 8b && python3 scripts/bench_data.py farbig "$work/served/updater"
    (cd "$work/served/updater" && find far -type f | sort | xargs md5sum | awk '{ print $2 "|" $1 }') >"$work/far-all.txt"
    grep -v '/big\.dat|' "$work/far-all.txt" >"$work/far-small.txt"
    warm "$work/served/updater/far"
    # Bounded all the same: long enough for the rows at BENCH_RUNS=$runs, never for ever.
    start_proxy far $((600 + 300 * runs)) $far_proxy_line
    far_root="https://localhost:$(cat "$work/far.port")"
    curl -sf "$far_root/updater/probe.txt" >/dev/null || die "nginx does not answer through the delay proxy"
    if wanted 8a 8c; then
        : >"$work/far.txt"
        for i in $(seq "$runs"); do far_run far-small.txt "$far_root" far.txt; done
        record_result far_ours update <"$work/far.txt"
        record_result far_private_peak peak_private_mib <"$work/far.txt"
        record_result far_private_before private_before_mib <"$work/far.txt"
        record_result far_peak peak_working_set_mib <"$work/far.txt"
    fi
    if wanted 8a; then
        far_curl far_curl_six far-small.txt --parallel --parallel-max 6
        far_curl far_curl_one far-small.txt
        : >"$work/far-near.txt"
        for i in $(seq "$runs"); do far_run far-small.txt "$nginx_tls" far-near.txt; done
        record_result far_ours_near update <"$work/far-near.txt"
    fi
    if wanted 8b; then
        : >"$work/farbig.txt"
        for i in $(seq "$runs"); do far_run far-all.txt "$far_root" farbig.txt; done
        record_result farbig_ours update <"$work/farbig.txt"
        far_curl farbig_curl_six far-all.txt --parallel --parallel-max 6
    fi
    stop_proxy
    rm -rf "$work/far-client" "$work/far-curl" "$work/served/updater/far"
}

row_8d() {
    log "8d. memory left after a run over 10,000 small missing files, nginx HTTPS"
    python3 scripts/bench_data.py tenk "$work/served/updater"
    (cd "$work/served/updater" && find tenk -type f | sort | xargs md5sum | awk '{ print $2 "|" $1 }') \
        >"$work/served/updater/filelist.txt"
    rm -rf "$work/tenk-client" && mkdir -p "$work/tenk-client"
    bench update "$(winpath "$work/tenk-client")" "$nginx_tls" 1 >"$work/tenk.txt" ||
        die "the update run of row 8d did not complete"
    record_result tenk_private_before private_before_mib <"$work/tenk.txt"
    record_result tenk_private_after private_after_mib <"$work/tenk.txt"
    rm -rf "$work/tenk-client" "$work/served/updater/tenk"
}

# The bytes the launcher receives in one update run of rows 9 over the up-to-date folder: only the
# list (or the answer that it has not changed) comes, TLS and all.
received() { awk '$1 == "to_client" { print $2 }' "$work/count.txt"; }
list_run() {
    local before
    before=$(received)
    bench update "$(winpath "$work/list-client")" "$count_root" 1 >/dev/null || die "an update run of row 9 did not complete"
    sleep 0.5  # the proxy notes a connection's bytes once it has closed
    echo $(($(received) - before))
}
# The lists the launcher kept from earlier runs: a start with none is a first start.
forget_lists() { find "$WINEPREFIX/drive_c/users" -depth -type d -name VardenhalUpdater -exec rm -rf {} +; }
row_9ab() {
    log "9. bytes of the update list: nginx HTTPS through the proxy with no delay, counting what the launcher receives"
    python3 scripts/bench_data.py small "$work/list-client"
    make_lists "$work/list-client"
    rm -f "$work/list-client/md5sum.list"
    start_proxy count $((600 + 120 * runs)) scripts/delay_proxy.py --target "$nginx_tls_port" --delay-ms 0 \
        --no-handshake-delay --count-file "$work/count.txt"
    count_root="https://localhost:$(cat "$work/count.port")"
    if wanted 9a; then
        : >"$work/list-first.txt"
        : >"$work/list-second.txt"
        for i in $(seq "$runs"); do
            forget_lists
            list_run >>"$work/list-first.txt"
            list_run >>"$work/list-second.txt"
        done
        record list_first_bytes "$(median <"$work/list-first.txt")"
        record list_second_bytes "$(median <"$work/list-second.txt")"
        record list_plain_bytes "$(stat -c %s "$work/served/updater/filelist.txt")"
    fi
    if wanted 9b; then
        # A changed list: nothing kept, so it comes whole; plain, then with its gzip copy beside it.
        : >"$work/list-plain.txt"
        : >"$work/list-gzip.txt"
        for i in $(seq "$runs"); do
            rm -f "$work/served/updater/filelist.txt.gz"
            forget_lists
            list_run >>"$work/list-plain.txt"
            gzip -9nk "$work/served/updater/filelist.txt"
            forget_lists
            list_run >>"$work/list-gzip.txt"
        done
        record list_changed_plain_bytes "$(median <"$work/list-plain.txt")"
        record list_changed_gzip_bytes "$(median <"$work/list-gzip.txt")"
        record list_gz_file_bytes "$(stat -c %s "$work/served/updater/filelist.txt.gz")"
        rm -f "$work/served/updater/filelist.txt.gz"
    fi
    stop_proxy
    rm -rf "$work/list-client"
}

# --- rows 10: patching a large file through its block map ------------------------------------
# The old file and its two new versions (scripts/bench_data.py patch) in patch_data; the served
# root $nginx_tls/p10, whose updater/ holds patch/big.bin (one of the new versions), the map the
# operators' tool writes beside it, a small patch/note.txt and the list; the launcher's folder
# patch_client holds patch/big.bin in its old version before each run.
patch_data="$work/data/patch"
patch_served="$work/served/p10/updater"
patch_client="$work/patch-client"
patch_log="$work/nginx/patch.log"
patch_serving=
need_patch() {
    [ -f "$patch_data/old.bin" ] && return
    log "rows 10: the 200,000,000-byte file and its two new versions"
    python3 scripts/bench_data.py patch "$patch_data"
    mkdir -p "$patch_served/patch" "$patch_client/patch"
    echo "note 0" >"$patch_served/patch/note.txt"
    cp "$patch_served/patch/note.txt" "$patch_client/patch/note.txt"
    : >>"$patch_log"
}
# Serves the version $1 (new-a or new-b) as patch/big.bin, its map and the list made by the
# operators' tool, as a release is made.
serve_patch() {
    need_patch
    [ "$patch_serving" = "$1" ] && return
    cp "$patch_data/$1.bin" "$patch_served/patch/big.bin"
    "$filelist" make "$patch_served" -o "$patch_served/filelist.txt" >/dev/null 2>"$work/filelist-make.log" ||
        die "the operators' tool did not make the list of rows 10: $(cat "$work/filelist-make.log")"
    [ -s "$patch_served/patch/big.bin.blockmap" ] || die "the operators' tool wrote no block map for rows 10"
    patch_serving="$1"
}
# The old version back in the launcher's folder, a new copy (new dates, so the launcher reads it).
place_old() { cp "$patch_data/old.bin" "$patch_client/patch/big.bin"; }
# One whole update run over patch_client from the root $1; its RESULT lines are added to $work/$2.txt
# and nginx's log lines of the run go to $work/$2-N.log (N counts the runs of $2). Dies unless
# the run completed with the served big file in place.
patch_run() {
    local root="$1" key="$2" before n=1
    before=$(wc -l <"$patch_log")
    bench update "$(winpath "$patch_client")" "$root" 1 >>"$work/$key.txt" || die "an update run of $key did not complete"
    # nginx writes a request's line once it has sent the last byte: the client may be a step ahead.
    sleep 0.5
    while [ -e "$work/$key-$n.log" ]; do n=$((n + 1)); done
    tail -n +$((before + 1)) "$patch_log" >"$work/$key-$n.log"
    cmp -s "$patch_client/patch/big.bin" "$patch_served/patch/big.bin" ||
        die "after an update run of $key the launcher's big file is not the served one"
}
# What a run's log ($1) shows for the big file and its map: "KEY VALUE" lines.
#   bytes, body     bytes sent for the big file and its map, head and body / body alone
#   map, map_status requests for the map, the status of the last
#   ranges, whole   requests for the big file answered 206 / answered otherwise (the whole file)
#   other           bytes sent for anything else (the list, the note)
patch_traffic() {
    awk '
        $3 ~ /\/patch\/big\.bin\.blockmap$/ { map++; map_status = $1; bytes += $4; body += $5; next }
        $3 ~ /\/patch\/big\.bin$/ { if ($1 == 206) ranges++; else whole++; bytes += $4; body += $5; next }
        { other += $4 }
        END {
            printf "bytes %d\nbody %d\nmap %d\nmap_status %s\nranges %d\nwhole %d\nother %d\n",
                bytes, body, map, map_status == "" ? "-" : map_status, ranges, whole, other
        }' "$1"
}
traffic_of() { patch_traffic "$1" | awk -v key="$2" '$1 == key { print $2 }'; }
# One line for the report on what the run of the log $1 asked for.
describe_run() {
    patch_traffic "$1" | awk '{ v[$1] = $2 } END {
        printf "%d map request%s (%s), %d range request%s of the big file (206), %d for the whole of it, %d bytes sent for both\n",
            v["map"], v["map"] == 1 ? "" : "s", v["map_status"], v["ranges"], v["ranges"] == 1 ? "" : "s", v["whole"], v["bytes"] }'
}
# A run that should have patched: one map fetched, ranges only. Anything else (the launcher fell
# back to the whole file) is said in the report and on standard error; its bytes are recorded as
# they are.
check_patched() {  # key log
    local map ranges whole status
    map=$(traffic_of "$2" map)
    status=$(traffic_of "$2" map_status)
    ranges=$(traffic_of "$2" ranges)
    whole=$(traffic_of "$2" whole)
    if [ "$map" != 1 ] || [ "$status" != 200 ] || [ "$ranges" = 0 ] || [ "$whole" != 0 ]; then
        echo "bench: $1 did not patch: $(describe_run "$2")" >&2
        meta "patch_fault_$1" "a run did not patch: $(describe_run "$2")"
    fi
}
# 10a, 10b: runs from nginx straight, each from the old file, the version $1 served; the medians of
# the bytes sent for the big file and its map, and of the run's time, as patch_*_$2.
patch_bytes_row() {  # version key
    local version="$1" key="$2" i field
    serve_patch "$version"
    rm -f "$work/patch-$key.txt" "$work/patch-$key"-*.log
    for i in $(seq "$runs"); do
        place_old
        patch_run "$nginx_tls/p10" "patch-$key"
        check_patched "10$key" "$work/patch-$key-$i.log"
    done
    for field in bytes body ranges whole; do
        record "patch_${field}_$key" "$(for i in $(seq "$runs"); do traffic_of "$work/patch-$key-$i.log" "$field"; done | median)"
    done
    record "patch_length_$key" "$(stat -c %s "$patch_served/patch/big.bin")"
    record "patch_map_$key" "$(stat -c %s "$patch_served/patch/big.bin.blockmap")"
    record_result "patch_time_$key" update <"$work/patch-$key.txt"
    meta "patch_runs_$key" "$(describe_run "$work/patch-$key-1.log")"
}
row_10a() {
    log "10a. patching 20 changed regions of a 200,000,000-byte file, nginx HTTPS"
    patch_bytes_row new-a a
}
row_10b() {
    log "10b. patching 2,000 small edits of a 200,000,000-byte file, nginx HTTPS"
    patch_bytes_row new-b b
}
row_10c() {
    log "10c. the patch of 10a at a $((2 * far_delay_ms)) ms round trip on a $patch_rate_mbit Mbit/s line, against the whole file"
    serve_patch new-a
    start_proxy rate $((900 + 120 * runs)) $patch_proxy_line
    local root i
    root="https://localhost:$(cat "$work/rate.port")/p10"
    curl -sf "$root/updater/patch/note.txt" >/dev/null || die "nginx does not answer through the rate-limited proxy"
    rm -f "$work/patch-far.txt" "$work/patch-far"-*.log "$work/patch-whole.txt" "$work/patch-whole"-*.log
    for i in $(seq "$runs"); do
        place_old
        patch_run "$root" patch-far
        check_patched 10c "$work/patch-far-$i.log"
    done
    record_result patch_far update <"$work/patch-far.txt"
    meta patch_runs_far "$(describe_run "$work/patch-far-1.log")"
    # The same file with no map beside it: the launcher fetches it whole, once (35 s or so).
    mv "$patch_served/patch/big.bin.blockmap" "$work/big.bin.blockmap.away"
    place_old
    patch_run "$root" patch-whole
    mv "$work/big.bin.blockmap.away" "$patch_served/patch/big.bin.blockmap"
    [ "$(traffic_of "$work/patch-whole-1.log" whole)" = 1 ] && [ "$(traffic_of "$work/patch-whole-1.log" ranges)" = 0 ] ||
        die "the whole-file run of 10c did not fetch the whole file: $(describe_run "$work/patch-whole-1.log")"
    record_result patch_far_whole update <"$work/patch-whole.txt"
    meta patch_runs_whole "$(describe_run "$work/patch-whole-1.log")"
    # 10b's change on the same line, one run, for the report alone: each of its ranges is a request.
    serve_patch new-b
    rm -f "$work/patch-far-b.txt" "$work/patch-far-b"-*.log
    place_old
    patch_run "$root" patch-far-b
    check_patched 10c-b "$work/patch-far-b-1.log"
    record_result patch_far_b update <"$work/patch-far-b.txt"
    meta patch_runs_far_b "$(describe_run "$work/patch-far-b-1.log")"
    stop_proxy
}
row_10d() {
    log "10d. the search of the old file against ComputeFileMd5 of it, 10a's map"
    serve_patch new-a
    warm "$patch_data/old.bin"
    bench search "$(winpath "$patch_data/old.bin")" "$(winpath "$patch_served/patch/big.bin.blockmap")" "$runs" \
        >"$work/search.txt" || die "the search of row 10d failed"
    local name
    for name in search search_md5 search_held_bytes search_missing_bytes; do
        record_result "$name" "$name" <"$work/search.txt"
    done
}
row_10e() {
    log "10e. the map's size, and the block-size study"
    local version
    for version in new-a new-b; do
        serve_patch "$version"
        record "map_bytes_${version#new-}" "$(stat -c %s "$patch_served/patch/big.bin.blockmap")"
        record "map_file_bytes_${version#new-}" "$(stat -c %s "$patch_served/patch/big.bin")"
        bench study "$(winpath "$patch_data/old.bin")" "$(winpath "$patch_data/$version.bin")" "${version#new-}" \
            >"$work/study-$version.txt" || die "the block-size study failed on $version"
        grep '^RESULT study_' "$work/study-$version.txt" | while read -r _ name value; do record "$name" "$value"; done
    done
}
# 10f: a release that changes only the note: the launcher, its big file up to date (after a run
# that patched it), fetches the new list and the note, and nothing of the big file.
row_10f() {
    log "10f. a new list where only a small file changed, the big file up to date"
    serve_patch new-a
    place_old
    rm -f "$work/patch-setup.txt" "$work/patch-setup"-*.log "$work/patch-list.txt" "$work/patch-list"-*.log
    patch_run "$nginx_tls/p10" patch-setup
    local i
    for i in $(seq "$runs"); do
        echo "note $i $(date +%s%N)" >"$patch_served/patch/note.txt"
        "$filelist" make "$patch_served" -o "$patch_served/filelist.txt" >/dev/null 2>"$work/filelist-make.log" ||
            die "the operators' tool did not make the list of 10f: $(cat "$work/filelist-make.log")"
        patch_run "$nginx_tls/p10" patch-list
        cmp -s "$patch_client/patch/note.txt" "$patch_served/patch/note.txt" || die "10f: the changed note was not fetched"
    done
    # The most over the runs: either figure should be nought every time.
    record list_only_map_requests "$(for i in $(seq "$runs"); do traffic_of "$work/patch-list-$i.log" map; done | sort -g | tail -n 1)"
    record list_only_big_bytes "$(for i in $(seq "$runs"); do
        awk '$3 ~ /\/patch\/big\.bin$/ { n += $4 } END { print n + 0 }' "$work/patch-list-$i.log"; done | sort -g | tail -n 1)"
    record list_only_other_bytes "$(for i in $(seq "$runs"); do traffic_of "$work/patch-list-$i.log" other; done | median)"
    record_result list_only_time update <"$work/patch-list.txt"
}

# Each function runs once, in the place of its first row, if any of its rows is wanted. The shared
# data goes once the last row that may read it has had its turn.
declare -A to_run=()
for row in $rows; do to_run[${row_fn[$row]}]=1; done
for row in $every_row; do
    fn=${row_fn[$row]}
    if [ -n "${to_run[$fn]:-}" ]; then
        unset "to_run[$fn]"
        "$fn"
    fi
    case "$row" in
    3d) rm -rf "$work/dl" "$work/served/$path_big" ;;
    6) rm -rf "$work/client" ;;
    10f) rm -rf "$patch_data" "$work/served/p10" "$patch_client" ;;
    esac
done

log "writing $out"
meta date "$(date -u '+%Y-%m-%d %H:%M UTC')"
meta took "$(($(date +%s) - started))"
meta runs "$runs"
meta machine "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), "`
    `"$(free -g | awk '/^Mem:/ { print $2 }') GiB memory; $(. /etc/os-release && echo "$PRETTY_NAME"), "`
    `"$("$WINELOADER" --version), $(curl --version | head -n 1 | cut -d' ' -f1-2), $(md5sum --version | head -n 1), "`
    `"nginx $("$nginx_bin" -v 2>&1 | sed 's|.*/||'), $(python3 --version)."
meta load "$(cut -d' ' -f1-3 /proc/loadavg)"
case "$VARDENHAL_WINE_ARCH" in
win32) meta architecture "the i686 build (the product) under 32-bit Wine." ;;
wow64) meta architecture "the i686 build (the product) under Debian unstable's Wine in WoW64 mode (no 32-bit Linux libraries), in a chroot: $VARDENHAL_WINE_ARCH_REASON." ;;
*) meta architecture "an x86_64 build of the same sources under 64-bit Wine, not the i686 product: $VARDENHAL_WINE_ARCH_REASON." ;;
esac
meta tree "$VARDENHAL_WINE_TREE"
meta arch "$VARDENHAL_WINE_ARCH"
meta python_port "$python_port"
meta nginx_tls_port "$nginx_tls_port"
meta nginx_http_port "$nginx_http_port"
meta far_delay_ms "$far_delay_ms"
meta far_rtt_ms "$((2 * far_delay_ms))"
meta far_proxy "$far_proxy_line"
meta patch_proxy "$patch_proxy_line"
meta patch_rate_mbit "$patch_rate_mbit"
# shellcheck disable=SC2086 # the rows are words
python3 scripts/bench_report.py "$results" $rows >"$out.new" || die "the report could not be written"
mv "$out.new" "$out"
cat "$out"
