#!/usr/bin/env python3
"""Writes docs/benchmarks.md from what make bench measured.
  bench_report.py RESULTS [ROW...]   RESULTS holds "KEY VALUE" lines (seconds unless the key says
                                     otherwise) and "meta KEY TEXT" lines; the report goes to
                                     standard output. With ROWs (keys such as 3c or 8a), only those
                                     rows and the sections that go with them.
The rows of the report are the data below: a name, how ours and the comparison read, the ratio
and the target. A row's key is its name up to the first dot. A ratio is the comparison's time over
ours (higher is better for us), unless its text says "x ... time" or "x the sum": then it is ours
over the comparison's (lower is better)."""
import sys

# bench_report.py --keys: the rows' keys in their order, for bench.sh's BENCH_ROWS.
listing_keys = sys.argv[1:] == ["--keys"]
r = {}
meta = {}
for line in ([] if listing_keys else open(sys.argv[1])):
    parts = line.rstrip("\n").split(" ", 2)
    if parts[0] == "meta":
        meta[parts[1]] = parts[2] if len(parts) > 2 else ""
    elif len(parts) >= 2:
        r[parts[0]] = float(parts[1])


def s(key):
    return "%.3f s" % r[key]


def rate(mib, key):
    return "%.0f MiB/s" % (mib / r[key])


def ms(seconds):
    return "%.2f ms" % (seconds * 1000)


def mib(key):
    return "%.1f MiB" % r[key]


def size(key):
    value = r[key]
    return "{:,.0f} bytes".format(value) if value < 10000 else "%.1f KiB" % (value / 1024)


# name, ours, comparison, ratio (a number, or None), how the ratio reads, target, whether it is met.
ROWS = [
    ("1. MD5, 512 MiB file",
     lambda: "ComputeFileMd5: %s (%s)" % (s("md5_ours"), rate(512, "md5_ours")),
     lambda: "md5sum: %s (%s)" % (s("md5_sum"), rate(512, "md5_sum")),
     lambda: r["md5_sum"] / r["md5_ours"], "%.2f", ">= 0.90", lambda x: x >= 0.9),
    ("2a. up-to-date check, 2,000 files, 1 GiB, a start after the first",
     lambda: "whole update run: " + s("update_a"), lambda: "md5sum -c: " + s("md5c_a"),
     lambda: r["md5c_a"] / r["update_a"], "%.2f", ">= 20", lambda x: x >= 20),
    ("2a-cold. the same with the page cache dropped before each run",
     lambda: "whole update run: " + s("update_a_cold"), lambda: "md5sum -c: " + s("md5c_a_cold"),
     lambda: r["md5c_a_cold"] / r["update_a_cold"], "%.2f", ">= 20", lambda x: x >= 20),
    ("2a-cold. the same, Wine's own files read back in after the drop (the game folder alone cold)",
     lambda: "whole update run: " + s("update_a_cold_game"), lambda: "md5sum -c: " + s("md5c_a_cold"),
     lambda: r["md5c_a_cold"] / r["update_a_cold_game"], "%.2f", "(none)", None),
    ("2a-cold. the same over a folder of one file: a cold start's cost whatever the folder holds",
     lambda: "whole update run: " + s("update_tiny_cold"), lambda: "2a-cold: " + s("update_a_cold"),
     lambda: r["update_a_cold"] - r["update_tiny_cold"], "%.3f s the 2,000 files' share", "(none)", None),
    ("2a-full. the same as the weekly full check (no record: every file read)",
     lambda: "whole update run: " + s("update_a_full"), lambda: "md5sum -c: " + s("md5c_a"),
     lambda: r["md5c_a"] / r["update_a_full"], "%.2f", ">= 1.0", lambda x: x >= 1.0),
    ("2b. up-to-date check, 20,000 files of 1 to 8 KiB, a start after the first",
     lambda: "whole update run: " + s("update_b"), lambda: "bare one-thread digest loop (Wine): " + s("bare_b"),
     lambda: r["update_b"] / r["bare_b"], "%.2f x the loop's time", "<= 0.15 x the loop's", lambda x: x <= 0.15),
    ("2b. up-to-date check, 20,000 files of 1 to 8 KiB, full check",
     lambda: "whole update run: " + s("update_b_full"), lambda: "bare one-thread digest loop (Wine): " + s("bare_b"),
     lambda: r["update_b_full"] / r["bare_b"], "%.2f x the loop's time", "<= 0.6 x the loop's", lambda x: x <= 0.6),
    ("2b. up-to-date check, 20,000 files of 1 to 8 KiB, full check",
     lambda: "whole update run: " + s("update_b_full"), lambda: "md5sum -c: " + s("md5c_b"),
     lambda: r["md5c_b"] / r["update_b_full"], "%.2f", "(none)", None),
    ("3a. download 256 MiB, nginx HTTPS",
     lambda: "DownloadToFile: %s (%s)" % (s("dl_ours_nginx"), rate(256, "dl_ours_nginx")),
     lambda: "bare WinInet loop: %s (%s)" % (s("dl_raw_nginx"), rate(256, "dl_raw_nginx")),
     lambda: r["dl_raw_nginx"] / r["dl_ours_nginx"], "%.2f", ">= 0.95", lambda x: x >= 0.95),
    ("3b. download 256 MiB, nginx HTTPS",
     lambda: "DownloadToFile: " + s("dl_ours_nginx"),
     lambda: "curl: %s (%s)" % (s("dl_curl_nginx"), rate(256, "dl_curl_nginx")),
     lambda: r["dl_curl_nginx"] / r["dl_ours_nginx"], "%.2f", "(none)", None),
    ("3a. download 256 MiB, Python test server HTTPS",
     lambda: "DownloadToFile: %s (%s)" % (s("dl_ours_python"), rate(256, "dl_ours_python")),
     lambda: "bare WinInet loop: %s (%s)" % (s("dl_raw_python"), rate(256, "dl_raw_python")),
     lambda: r["dl_raw_python"] / r["dl_ours_python"], "%.2f", ">= 0.95", lambda x: x >= 0.95),
    ("3b. download 256 MiB, Python test server HTTPS",
     lambda: "DownloadToFile: " + s("dl_ours_python"),
     lambda: "curl: %s (%s)" % (s("dl_curl_python"), rate(256, "dl_curl_python")),
     lambda: r["dl_curl_python"] / r["dl_ours_python"], "%.2f", "(none)", None),
    ("3c. 1,000 small files, nginx HTTPS",
     lambda: "whole update run, all missing: %s (%.1f ms a file)" % (s("list_run"), r["list_run"]),
     lambda: "bare one-session WinInet loop: %s (%.1f ms a file)" % (s("list_raw"), r["list_raw"]),
     lambda: r["list_run"] / r["list_raw"], "%.2f x the loop's time", "<= 0.6 x the loop's", lambda x: x <= 0.6),
    ("3c. 1,000 small files, nginx HTTPS",
     lambda: "DownloadToFile each, one session: %s (%.1f ms a file)" % (s("list_ours"), r["list_ours"]),
     lambda: "bare one-session WinInet loop: %s (%.1f ms a file)" % (s("list_raw"), r["list_raw"]),
     lambda: r["list_ours"] / r["list_raw"], "%.2f x the loop's time", "<= 1.2 x the loop's", lambda x: x <= 1.2),
    ("3c. 1,000 small files, nginx HTTPS",
     lambda: "DownloadToFile each: " + s("list_ours"),
     lambda: "curl, one process: %s (%.1f ms a file)" % (s("list_curl_one"), r["list_curl_one"]),
     lambda: r["list_ours"] / r["list_curl_one"], "%.2f x curl's time", "(none)", None),
    ("3c. 1,000 small files, nginx HTTPS",
     lambda: "DownloadToFile each: " + s("list_ours"),
     lambda: "curl, one process a file: %s (%.1f ms a file)" % (s("list_curl_each"), r["list_curl_each"]),
     lambda: r["list_ours"] / r["list_curl_each"], "%.2f x curl's time", "(none)", None),
    ("3d. 256 MiB cut at 90%, Python test server HTTPS",
     lambda: "second try: %s, %.1f MiB moved" % (s("resume_second"), r["resume_second_bytes"] / 1048576),
     lambda: "first try, cut: %s, %.1f MiB" % (s("resume_first"), r["resume_first_bytes"] / 1048576),
     lambda: r["resume_second_bytes"] / (256 * 1048576), "%.3f of the file moved again", "about 0.10",
     lambda x: x <= 0.11),
    ("4. full paint, 1024 x 660, memory DC", lambda: ms(r["paint"]), lambda: "(target)", None, "-", "< 1 ms",
     lambda x: r["paint"] < 0.001),
    ("4. hover tick (six easing steps + paint)", lambda: ms(r["hover_tick"]), lambda: "(target)", None, "-",
     "< 1 ms", lambda x: r["hover_tick"] < 0.001),
    ("4. process start to first paint", lambda: ms(r["startup_first_paint"]),
     lambda: "Wine start and exit of an empty program: " + ms(r["process_start"]), None, "-", "< 500 ms",
     lambda x: r["startup_first_paint"] < 0.5),
    ("5. peak working set, update run over 1 GiB", lambda: mib("peak_a"),
     lambda: "harness before the run: " + mib("peak_before_a"), None, "-", "< 30 MB",
     lambda x: r["peak_a"] * 1.048576 < 30),
    ("5. private bytes during the update run over 1 GiB", lambda: mib("private_peak_a"),
     lambda: "harness before the run: " + mib("private_before_a"), None, "-", "< 16 MiB",
     lambda x: r["private_peak_a"] < 16),
    ("6. vardenhal-filelist make, 2,000 files, 1 GiB",
     lambda: "%s (%s)" % (s("tool_make"), rate(1024, "tool_make")),
     lambda: "md5sum: %s (%s)" % (s("tool_md5sum"), rate(1024, "tool_md5sum")),
     lambda: r["tool_md5sum"] / r["tool_make"], "%.2f", "(none)", None),
    ("7. mixed run, 1,000 files of 256 KiB, every other one to fetch, nginx HTTPS",
     lambda: "whole update run: " + s("mixed"),
     lambda: "the 500 checked alone %s + the 500 fetched alone %s" % (s("mixed_check"), s("mixed_fetch")),
     lambda: r["mixed"] / (r["mixed_check"] + r["mixed_fetch"]), "%.2f x the sum", "<= 0.75 x the sum",
     lambda x: x <= 0.75),
    ("8a. 300 small files of 2 to 8 KiB, all missing, nginx HTTPS at a {far_rtt_ms} ms round trip",
     lambda: "whole update run: " + s("far_ours"),
     lambda: "curl, 6 transfers at once: %s" % s("far_curl_six"),
     lambda: r["far_ours"] / r["far_curl_six"], "%.2f x curl's time", "<= 1.5 x curl's", lambda x: x <= 1.5),
    ("8a. 300 small files of 2 to 8 KiB, all missing, nginx HTTPS at a {far_rtt_ms} ms round trip",
     lambda: "whole update run: " + s("far_ours"),
     lambda: "curl, one transfer at a time: %s (%.1f ms a file)" % (s("far_curl_one"), r["far_curl_one"] / 0.3),
     lambda: r["far_ours"] / r["far_curl_one"], "%.2f x curl's time", "(none)", None),
    ("8a. 300 small files of 2 to 8 KiB, all missing, nginx HTTPS at a {far_rtt_ms} ms round trip",
     lambda: "whole update run: " + s("far_ours"),
     lambda: "the same run, no proxy: " + s("far_ours_near"),
     lambda: r["far_ours"] / r["far_ours_near"], "%.2f x the near run's time", "(none)", None),
    ("8b. the 300 of 8a and one 64 MiB file, all missing, nginx HTTPS at a {far_rtt_ms} ms round trip",
     lambda: "whole update run: " + s("farbig_ours"),
     lambda: "curl, 6 transfers at once: %s" % s("farbig_curl_six"),
     lambda: r["farbig_ours"] / r["farbig_curl_six"], "%.2f x curl's time", "<= 1.5 x curl's", lambda x: x <= 1.5),
    ("8c. private bytes during the update run of 8a", lambda: mib("far_private_peak"),
     lambda: "harness before the run: " + mib("far_private_before"), None, "-", "< 24 MiB",
     lambda x: r["far_private_peak"] < 24),
    ("8d. private bytes after a run over 10,000 small missing files, nginx HTTPS",
     lambda: "after the run: " + mib("tenk_private_after"),
     lambda: "the same harness idle, before it: " + mib("tenk_private_before"),
     lambda: r["tenk_private_after"] - r["tenk_private_before"], "%.1f MiB more", "<= 16 MiB more",
     lambda x: x <= 16),
    ("9a. bytes received for an unchanged list of 20,000 entries, up-to-date folder, nginx HTTPS",
     lambda: "second start: " + size("list_second_bytes"),
     lambda: "first start: %s (the list alone: %s)" % (size("list_first_bytes"), size("list_plain_bytes")),
     lambda: r["list_second_bytes"] / r["list_first_bytes"], "%.4f x the first's bytes", "second start < 2 KB",
     lambda x: r["list_second_bytes"] < 2000),
    ("9b. bytes received for a changed list of 20,000 entries, nginx HTTPS with gzip_static",
     lambda: "gzip: %s (the .gz alone: %s)" % (size("list_changed_gzip_bytes"), size("list_gz_file_bytes")),
     lambda: "plain: " + size("list_changed_plain_bytes"),
     lambda: r["list_changed_gzip_bytes"] / r["list_changed_plain_bytes"], "%.2f x plain's bytes", "<= 0.55 x plain's",
     lambda x: x <= 0.55),
]


def us(seconds):
    return "%.0f µs" % (seconds * 1000000)


def mibs(key):
    return "%.0f MiB/s" % (256 / r[key])


def key_of(name):
    return name.split(".", 1)[0]


every_key = list(dict.fromkeys(key_of(row[0]) for row in ROWS))
if listing_keys:
    print(" ".join(every_key))
    sys.exit(0)
chosen = sys.argv[2:] or every_key
unknown = [key for key in chosen if key not in every_key]
if unknown:
    sys.exit("bench_report.py: no such row: %s (rows: %s)" % (" ".join(unknown), " ".join(every_key)))
partial = chosen != every_key


def shown(*keys):
    return any(key in chosen for key in keys)


out = []
p = out.append
p("# Benchmarks\n")
if partial:
    p("Only the rows %s (BENCH_ROWS), not the whole of `make bench`.\n" % ", ".join(chosen))
p("Written by `make bench` (scripts/bench.sh, scripts/bench_report.py) on %s in %s s." % (meta["date"], meta["took"]))
p("Medians of %s runs; every comparison made in the same run on the same files, page cache warm.\n" % meta["runs"])
p("Machine: %s" % meta["machine"])
p("Load average when done: %s.\n" % meta["load"])
p("Architecture measured: %s\n" % meta["architecture"])
p("| benchmark | ours | comparison | ratio | target | met |")
p("| --- | --- | --- | --- | --- | --- |")
for name, ours, comparison, ratio, ratio_text, target, met in ROWS:
    if key_of(name) not in chosen:
        continue
    try:
        value = ratio() if ratio else None
        cells = (ours(), comparison(), ratio_text % value if ratio else ratio_text,
                 "-" if met is None else ("yes" if met(value) else "no"))
    except KeyError as missing:
        # A row the machine could not measure (say, no right to drop the page cache): bench.sh says why.
        cells = ("not measured: " + meta.get("unmeasured_" + key_of(name), "no %s" % missing), "-", "-", "-")
    p("| %s | %s | %s | %s | %s | %s |" % ((name.format(**meta),) + cells[:3] + (target,) + cells[3:]))
p("")
p("Ratios are the comparison's time over ours (higher is better for us), except those that say")
p("\"x ... time\" or \"x the sum\": those are our time over the comparison's (lower is better).\n")

if shown("2b"):
    p("### Where an up-to-date check of small files goes (per file; steps timed over 2,000 of the 20,000 files)\n")
    p("| step | time a file |")
    p("| --- | --- |")
    for step, value in [("whole update run, a start after the first (median)", r["update_b"] / 20000),
                        ("whole update run, full check (median)", r["update_b_full"] / 20000),
                        ("md5sum -c (median)", r["md5c_b"] / 20000),
                        ("GetFileAttributesW", r["perfile_attributes"]),
                        ("CreateFileW and CloseHandle", r["perfile_open_close"]),
                        ("CryptAcquireContextW and CryptReleaseContext", r["perfile_crypt_context"]),
                        ("ComputeFileMd5 as a whole", r["perfile_md5"]),
                        ("one progress message posted and read", r["perfile_post_read_message"])]:
        p("| %s | %s |" % (step, us(value)))
    p("")
if shown("3a", "3b"):
    p("### Where the download ceiling is (256 MiB, medians of %s)\n" % meta["runs"])
    p("| client | nginx HTTPS | nginx plain HTTP | Python HTTPS |")
    p("| --- | --- | --- | --- |")
    p("| DownloadToFile (Wine) | %s | (HTTPS only) | %s |" % (mibs("dl_ours_nginx"), mibs("dl_ours_python")))
    p("| bare WinInet loop, 64 KiB reads (Wine) | %s | %s | %s |" %
      (mibs("dl_raw_nginx"), mibs("dl_raw_http"), mibs("dl_raw_python")))
    p("| curl (Linux) | %s | %s | %s |\n" % (mibs("dl_curl_nginx"), mibs("dl_curl_http"), mibs("dl_curl_python")))
    p("Read patterns of the bare WinInet loop over nginx HTTPS: 8 KiB reads %s, 64 KiB reads %s, 1 MiB reads %s, "
      "64 KiB reads sized by InternetQueryDataAvailable %s.\n" %
      (mibs("dl_raw_8k"), mibs("dl_raw_nginx"), mibs("dl_raw_1m"), mibs("dl_raw_avail")))
if shown("4"):
    p("### Where start-up goes (medians of %s, in-process unless said)\n" % meta["runs"])
    p("| step | time |")
    p("| --- | --- |")
    p("| Wine: start and exit of an empty program (process) | %s |" % ms(r["process_start"]))
    p("| start to main window created (process) | %s |" % ms(r["startup_window"]))
    p("| start to first painted pixel (process) | %s |" % ms(r["startup_first_paint"]))
    for step in ["gdiplus_startup", "extract_music", "decode_background", "decode_background_again", "decode_icons",
                 "first_paint", "stretch_direct", "paint_launcher_only"]:
        p("| %s | %s |" % (step, ms(r[step])))
    p("")
if shown("5"):
    p("### Peak working set of the harness (MiB)\n")
    p("Before any run: %.1f; after an update run over one file: %.1f; over 2,000 files, 1 GiB: %.1f; over 20,000 "
      "small files: %.1f. Wine counts every mapped page of the process, its own libraries (WinInet, its TLS stack, "
      "CryptoAPI) included.\n" % (r["peak_before_a"], r["peak_tiny"], r["peak_a"], r["peak_b"]))
if shown("8a", "8b", "8c"):
    p("### A player far from the server (rows 8)\n")
    p("Every row 8 transfer but the near run goes through `%s` in front of nginx's TLS port: each direction's "
      "bytes are held %s ms, and a new connection's first bytes reach nginx no sooner than one round trip and one "
      "way after it is accepted (the TCP handshake a far server costs). At that round trip, one round trip a file "
      "is %.1f s for the 300 files. Peak working set of the harness during the update run of 8a: %.1f MiB.\n" %
      (meta["far_proxy"], meta["far_delay_ms"], 300 * float(meta["far_rtt_ms"]) / 1000, r["far_peak"]))
p("""## How to run it again

    make bench                # or: BENCH_RUNS=5 bash scripts/bench.sh
    BENCH_ROWS="8a 8b 8c" bash scripts/bench.sh   # only these rows (a number alone, 3, means 3a to 3d)

BENCH_ROWS runs only the rows it names and the setup they need (row 5 reads the update runs of 2a,
and 8c those of 8a, so those run too); it writes their figures to build/bench/results.txt and
their report to build/bench/partial.md, and leaves docs/benchmarks.md as it is. Without it every
row runs and docs/benchmarks.md is written.

The script installs nginx-light if it is missing, builds build/bench-{tree} (Release,
-DVARDENHAL_BENCH=ON, server root https://localhost:{python_port}) with the harness bench/bench_win.cpp,
makes a {arch} Wine prefix in build/bench-wine, starts Xvfb, the Python test server (port {python_port}) and
nginx (TLS {nginx_tls_port}, plain HTTP {nginx_http_port}) over the same folder, runs the rows in their
numbered order, and times:

- `md5sum FILE` against `bench_win md5 FILE` (ComputeFileMd5);
- `md5sum -c --quiet md5sum.list` in the client folder against `bench_win update FOLDER ROOT`
  (RunUpdateForWindow on a worker thread, reporting to a message-only window, the manifest
  from the Python test server), and `bench_win bareloop LIST FOLDER` (CreateFileW, ReadFile,
  CryptHashData and CloseHandle for each file on one thread, nothing else);
- `curl -sf -o F URL` against `bench_win download URL F MD5` (DownloadToFile) and
  `bench_win rawdownload URL F 65536 read` (the same request flags, a bare read loop into a file);
- `curl -sf -K list.cfg` (one process, one connection) and one `curl` a file against
  `bench_win downloadlist BASE SUMS FOLDER` (one session) and `bench_win rawdownloadlist` (a bare
  loop on one InternetOpen handle), and the whole update run over the same 1,000 files into an
  empty folder (`bench_win update`, which fetches several at once);
- `bench_win resume URL F MD5`: DownloadToFile of a 256 MiB file the Python server cuts at 90%,
  then the try after it, which asks for the rest (Range with If-Range);
- `bench_win paint` (the window's paint path into a memory DC, after the background cache is made)
  and `bench_win startup VardenhalUpdater.exe` (CreateProcess until the window shows a non-black
  pixel of the picture);
- the peak working set (GetProcessMemoryInfo) of the harness after the update runs of 2a, and its
  private bytes (PrivateUsage; PagefileUsage under Wine, which leaves the former at 0) read with
  each progress message during them;
- `vardenhal-filelist make` against `md5sum` over the 1 GiB of 2a;
- `bench_win update` from nginx over a folder holding every other file of 1,000, against the
  same run over the held half alone plus the run that fetches the other half alone;
- for rows 8, with scripts/delay_proxy.py (a loopback proxy holding each direction's bytes
  {far_delay_ms} ms) in front of nginx's TLS port: `bench_win update EMPTY_FOLDER https://localhost:PROXY`
  (one process a run, into an empty folder) against `curl -sf --no-progress-meter --create-dirs
  --parallel --parallel-max 6 -K list.cfg` (-s alone leaves the parallel meter on) and the same
  without the two --parallel options through the same proxy (curl's files checked with md5sum -c
  afterwards), and the same update run straight from nginx;
  8c is the private bytes of the harness read with each progress message of the 8a runs;
  8d is one `bench_win update` straight from nginx into an empty folder over 10,000 files of 100
  to 900 bytes: the harness's private bytes once the run has ended and its threads are gone,
  against the same figure before it (Wine keeps private bytes as the resident size);
- for rows 9, the same proxy with no delay and a count of the bytes it passes to the launcher
  (TLS included): `bench_win update` over a folder of the 20,000 files of 2b, all up to date, so
  that only the list comes; 9a after the launcher's kept lists are deleted (the first start) and
  again (the second, which asks with If-None-Match), 9b with nothing kept and the list plain, then
  with its `gzip -9n` copy beside it, which nginx sends through `gzip_static on;`.

The harness times in-process with QueryPerformanceCounter, so Wine's process start is not counted
against our code; the Linux tools are timed from outside, process start included.""".format(**meta))
sys.stdout.write("\n".join(out) + "\n")
