#!/usr/bin/env python3
"""Writes docs/benchmarks.md from what make bench measured.
  bench_report.py RESULTS [ROW...]   RESULTS holds "KEY VALUE" lines (seconds unless the key says
                                     otherwise) and "meta KEY TEXT" lines; the report goes to
                                     standard output. With ROWs (keys such as 3c or 8a), only those
                                     rows and the sections that go with them.
The rows of the report are the data below: a name, how ours and the comparison read, the ratio
and the target. A row's key is its name up to the first dot. A ratio is the comparison's time over
ours (higher is better for us), unless its text says "x ... time" or "x the sum": then it is ours
over the comparison's (lower is better); one that says "of the file" is bytes over the file's bytes
(lower is better)."""
import re
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


def count(value):
    return "{:,.0f}".format(value)


def patch_bytes(key):
    return "%s bytes (%.2f MB: the map %s, %s range requests, the answers' heads %s)" % (
        count(r["patch_bytes_" + key]), r["patch_bytes_" + key] / 1e6, count(r["patch_map_" + key]),
        count(r["patch_ranges_" + key]), count(r["patch_bytes_" + key] - r["patch_body_" + key]))


def with_commas(text):
    return re.sub(r"\d{4,}", lambda m: count(int(m.group())), text)


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
    ("10a. patch of a 200,000,000-byte file, 20 regions changed (10,000,000 bytes, 7 of them inserted), "
     "whole update run, nginx HTTPS",
     lambda: "received for the file and its map: " + patch_bytes("a"),
     lambda: "the new file: %s bytes" % count(r["patch_length_a"]),
     lambda: r["patch_bytes_a"] / r["patch_length_a"], "%.4f of the file", "<= 0.06", lambda x: x <= 0.06),
    ("10b. patch of a 200,000,000-byte file, 2,000 edits of 262 or 263 bytes (524,288 bytes), whole update run, "
     "nginx HTTPS",
     lambda: "received for the file and its map: " + patch_bytes("b"),
     lambda: "the new file: %s bytes" % count(r["patch_length_b"]),
     lambda: r["patch_bytes_b"] / r["patch_length_b"], "%.4f of the file", "<= 0.08", lambda x: x <= 0.08),
    ("10c. the patch of 10a at a {far_rtt_ms} ms round trip on a {patch_rate_mbit} Mbit/s line, nginx HTTPS",
     lambda: "whole update run, patched: " + s("patch_far"),
     lambda: "the same run with no map served (the whole file, one run): " + s("patch_far_whole"),
     lambda: r["patch_far"] / r["patch_far_whole"], "%.2f x the whole file's time", "<= 0.2 x the whole file's",
     lambda x: x <= 0.2),
    ("10c. the patch of 10b on the same line (one run; no target)",
     lambda: "whole update run, patched: " + s("patch_far_b"),
     lambda: "the whole-file run above (10a's file, 203,669,689 bytes): " + s("patch_far_whole"),
     lambda: r["patch_far_b"] / r["patch_far_whole"], "%.2f x the whole file's time", "(none)", None),
    ("10d. the search of the 200,000,000-byte old file for 10a's blocks, page cache warm",
     lambda: "SearchHeldBlocks: %s (%.0f MB/s)" % (s("search"), 200 / r["search"]),
     lambda: "ComputeFileMd5 of the same file: %s (%.0f MB/s)" % (s("search_md5"), 200 / r["search_md5"]),
     lambda: r["search"] / r["search_md5"], "%.2f x the digest's time", "<= 2 x the digest's", lambda x: x <= 2),
    ("10e. the block map of 10a's new file",
     lambda: "%s bytes" % count(r["map_bytes_a"]),
     lambda: "the file: %s bytes" % count(r["map_file_bytes_a"]),
     lambda: r["map_bytes_a"] / r["map_file_bytes_a"], "%.4f of the file", "<= 0.01", lambda x: x <= 0.01),
    ("10f. a new list where only a small file changed, the 200,000,000-byte file up to date, nginx HTTPS",
     lambda: "map requests: %s; bytes sent of the big file: %s" % (
         count(r["list_only_map_requests"]), count(r["list_only_big_bytes"])),
     lambda: "the list and the changed file: %s bytes; whole update run %s" % (
         count(r["list_only_other_bytes"]), s("list_only_time")),
     None, "-", "0 and 0", lambda x: r["list_only_map_requests"] == 0 and r["list_only_big_bytes"] == 0),
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
p("\"x ... time\" or \"x the sum\": those are our time over the comparison's (lower is better), and those")
p("that say \"of the file\": those are bytes over the file's bytes (lower is better).\n")

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
if shown("10a", "10b", "10c", "10d", "10e", "10f"):
    p("### Patching a large file through its block map (rows 10)\n")
    p("`scripts/bench_data.py patch` writes the same three files every time (a fixed seed): the old file, "
      "200,000,000 random bytes; 10a's new version, with 20 regions of 215 to 716 KB, one in each twentieth of "
      "the file, 10,000,000 bytes in all, 7 of them inserted (the file grows to 203,669,689 bytes and "
      "everything after each moves) and 13 written over; 10b's, with 2,000 edits of 262 or 263 bytes written "
      "over at scattered places, 524,288 bytes in all. `vardenhal-filelist make DIR -o DIR/filelist.txt` serves "
      "each new version with its list and its map (4 KiB blocks, 8 strong bytes). Each run is the whole "
      "update run (`bench_win update`) over a folder whose copy of the file is the old version, copied there "
      "just before (so the launcher reads it and finds it differs). The bytes are counted from nginx's log "
      "of each run (`$bytes_sent`, the answer's head and body, summed over the requests for the file and "
      "for its map; TLS not counted), against the new file's whole length for "
      "comparison: what the launcher fetches without the map.\n")
    notes = [(k, meta[k]) for k in ("patch_runs_a", "patch_runs_b", "patch_runs_far", "patch_runs_whole",
                                     "patch_runs_far_b") if k in meta]
    labels = {"patch_runs_a": "10a", "patch_runs_b": "10b", "patch_runs_far": "10c, patched",
              "patch_runs_whole": "10c, no map served", "patch_runs_far_b": "10c, 10b's change patched"}
    if notes:
        p("What nginx logged for the file in the first run of each (the launcher's own requests):\n")
        for k, text in notes:
            p("- %s: %s" % (labels[k], with_commas(text)))
        p("")
    faults = [(k, meta[k]) for k in sorted(meta) if k.startswith("patch_fault_")]
    for k, text in faults:
        p("**%s: %s** (the launcher gave the patch up and fetched the whole file; its bytes are counted as "
          "they are.)\n" % (k[len("patch_fault_"):], with_commas(text)))
    if "patch_far" in r:
        p("10c puts `%s` in front of nginx's TLS port: each direction held %s ms, and the bytes to the launcher "
          "on one line of %s Mbit/s that all its connections share, as one player's line is (the bytes it sends "
          "are not limited). At that rate the whole new file alone takes %.1f s. The patched time is the median "
          "of %s runs, the whole file's one run. Each includes the launcher's digest of the old file first. The patch "
          "of 10b's change on the same line asks for each of its ranges in a request of its own, six at a time.\n" %
          (meta["patch_proxy"], meta["far_delay_ms"], meta["patch_rate_mbit"],
           r.get("patch_length_a", 203669689) * 8 / (float(meta["patch_rate_mbit"]) * 1e6), meta["runs"]))
    if "search" in r:
        p("10d: `bench_win search OLD MAP`, in one process: the old file opened as a patch opens it and read "
          "with ReadFile at offsets, the blocks found counted but not written anywhere, against "
          "ComputeFileMd5 of the same file; a digest first, not counted, reads it into the page cache. "
          "The search found %s bytes held and left %s to fetch.\n" %
          (count(r["search_held_bytes"]), count(r["search_missing_bytes"])))
    if "list_only_time" in r:
        p("10f: one run patches the file to 10a's version first; then, each run, a new note.txt and a new list "
          "(`vardenhal-filelist make`, which leaves the unchanged map as it is) and the launcher's next start. "
          "The figures are the most over the runs.\n")
    if "study_a_4k_s8_map" in r:
        p("### Block size and strong digest (the map's bytes, and the bytes a patch moves: the map and the "
          "ranges not held)\n")
        p("`bench_win study OLD NEW`: for each block size and strong digest length, the map of the new file "
          "made with BlockMapMaker and the search of the old file with it (SearchHeldBlocks, MissingSpans, "
          "SpanBytes); heads of the requests not counted. The product writes 4 KiB blocks and 8 strong bytes.\n")
        p("| block size | strong bytes | map | 10a: ranges not held | 10a: moved | of the file | "
          "10b: ranges not held | 10b: moved | of the file |")
        p("| --- | --- | --- | --- | --- | --- | --- | --- | --- |")
        for block in (4, 8, 16):
            for strong in (4, 8, 16):
                cells = []
                for change in ("a", "b"):
                    name = "study_%s_%dk_s%d_" % (change, block, strong)
                    moved = r[name + "map"] + r[name + "missing"]
                    cells += [count(r[name + "missing"]), count(moved), "%.4f" % (moved / r["map_file_bytes_" + change])]
                p("| %d KiB | %d | %s | %s |" % (block, strong, count(r["study_a_%dk_s%d_map" % (block, strong)]),
                                                 " | ".join(cells)))
        p("")
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
  with its `gzip -9n` copy beside it, which nginx sends through `gzip_static on;`;
- for rows 10, `bench_win update` over a folder holding the old version of a 200,000,000-byte file
  whose new version nginx serves with its block map, the bytes counted from nginx's access log of
  the run (10a, 10b); the same through the proxy of rows 8 with a shared {patch_rate_mbit} Mbit/s line
  to the launcher, against the same run with the map taken away (10c); `bench_win search` against
  ComputeFileMd5 (10d); the map's size, and `bench_win study` over block sizes and strong digest
  lengths (10e); and a start after a release that changed only a small file (10f).

The harness times in-process with QueryPerformanceCounter, so Wine's process start is not counted
against our code; the Linux tools are timed from outside, process start included.""".format(**meta))
sys.stdout.write("\n".join(out) + "\n")
