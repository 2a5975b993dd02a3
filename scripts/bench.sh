#!/usr/bin/env bash
# make bench: builds its own Windows tree, runs every benchmark a few times against the tools a
# user would compare with, on the same files in the same run, and writes the medians and ratios
# to docs/benchmarks.md.
#   BENCH_RUNS=N   repetitions of each measurement (default 3; the median is reported)
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
started=$(date +%s)

log() { printf '\n==> %s\n' "$*" >&2; }
die() {
    echo "bench: $*" >&2
    exit 1
}

# On the WoW64 route the trees are built here and the benchmarks run again inside the Debian
# unstable folder, whose Wine runs the i686 build; there only what the runs need is installed.
if [ -z "${VARDENHAL_WOW64_INSIDE:-}" ]; then
    log "packages"
    scripts/install-deps.sh || die "could not install the project's packages"

    log "Windows tree $VARDENHAL_WINE_TREE, $VARDENHAL_WINE_ARCH path (Release, loopback server root): $VARDENHAL_WINE_ARCH_REASON"
    scripts/configure-windows.sh "$VARDENHAL_WINE_TREE" "$build" "https://localhost:$python_port" -DVARDENHAL_BENCH=ON ||
        die "configure"
    cmake --build "$build" -j 2 --target bench_win VardenhalUpdater >/dev/null || die "build"

    log "native operators' tool (Release)"
    cmake -S . -B "$top/build/bench-native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || die "configure native"
    cmake --build "$top/build/bench-native" -j 2 --target vardenhal-filelist >/dev/null || die "build native"
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
cleanup() {
    set +e
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    StopTestServer
    scripts/wine-prefix.sh stop
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    # The test data is several GiB: never leave it behind.
    rm -rf "$work/served" "$work/data" "$work/client" "$work/small" "$work/dl" "$work/tiny"
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
calc() { awk "BEGIN { printf \"$1\n\", $2 }"; }
verdict() { awk "BEGIN { print (($1) ? \"yes\" : \"no\") }"; }
warm() { find "$@" -type f -exec cat {} + >/dev/null; }
rows="$work/rows.md"
findings="$work/findings.md"
: >"$rows"
: >"$findings"
row() { printf '| %s | %s | %s | %s | %s | %s |\n' "$@" >>"$rows"; }

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

# --- 1. file digest ----------------------------------------------------------------------------
log "1. MD5 of a 512 MiB file"
big="$work/data/digest-512m.bin"
head -c $((512 << 20)) /dev/urandom >"$big"
warm "$big"
md5sum_s=$(median_time md5sum "$big")
bench md5 "$(winpath "$big")" "$runs" >"$work/md5.txt"
grep -q "DIGEST $(md5sum "$big" | cut -c1-32)" "$work/md5.txt" || die "ComputeFileMd5 disagrees with md5sum"
ours_s=$(result md5 <"$work/md5.txt")
ratio=$(calc "%.2f" "$md5sum_s / $ours_s")
row "1. MD5, 512 MiB file" "ComputeFileMd5: $(calc %.3f "$ours_s") s ($(calc %.0f "512 / $ours_s") MiB/s)" \
    "md5sum: $(calc %.3f "$md5sum_s") s ($(calc %.0f "512 / $md5sum_s") MiB/s)" "$ratio" ">= 0.90" \
    "$(verdict "$ratio >= 0.9")"
rm -f "$big"

# --- 2. up-to-date check -----------------------------------------------------------------------
# Writes filelist.txt for the server and a md5sum -c list for the same files below $1.
make_lists() {
    (cd "$1" && find . -type f ! -name md5sum.list | sed 's|^\./||' | sort | xargs -d '\n' md5sum >md5sum.list)
    awk '{ print substr($0, 35) "|" $1 }' "$1/md5sum.list" >"$work/served/updater/filelist.txt"
}
# Times an update run over an up-to-date folder, and md5sum -c over the same files; sets $ours and
# $theirs.
update_bench() {  # folder label
    local folder="$1" label="$2"
    make_lists "$folder"
    warm "$folder"
    theirs=$(cd "$folder" && median_time md5sum -c --quiet md5sum.list)
    bench update "$(winpath "$folder")" "$python_root" "$runs" >"$work/update-$label.txt" ||
        die "an update run of $label did not complete"
    ours=$(result update <"$work/update-$label.txt")
}

log "2. update run over one small file (the memory baseline)"
mkdir -p "$work/tiny/system"
echo tiny >"$work/tiny/system/one.txt"
make_lists "$work/tiny"
bench update "$(winpath "$work/tiny")" "$python_root" 1 >"$work/update-tiny.txt" || die "the one-file update failed"
peak_tiny=$(result peak_working_set_mib <"$work/update-tiny.txt")
rm -rf "$work/tiny"

log "2a. update run over 2,000 files, 1 GiB"
mkdir -p "$work/client/system"
head -c $((1 << 30)) /dev/urandom | (cd "$work/client/system" && split -a 4 -d -b 536871 - part)
update_bench "$work/client" a
ratio=$(calc "%.2f" "$theirs / $ours")
row "2a. up-to-date check, 2,000 files, 1 GiB" "whole update run: $(calc %.3f "$ours") s" \
    "md5sum -c: $(calc %.3f "$theirs") s" "$ratio" ">= 1.0" "$(verdict "$ratio >= 1.0")"
peak=$(result peak_working_set_mib <"$work/update-a.txt")
peak_before=$(result peak_working_set_before_mib <"$work/update-a.txt")
peak_private=$(result peak_private_mib <"$work/update-a.txt")
private_before=$(result private_before_mib <"$work/update-a.txt")

log "6. the operators' tool writing a manifest for the same 1 GiB"
rm -f "$work/client/md5sum.list"
warm "$work/client"
tool_time=$(median_time "$filelist" make "$work/client" -o "$work/tool-filelist.txt")
sum_time=$(cd "$work/client" && median_time sh -c 'find . -type f | xargs md5sum >/dev/null')
tool_ratio=$(calc "%.2f" "$sum_time / $tool_time")
row "6. vardenhal-filelist make, 2,000 files, 1 GiB" \
    "$(calc %.3f "$tool_time") s ($(calc %.0f "1024 / $tool_time") MiB/s)" \
    "md5sum: $(calc %.3f "$sum_time") s ($(calc %.0f "1024 / $sum_time") MiB/s)" "$tool_ratio" "(none)" "-"
rm -rf "$work/client" "$work/tool-filelist.txt"

log "2b. update run over 20,000 small files"
python3 - "$work/small" <<'EOF'
import os, sys
root = sys.argv[1]
for folder in range(100):
    path = os.path.join(root, "system", "f%03d" % folder)
    os.makedirs(path, exist_ok=True)
    for i in range(200):
        with open(os.path.join(path, "s%03d.dat" % i), "wb") as f:
            f.write(os.urandom(1024 + (folder * 200 + i) * 37 % 7168))
EOF
update_bench "$work/small" b
awk '{ print substr($0, 35) }' "$work/small/md5sum.list" >"$work/small-all.list"
bare=$(bench bareloop "$(winpath "$work/small-all.list")" "$(winpath "$work/small")" "$runs" | result bareloop)
ratio=$(calc "%.2f" "$ours / $bare")
row "2b. up-to-date check, 20,000 files of 1 to 8 KiB" "whole update run: $(calc %.3f "$ours") s" \
    "bare one-thread digest loop (Wine): $(calc %.3f "$bare") s" "$ratio x the loop's time" "<= 0.6 x the loop's" \
    "$(verdict "$ratio <= 0.6")"
row "2b. up-to-date check, 20,000 files of 1 to 8 KiB" "whole update run: $(calc %.3f "$ours") s" \
    "md5sum -c: $(calc %.3f "$theirs") s" "$(calc "%.2f" "$theirs / $ours")" "(none)" "-"
peak_small=$(result peak_working_set_mib <"$work/update-b.txt")
awk 'NR <= 2000 { print substr($0, 35) }' "$work/small/md5sum.list" >"$work/small.list"
bench perfile "$(winpath "$work/small.list")" "$(winpath "$work/small")" >"$work/perfile.txt"
us() { calc %.0f "$1 * 1000000"; }
{
    echo "### Where an up-to-date check of small files goes (per file; steps timed over 2,000 of the 20,000 files)"
    echo
    echo "| step | time a file |"
    echo "| --- | --- |"
    echo "| whole update run (median) | $(us "$(result update <"$work/update-b.txt") / 20000") µs |"
    echo "| md5sum -c (median) | $(us "$(cd "$work/small" && median_time md5sum -c --quiet md5sum.list) / 20000") µs |"
    echo "| GetFileAttributesW | $(us "$(result perfile_attributes <"$work/perfile.txt")") µs |"
    echo "| CreateFileW and CloseHandle | $(us "$(result perfile_open_close <"$work/perfile.txt")") µs |"
    echo "| CryptAcquireContextW and CryptReleaseContext | $(us "$(result perfile_crypt_context <"$work/perfile.txt")") µs |"
    echo "| ComputeFileMd5 as a whole | $(us "$(result perfile_md5 <"$work/perfile.txt")") µs |"
    echo "| one progress message posted and read | $(us "$(result perfile_post_read_message <"$work/perfile.txt")") µs |"
    echo
} >>"$findings"
rm -rf "$work/small"

# --- 3. downloads ------------------------------------------------------------------------------
log "3. downloads"
mkdir -p "$work/dl"
head -c $((256 << 20)) /dev/urandom >"$work/served/updater/download-256m.bin"
warm "$work/served/updater/download-256m.bin"
dl_win=$(winpath "$work/dl")
path_big="updater/download-256m.bin"
big_md5=$(md5sum "$work/served/$path_big" | cut -d' ' -f1)
dl_ours() { bench download "$1/$path_big" "$dl_win\\big.bin" "$big_md5" "$runs" | result download; }
dl_raw() { bench rawdownload "$1/$path_big" "$dl_win\\raw.bin" "$runs" "${2:-65536}" "${3:-read}" | result rawdownload; }
dl_curl() { median_time curl -sf -o "$work/dl/curl.bin" "$1/$path_big"; }
mibs() { calc %.0f "256 / $1"; }

ours_nginx=$(dl_ours "$nginx_tls")
raw_nginx=$(dl_raw "$nginx_tls")
curl_nginx=$(dl_curl "$nginx_tls")
ours_python=$(dl_ours "$python_root")
raw_python=$(dl_raw "$python_root")
curl_python=$(dl_curl "$python_root")
raw_http=$(dl_raw "$nginx_http")
curl_http=$(dl_curl "$nginx_http")
raw_8k=$(dl_raw "$nginx_tls" 8192 read)
raw_1m=$(dl_raw "$nginx_tls" 1048576 read)
raw_avail=$(dl_raw "$nginx_tls" 65536 available)
cmp "$work/dl/big.bin" "$work/served/$path_big" || die "DownloadToFile wrote another file"
ratio=$(calc "%.2f" "$raw_nginx / $ours_nginx")
row "3a. download 256 MiB, nginx HTTPS" "DownloadToFile: $(calc %.3f "$ours_nginx") s ($(mibs "$ours_nginx") MiB/s)" \
    "bare WinInet loop: $(calc %.3f "$raw_nginx") s ($(mibs "$raw_nginx") MiB/s)" "$ratio" ">= 0.95" \
    "$(verdict "$ratio >= 0.95")"
row "3b. download 256 MiB, nginx HTTPS" "DownloadToFile: $(calc %.3f "$ours_nginx") s" \
    "curl: $(calc %.3f "$curl_nginx") s ($(mibs "$curl_nginx") MiB/s)" "$(calc %.2f "$curl_nginx / $ours_nginx")" \
    "(none)" "-"
ratio=$(calc "%.2f" "$raw_python / $ours_python")
row "3a. download 256 MiB, Python test server HTTPS" \
    "DownloadToFile: $(calc %.3f "$ours_python") s ($(mibs "$ours_python") MiB/s)" \
    "bare WinInet loop: $(calc %.3f "$raw_python") s ($(mibs "$raw_python") MiB/s)" "$ratio" ">= 0.95" \
    "$(verdict "$ratio >= 0.95")"
row "3b. download 256 MiB, Python test server HTTPS" "DownloadToFile: $(calc %.3f "$ours_python") s" \
    "curl: $(calc %.3f "$curl_python") s ($(mibs "$curl_python") MiB/s)" "$(calc %.2f "$curl_python / $ours_python")" \
    "(none)" "-"
{
    echo "### Where the download ceiling is (256 MiB, medians of $runs)"
    echo
    echo "| client | nginx HTTPS | nginx plain HTTP | Python HTTPS |"
    echo "| --- | --- | --- | --- |"
    echo "| DownloadToFile (Wine) | $(mibs "$ours_nginx") MiB/s | (HTTPS only) | $(mibs "$ours_python") MiB/s |"
    echo "| bare WinInet loop, 64 KiB reads (Wine) | $(mibs "$raw_nginx") MiB/s | $(mibs "$raw_http") MiB/s | $(mibs "$raw_python") MiB/s |"
    echo "| curl (Linux) | $(mibs "$curl_nginx") MiB/s | $(mibs "$curl_http") MiB/s | $(mibs "$curl_python") MiB/s |"
    echo
    echo "Read patterns of the bare WinInet loop over nginx HTTPS: 8 KiB reads $(mibs "$raw_8k") MiB/s," \
        "64 KiB reads $(mibs "$raw_nginx") MiB/s, 1 MiB reads $(mibs "$raw_1m") MiB/s," \
        "64 KiB reads sized by InternetQueryDataAvailable $(mibs "$raw_avail") MiB/s."
    echo
} >>"$findings"

log "3d. resuming a cut download"
# The Python server cuts the 256 MiB file at 90% on each run's first request.
cut_at=$(((256 << 20) * 9 / 10))
bench resume "$python_root/_fault/once:cut=$cut_at/$path_big" "$dl_win\\resumed.bin" "$big_md5" "$runs" \
    >"$work/resume.txt" || die "the cut download did not resume"
first_s=$(result resume_first <"$work/resume.txt")
second_s=$(result resume_second <"$work/resume.txt")
second_mib=$(calc %.1f "$(result resume_second_bytes <"$work/resume.txt") / 1048576")
share=$(calc %.3f "$(result resume_second_bytes <"$work/resume.txt") / (256 * 1048576)")
row "3d. 256 MiB cut at 90%, Python test server HTTPS" \
    "second try: $(calc %.3f "$second_s") s, $second_mib MiB moved" \
    "first try, cut: $(calc %.3f "$first_s") s, $(calc %.1f "$(result resume_first_bytes <"$work/resume.txt") / 1048576") MiB" \
    "$share of the file moved again" "about 0.10" "$(verdict "$share <= 0.11")"
rm -f "$work/dl/"*.bin "$work/served/$path_big"

log "3c. 1,000 small files"
python3 - "$work/served/updater/many" <<'EOF'
import os, sys
os.makedirs(sys.argv[1], exist_ok=True)
for i in range(1000):
    with open(os.path.join(sys.argv[1], "m%04d.dat" % i), "wb") as f:
        f.write(os.urandom(1024 + i * 53 % 7168))
EOF
(cd "$work/served/updater" && ls many | sed 's|^|many/|') >"$work/many.list"
(cd "$work/served/updater" && md5sum many/*) >"$work/many.md5"
mkdir -p "$work/dl/many"
awk -v root="$nginx_tls/updater/" -v dir="$work/dl/" '{ print "url = \"" root $0 "\"\noutput = \"" dir $0 "\"" }' \
    "$work/many.list" >"$work/curl-many.cfg"
ours=$(bench downloadlist "$nginx_tls/updater/" "$(winpath "$work/many.md5")" "$dl_win" "$runs" | result downloadlist)
raw_list=$(bench rawdownloadlist "$nginx_tls/updater/" "$(winpath "$work/many.list")" "$dl_win" "$runs" |
    result rawdownloadlist)
curl_one=$(median_time curl -sf -K "$work/curl-many.cfg")
curl_each=$(median_time xargs -a "$work/many.list" -I{} curl -sf -o "$work/dl/{}" "$nginx_tls/updater/{}")
cmp "$work/dl/many/m0999.dat" "$work/served/updater/many/m0999.dat" || die "the small files differ"
ratio=$(calc "%.2f" "$ours / $raw_list")
row "3c. 1,000 small files, nginx HTTPS" \
    "DownloadToFile each, one session: $(calc %.3f "$ours") s ($(calc %.1f "$ours") ms a file)" \
    "bare one-session WinInet loop: $(calc %.3f "$raw_list") s ($(calc %.1f "$raw_list") ms a file)" \
    "$ratio x the loop's time" "<= 1.2 x the loop's" "$(verdict "$ratio <= 1.2")"
row "3c. 1,000 small files, nginx HTTPS" "DownloadToFile each: $(calc %.3f "$ours") s" \
    "curl, one process: $(calc %.3f "$curl_one") s ($(calc %.1f "$curl_one") ms a file)" \
    "$(calc %.2f "$ours / $curl_one") x curl's time" "(none)" "-"
row "3c. 1,000 small files, nginx HTTPS" "DownloadToFile each: $(calc %.3f "$ours") s" \
    "curl, one process a file: $(calc %.3f "$curl_each") s ($(calc %.1f "$curl_each") ms a file)" \
    "$(calc %.2f "$ours / $curl_each") x curl's time" "(none)" "-"
rm -rf "$work/dl" "$work/served/updater/many"

log "7. a mixed run: half the files up to date, half fetched from nginx"
python3 - "$work/served/updater" <<'EOF'
import os, sys
for i in range(1000):
    folder = os.path.join(sys.argv[1], "mixed", "d%02d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%04d.dat" % i), "wb") as f:
        f.write(os.urandom(256 << 10))
EOF
(cd "$work/served/updater" && find mixed -type f | sort | xargs md5sum | awk '{ print $2 "|" $1 }') >"$work/mixed-all.txt"
awk 'NR % 2 == 1' "$work/mixed-all.txt" >"$work/mixed-present.txt"
awk 'NR % 2 == 0' "$work/mixed-all.txt" >"$work/mixed-fetched.txt"
: >"$work/mixed-none.txt"
# One update run from nginx with the manifest $1, over a client folder holding the files of $2.
mixed_run() {
    rm -rf "$work/mixed-client"
    mkdir -p "$work/mixed-client"
    cut -d'|' -f1 "$work/$2" | (cd "$work/served/updater" && xargs -r cp --parents -t "$work/mixed-client")
    cp "$work/$1" "$work/served/updater/filelist.txt"
    warm "$work/mixed-client"
    bench update "$(winpath "$work/mixed-client")" "$nginx_tls" 1 | result update
}
mixed=$(for i in $(seq "$runs"); do mixed_run mixed-all.txt mixed-present.txt; done | median)
check_only=$(for i in $(seq "$runs"); do mixed_run mixed-present.txt mixed-present.txt; done | median)
fetch_only=$(for i in $(seq "$runs"); do mixed_run mixed-fetched.txt mixed-none.txt; done | median)
ratio=$(calc "%.2f" "$mixed / ($check_only + $fetch_only)")
row "7. mixed run, 1,000 files of 256 KiB, every other one to fetch, nginx HTTPS" \
    "whole update run: $(calc %.3f "$mixed") s" \
    "the 500 checked alone $(calc %.3f "$check_only") s + the 500 fetched alone $(calc %.3f "$fetch_only") s" \
    "$ratio x the sum" "<= 0.75 x the sum" "$(verdict "$ratio <= 0.75")"
rm -rf "$work/mixed-client" "$work/served/updater/mixed"

# --- 4. window -------------------------------------------------------------------------------
log "4. painting and start-up"
bench paint "$runs" >"$work/paint.txt"
paint_s=$(result paint <"$work/paint.txt")
tick_s=$(result hover_tick <"$work/paint.txt")
launcher_win=$(winpath "$build/VardenhalUpdater.exe")
bench startup "$launcher_win" $((runs + 2)) >"$work/startup.txt" || die "the launcher did not paint"
first_paint_s=$(result startup_first_paint <"$work/startup.txt")
window_s=$(result startup_window <"$work/startup.txt")
process_s=$(bench processstart "$runs" | result process_start_exit)
ms() { calc %.2f "$1 * 1000"; }
row "4. full paint, 1024 x 660, memory DC" "$(ms "$paint_s") ms" "(target)" "-" "< 1 ms" \
    "$(verdict "$paint_s < 0.001")"
row "4. hover tick (six easing steps + paint)" "$(ms "$tick_s") ms" "(target)" "-" "< 1 ms" \
    "$(verdict "$tick_s < 0.001")"
row "4. process start to first paint" "$(ms "$first_paint_s") ms" \
    "Wine start and exit of an empty program: $(ms "$process_s") ms" "-" "< 500 ms" \
    "$(verdict "$first_paint_s < 0.5")"
{
    echo "### Where start-up goes (medians of $runs, in-process unless said)"
    echo
    echo "| step | time |"
    echo "| --- | --- |"
    echo "| Wine: start and exit of an empty program (process) | $(ms "$process_s") ms |"
    echo "| start to main window created (process) | $(ms "$window_s") ms |"
    echo "| start to first painted pixel (process) | $(ms "$first_paint_s") ms |"
    for step in gdiplus_startup extract_music decode_background decode_background_again decode_icons first_paint \
        stretch_direct paint_launcher_only; do
        echo "| $step | $(ms "$(result "$step" <"$work/paint.txt")") ms |"
    done
    echo
} >>"$findings"

# --- 5. memory ---------------------------------------------------------------------------------
row "5. peak working set, update run over 1 GiB" "$(calc %.1f "$peak") MiB" \
    "harness before the run: $(calc %.1f "$peak_before") MiB" "-" "< 30 MB" "$(verdict "$peak * 1.048576 < 30")"
row "5. private bytes during the update run over 1 GiB" "$(calc %.1f "$peak_private") MiB" \
    "harness before the run: $(calc %.1f "$private_before") MiB" "-" "< 16 MiB" "$(verdict "$peak_private < 16")"

{
    echo "### Peak working set of the harness (MiB)"
    echo
    echo "Before any run: $(calc %.1f "$peak_before"); after an update run over one file:"
    echo "$(calc %.1f "$peak_tiny"); over 2,000 files, 1 GiB: $(calc %.1f "$peak"); over 20,000 small files:"
    echo "$(calc %.1f "$peak_small"). Wine counts every mapped page of the process, its own libraries"
    echo "(WinInet, its TLS stack, CryptoAPI) included."
    echo
} >>"$findings"

# --- the report --------------------------------------------------------------------------------
log "writing $out"
took=$(($(date +%s) - started))
{
    echo "# Benchmarks"
    echo
    echo "Written by \`make bench\` (scripts/bench.sh) on $(date -u '+%Y-%m-%d %H:%M UTC') in ${took} s."
    echo "Medians of $runs runs; every comparison made in the same run on the same files, page cache warm."
    echo
    echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), "`
        `"$(free -g | awk '/^Mem:/ { print $2 }') GiB memory; $(. /etc/os-release && echo "$PRETTY_NAME"), "`
        `"$("$WINELOADER" --version), $(curl --version | head -n 1 | cut -d' ' -f1-2), $(md5sum --version | head -n 1), "`
        `"nginx $("$nginx_bin" -v 2>&1 | sed 's|.*/||'), $(python3 --version)."
    echo "Load average when done: $(cut -d' ' -f1-3 /proc/loadavg)."
    echo
    if [ "$VARDENHAL_WINE_ARCH" = win32 ]; then
        echo "Architecture measured: the i686 build (the product) under 32-bit Wine."
    elif [ "$VARDENHAL_WINE_ARCH" = wow64 ]; then
        echo "Architecture measured: the i686 build (the product) under Debian unstable's Wine in WoW64 mode"
        echo "(no 32-bit Linux libraries), in a chroot: $VARDENHAL_WINE_ARCH_REASON."
    else
        echo "Architecture measured: an x86_64 build of the same sources under 64-bit Wine, not the i686 product:"
        echo "$VARDENHAL_WINE_ARCH_REASON."
    fi
    echo
    echo "| benchmark | ours | comparison | ratio | target | met |"
    echo "| --- | --- | --- | --- | --- | --- |"
    cat "$rows"
    echo
    echo "Ratios are the comparison's time over ours (higher is better for us), except those that say"
    echo "\"x ... time\" or \"x the sum\": those are our time over the comparison's (lower is better)."
    echo
    cat "$findings"
    echo "## How to run it again"
    echo
    echo '    make bench                # or: BENCH_RUNS=5 bash scripts/bench.sh'
    echo
    echo "The script installs nginx-light if it is missing, builds build/bench-$VARDENHAL_WINE_TREE (Release,"
    echo "-DVARDENHAL_BENCH=ON, server root https://localhost:$python_port) with the harness bench/bench_win.cpp,"
    echo "makes a $VARDENHAL_WINE_ARCH Wine prefix in build/bench-wine, starts Xvfb, the Python test server (port $python_port) and"
    echo "nginx (TLS $nginx_tls_port, plain HTTP $nginx_http_port) over the same folder, and times:"
    echo
    echo "- \`md5sum FILE\` against \`bench_win md5 FILE\` (ComputeFileMd5);"
    echo "- \`md5sum -c --quiet md5sum.list\` in the client folder against \`bench_win update FOLDER ROOT\`"
    echo "  (RunUpdateForWindow on a worker thread, reporting to a message-only window, the manifest"
    echo "  from the Python test server), and \`bench_win bareloop LIST FOLDER\` (CreateFileW, ReadFile,"
    echo "  CryptHashData and CloseHandle for each file on one thread, nothing else);"
    echo "- \`bench_win resume URL F MD5\`: DownloadToFile of a 256 MiB file the Python server cuts at 90%,"
    echo "  then the try after it, which asks for the rest (Range with If-Range);"
    echo "- \`curl -sf -o F URL\` against \`bench_win download URL F\` (DownloadToFile) and"
    echo "  \`bench_win rawdownload URL F 65536 read\` (the same request flags, a bare read loop into a file);"
    echo "- \`curl -sf -K list.cfg\` (one process, one connection) and one \`curl\` a file against"
    echo "  \`bench_win downloadlist BASE LIST FOLDER\` (one session) and \`bench_win rawdownloadlist\` (a bare"
    echo "  loop on one InternetOpen handle);"
    echo "- \`bench_win update\` from nginx over a folder holding every other file of 1,000, against the"
    echo "  same run over the held half alone plus the run that fetches the other half alone;"
    echo "- \`bench_win paint\` (PaintLauncher into a memory DC, as WM_PAINT does, after the background"
    echo "  cache is made) and \`bench_win startup VardenhalUpdater.exe\` (CreateProcess until the window"
    echo "  shows a non-black pixel of the picture);"
    echo "- the peak working set (GetProcessMemoryInfo) of the harness after the update runs of 2a, and its"
    echo "  private bytes (PrivateUsage; PagefileUsage under Wine, which leaves the former at 0) read with"
    echo "  each progress message during them."
    echo
    echo "The harness times in-process with QueryPerformanceCounter, so Wine's process start is not counted"
    echo "against our code; the Linux tools are timed from outside, process start included."
} >"$out"
cat "$out"
