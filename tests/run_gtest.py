#!/usr/bin/env python3
"""Runs a GoogleTest binary with a deadline for each test and writes a JUnit report.

  run_gtest.py --xml OUT.xml [--deadline SECONDS] [--growth-mib MIB] [--filter F] [--cwd DIR] -- COMMAND...

COMMAND runs the binary (directly, or through scripts/wine-run.sh). A test that passes its
deadline, or whose process grows by more than --growth-mib resident over its size when the test
began, is stopped with the whole process group and fails as hung or as too large; the binary then starts again with the tests that have
not run, so one fault costs one test and the others go on. A binary that ends during a test
(a crash) fails that test the same way. Prints GoogleTest's own output, one line "HUNG: NAME",
"TOO LARGE: NAME" or "CRASHED: NAME" for each test stopped so, and last "peak resident size: N MiB"
(the largest the test process grew); exits 1 when any test failed.

The output goes through a file, not a pipe: Wine's helper processes would inherit a pipe and hold
it open after the test binary is gone.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import xml.sax.saxutils

RUN = re.compile(r"^\[ RUN      \] (\S+)")
ENDED = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+)(?: \((\d+) ms\))?")
POLL_SECONDS = 0.05
# What a binary stopped while no test was under way is reported as.
OUTSIDE = "(outside any test)"


class Case:
    def __init__(self, name):
        self.name = name
        self.result = None  # "passed", "failed", "skipped"
        self.seconds = 0.0
        self.lines = []


def resident_bytes(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
    except (OSError, ValueError):
        pass
    return 0


def stop_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait()


# The largest resident size seen of a test process, in bytes.
peak = [0]


def run_round(command, gtest_filter, deadline, growth_limit, cwd, cases, order):
    """Runs the binary once over `gtest_filter`. Returns the tests it stopped and why
    (name -> "hung" / "too large" / "crashed"), and the exit status when the binary ended on its
    own after its last test, else None."""
    stopped = {}
    # Read through a file description of its own: the binary's advances as it writes.
    with tempfile.NamedTemporaryFile() as out, open(out.name, "rb") as reader:
        args = list(command) + ["--gtest_color=no"]
        if gtest_filter:
            args.append("--gtest_filter=" + gtest_filter)
        env = dict(os.environ)
        env.pop("GTEST_OUTPUT", None)
        process = subprocess.Popen(args, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, cwd=cwd,
                                   env=env, start_new_session=True)
        pending = b""
        current = None
        began = time.monotonic()  # of the test under way, or of the last output between tests
        base = 0  # the resident size when the test under way began

        def take(data):
            nonlocal pending, current, began, base
            if data.strip() and current is None:
                began = time.monotonic()
            pending += data
            *lines, pending = pending.split(b"\n")
            for raw in lines:
                line = raw.decode("utf-8", "replace").rstrip("\r")
                print(line, flush=True)
                started = RUN.match(line)
                ended = ENDED.match(line)
                if started:
                    current = cases.setdefault(started.group(1), Case(started.group(1)))
                    if current.name not in order:
                        order.append(current.name)
                    current.lines = []
                    began = time.monotonic()
                    base = resident_bytes(process.pid)
                elif ended and current is not None and ended.group(2) == current.name:
                    current.result = {"OK": "passed", "FAILED": "failed", "SKIPPED": "skipped"}[ended.group(1)]
                    current.seconds = int(ended.group(3) or 0) / 1000.0
                    current = None
                elif current is not None:
                    current.lines.append(line)

        while True:
            take(reader.read())
            finished = process.poll() is not None
            if finished:
                take(reader.read() + b"\n")
                break
            why = None
            resident = resident_bytes(process.pid)
            peak[0] = max(peak[0], resident)
            if time.monotonic() - began > deadline:
                why = "hung"
            elif growth_limit and current is not None and resident > base + growth_limit:
                why = "too large"
            if why:
                name = current.name if current is not None else OUTSIDE
                stop_group(process)
                take(reader.read() + b"\n")
                stopped[name] = why
                if current is not None:
                    current.result = "failed"
                    current.seconds = time.monotonic() - began
                    current.lines.append("stopped: no end within %g s" % deadline if why == "hung" else
                                         "stopped: grew by more than %d MiB" % (growth_limit >> 20))
                return stopped, None
            time.sleep(POLL_SECONDS)
        if current is not None:
            # The binary ended inside a test: a crash, an abort, an exit from the code under test.
            current.result = "failed"
            current.seconds = time.monotonic() - began
            current.lines.append("the test binary ended (exit status %d) during this test" % process.returncode)
            stopped[current.name] = "crashed"
            return stopped, None
        return stopped, process.returncode


def list_tests(command, gtest_filter, cwd):
    with tempfile.TemporaryFile() as out:
        args = list(command) + ["--gtest_list_tests"]
        if gtest_filter:
            args.append("--gtest_filter=" + gtest_filter)
        subprocess.run(args, stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, cwd=cwd, timeout=300)
        out.seek(0)
        names = []
        suite = None
        for raw in out.read().decode("utf-8", "replace").splitlines():
            line = raw.rstrip("\r")
            if not line.strip():
                continue
            if not line.startswith(" "):
                suite = line.split("#")[0].strip()
            elif suite:
                names.append(suite + line.split("#")[0].strip())
        return names


def write_report(path, suite_name, cases, order, extra_failure):
    failures = sum(1 for name in order if cases[name].result == "failed") + (1 if extra_failure else 0)
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<testsuites tests="%d" failures="%d" name="%s">\n' %
                (len(order) + (1 if extra_failure else 0), failures, suite_name))
        for name in order:
            case = cases[name]
            suite, _, test = name.partition(".")
            f.write('  <testcase classname=%s name=%s time="%.3f"' %
                    (xml.sax.saxutils.quoteattr(suite), xml.sax.saxutils.quoteattr(test), case.seconds))
            if case.result == "failed":
                message = "\n".join(case.lines[-60:])
                f.write('>\n    <failure message=%s>%s</failure>\n  </testcase>\n' %
                        (xml.sax.saxutils.quoteattr(message[:2000]), xml.sax.saxutils.escape(message)))
            elif case.result == "skipped":
                f.write('>\n    <skipped/>\n  </testcase>\n')
            else:
                f.write('/>\n')
        if extra_failure:
            f.write('  <testcase classname=%s name="exit_status" time="0">\n    <failure message=%s/>\n'
                    '  </testcase>\n' % (xml.sax.saxutils.quoteattr(suite_name),
                                         xml.sax.saxutils.quoteattr(extra_failure)))
        f.write('</testsuites>\n')


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--xml", required=True)
    ap.add_argument("--name", help="the report's suite name (default: the XML file's name)")
    ap.add_argument("--deadline", type=float, default=120)
    ap.add_argument("--growth-mib", type=int, default=0, help="growth of the resident size that stops a test (0: none)")
    ap.add_argument("--filter", default="")
    ap.add_argument("--cwd")
    ap.add_argument("command", nargs="+")
    args = ap.parse_args()
    suite_name = args.name or os.path.splitext(os.path.basename(args.xml))[0]
    growth_limit = args.growth_mib << 20

    cases = {}
    order = []
    extra_failure = None
    stopped, status = run_round(args.command, args.filter, args.deadline, growth_limit, args.cwd, cases, order)
    while status is None and OUTSIDE not in stopped:
        # Start again with what has not run: the listing says what the filter holds.
        remaining = [name for name in list_tests(args.command, args.filter, args.cwd) if name not in cases]
        if not remaining:
            break
        more, status = run_round(args.command, ":".join(remaining), args.deadline, growth_limit, args.cwd, cases,
                                 order)
        stopped.update(more)
    if status and not any(cases[name].result == "failed" for name in order):
        extra_failure = "the test binary exited with status %d after its tests" % status
    if OUTSIDE in stopped:
        extra_failure = "the test binary printed nothing for %g s outside any test and was stopped" % args.deadline
    for name, why in stopped.items():
        print("%s: %s" % (why.upper(), name), flush=True)
    print("peak resident size: %d MiB" % (peak[0] >> 20), flush=True)
    if not order and not extra_failure:
        extra_failure = "the test binary ran no test"
    os.makedirs(os.path.dirname(os.path.abspath(args.xml)), exist_ok=True)
    write_report(args.xml, suite_name, cases, order, extra_failure)
    failed = [name for name in order if cases[name].result == "failed"]
    return 1 if failed or extra_failure else 0


if __name__ == "__main__":
    sys.exit(main())
