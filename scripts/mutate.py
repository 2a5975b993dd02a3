#!/usr/bin/env python3
"""Puts plausible faults into the code one at a time and tells which tests catch them.

  scripts/mutate.py [--list] [NAME ...]

The faults are in tests/faults.txt: for each, the file, pieces of its text that must stand there
exactly once, what replaces each, and the suites that cover it. For each fault named (all without
a name) the script puts it into the tree, builds what the suites need, runs them (each test under
its deadline, tests/run_gtest.py), and prints one line:

  caught  NAME  (SECONDS s; failed: TEST, ...[; grew past the bound: TEST, ...])
  missed  NAME  (SECONDS s)
  hung    NAME  (SECONDS s; past the deadline: TEST, ...)

with the peak resident size of the test processes and how much the build volume grew meanwhile.
A test that grows past its bound (256 MiB over its size at its start) is stopped and fails: the
fault is caught, by the bound.
It restores the file after each fault, also when interrupted or when the build fails ("broken":
the fault no longer builds or no longer applies, and the list needs mending; or its suites ran no
test at all, so it proves nothing). Run it after make
check has built the trees once; it exits 1 when a fault was missed or hung.

Suites: "native FILTER" (the native tests, AddressSanitizer tree), "win FILTER" (the Windows tests
under Wine against the local servers, tests/run-win-tests.sh) and "e2e SCENARIO" (the acceptance
suite, tests/run-e2e.sh). A FILTER is a GoogleTest filter.
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import xml.etree.ElementTree as ET

TOP = os.path.realpath(os.path.join(os.path.dirname(__file__), ".."))
FAULTS = os.path.join(TOP, "tests", "faults.txt")
WORK = os.path.join(TOP, "build", "mutate")
DEADLINE = 120  # seconds a test may take before it counts as hung


class Fault:
    def __init__(self, name):
        self.name = name
        self.file = None
        self.why = ""
        self.suites = []
        self.edits = []  # [find, replace] pairs


def read_faults(path):
    """Sections "## NAME", then "file:", "why:" and "suite:" lines, then one or more pairs of
    "--- find" and "--- replace" blocks whose lines are taken as they stand."""
    faults = []
    fault = None
    block = None
    for line in open(path, encoding="utf-8").read().split("\n"):
        if line.startswith("## "):
            fault = Fault(line[3:].strip())
            faults.append(fault)
            block = None
        elif fault is None or (block is None and (not line.strip() or line.startswith("#"))):
            continue
        elif line in ("--- find", "--- replace"):
            block = line[4:]
            if block == "find":
                fault.edits.append(["", ""])
        elif block:
            fault.edits[-1][block == "replace"] += line + "\n"
        else:
            key, _, value = line.partition(":")
            if key == "file":
                fault.file = value.strip()
            elif key == "why":
                fault.why = value.strip()
            elif key == "suite":
                kind, _, argument = value.strip().partition(" ")
                fault.suites.append((kind, argument.strip()))
            else:
                raise SystemExit("%s: unknown line in fault %s: %r" % (path, fault.name, line))
    for fault in faults:
        # A block ends before the blank lines that close it.
        fault.edits = [[text.rstrip("\n") + "\n" for text in edit] for edit in fault.edits]
        if not fault.file or not fault.suites or not fault.edits or not all(find.strip() for find, _ in fault.edits):
            raise SystemExit("%s: fault %s needs file, suite and find" % (path, fault.name))
    return faults


def shell(command, log, timeout=None, env=None):
    with open(log, "a") as out:
        out.write("\n$ %s\n" % " ".join(command))
        out.flush()
        try:
            return subprocess.run(command, cwd=TOP, stdout=out, stderr=subprocess.STDOUT, timeout=timeout,
                                  env=env).returncode
        except subprocess.TimeoutExpired:
            return None


def wine_settings():
    script = 'source scripts/wine-arch.sh >/dev/null && printf "%s %s" "$VARDENHAL_WINE_ARCH" "$VARDENHAL_WINE_TREE"'
    arch, tree = subprocess.run(["bash", "-c", script], cwd=TOP, capture_output=True, text=True,
                                check=True).stdout.split()
    return arch, tree


class Watch:
    """Samples how much the build volume grows while the suites run."""

    def __init__(self):
        self.start = shutil.disk_usage(TOP).used
        self.most = 0
        self.done = False
        self.thread = threading.Thread(target=self.sample, daemon=True)
        self.thread.start()

    def sample(self):
        while not self.done:
            self.most = max(self.most, shutil.disk_usage(TOP).used - self.start)
            time.sleep(0.5)

    def stop(self):
        self.done = True
        self.thread.join()
        return self.most


def tests_run(results):
    count = 0
    for path in glob.glob(os.path.join(results, "*.xml")):
        try:
            count += sum(1 for _ in ET.parse(path).iter("testcase"))
        except ET.ParseError:
            pass
    return count


def failed_tests(results):
    failed = []
    for path in glob.glob(os.path.join(results, "*.xml")):
        try:
            tree = ET.parse(path)
        except ET.ParseError:
            failed.append(os.path.basename(path) + " (unreadable)")
            continue
        for case in tree.iter("testcase"):
            if case.find("failure") is not None or case.find("error") is not None:
                failed.append("%s.%s" % (case.get("classname"), case.get("name")))
    return failed


def run_fault(fault, arch, tree, log):
    """Returns (verdict, seconds, details)."""
    path = os.path.join(TOP, fault.file)
    original = open(path, encoding="utf-8").read()
    changed = original
    for find, replace in fault.edits:
        if changed.count(find) != 1:
            return "broken", 0, "a text of it stands %d times in %s" % (changed.count(find), fault.file)
        changed = changed.replace(find, replace)
    kinds = {kind for kind, _ in fault.suites}
    results = os.path.join(WORK, "results", fault.name)
    shutil.rmtree(results, ignore_errors=True)
    os.makedirs(results)
    in_wine_world = ["scripts/wow64.sh", "run"] if arch == "wow64" else []
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(changed)
        builds = []
        if "native" in kinds:
            builds.append(["cmake", "--build", "build/native", "--target", "native_tests"])
        if kinds & {"win", "e2e"}:
            builds.append(["cmake", "--build", "build/" + tree])
        for build in builds:
            if shell(build, log) != 0:
                return "broken", 0, "it does not build (see %s)" % os.path.relpath(log, TOP)
        began = time.monotonic()
        watch = Watch()
        outputs = []
        for kind, argument in fault.suites:
            output = os.path.join(results, "%s.log" % kind)
            outputs.append(output)
            env = dict(os.environ, VARDENHAL_TEST_DEADLINE=str(DEADLINE))
            if kind == "native":
                command = ["python3", "tests/run_gtest.py", "--xml", os.path.join(results, "native.xml"),
                           "--deadline", str(DEADLINE), "--growth-mib", "256", "--filter", argument, "--",
                           "build/native/native_tests"]
            elif kind == "win":
                command = in_wine_world + ["tests/run-win-tests.sh", results, argument]
            elif kind == "e2e":
                command = in_wine_world + ["tests/run-e2e.sh", results] + argument.split()
            else:
                return "broken", 0, "unknown suite %r" % kind
            status = shell(command, output, timeout=30 * 60, env=env)
            if status is None:
                with open(output, "a") as f:
                    f.write("HUNG: the whole %s suite, after 30 minutes\n" % kind)
        seconds = time.monotonic() - began
        growth = watch.stop()
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
    text = "".join(open(output, errors="replace").read() for output in outputs if os.path.exists(output))
    hung = re.findall(r"^HUNG: (.+)$", text, re.M)
    large = re.findall(r"^TOO LARGE: (.+)$", text, re.M)
    peaks = [int(value) for value in re.findall(r"^peak resident size: (\d+) MiB$", text, re.M)]
    sizes = "peak resident %d MiB, disk +%d MiB" % (max(peaks or [0]), growth >> 20)
    if hung:
        return "hung", seconds, "past the deadline: %s; %s" % (", ".join(hung), sizes)
    failed = sorted(set(failed_tests(results)))
    if failed or large:
        grown = "; grew past the bound: %s" % ", ".join(large) if large else ""
        return "caught", seconds, "failed: %s%s; %s" % (", ".join(failed) or "-", grown, sizes)
    # A suite that could not start (its server, Wine) proves nothing either way.
    if tests_run(results) == 0:
        return "broken", seconds, "no test ran (see %s)" % os.path.relpath(results, TOP)
    return "missed", seconds, sizes


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--list", action="store_true", help="print the faults and their suites, and run none")
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()
    faults = read_faults(FAULTS)
    if args.list:
        for fault in faults:
            print("%-36s %-40s %s" % (fault.name, fault.file, "; ".join(" ".join(s).strip() for s in fault.suites)))
        return 0
    unknown = set(args.names) - {fault.name for fault in faults}
    if unknown:
        print("mutate: no such fault: %s" % ", ".join(sorted(unknown)), file=sys.stderr)
        return 2
    chosen = [fault for fault in faults if not args.names or fault.name in args.names]
    arch, tree = wine_settings()
    os.makedirs(WORK, exist_ok=True)
    log = os.path.join(WORK, "build.log")
    open(log, "w").close()
    verdicts = []
    try:
        for fault in chosen:
            verdict, seconds, details = run_fault(fault, arch, tree, log)
            verdicts.append(verdict)
            print("%-7s %s  (%.0f s; %s)" % (verdict, fault.name, seconds, details), flush=True)
    finally:
        # The trees are left built from the sources as they stand again.
        kinds = {kind for fault in chosen for kind, _ in fault.suites}
        if "native" in kinds:
            shell(["cmake", "--build", "build/native", "--target", "native_tests"], log)
        if kinds & {"win", "e2e"}:
            shell(["cmake", "--build", "build/" + tree], log)
    print("%d faults: %d caught, %d missed, %d hung, %d broken" %
          (len(verdicts), verdicts.count("caught"), verdicts.count("missed"), verdicts.count("hung"),
           verdicts.count("broken")))
    return 0 if all(verdict == "caught" for verdict in verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
