#!/usr/bin/env python3
"""Sums the JUnit reports of every suite in a results folder into one closing line.

A suite that ended with a failing exit status (listed in exit-failures.txt) without a failing
test case in its report counts as one more failure, so a crash never passes silently."""
import glob
import os
import sys
import xml.etree.ElementTree as ET

results = sys.argv[1]
passed = failed = skipped = 0
failing_suites = set()
for path in sorted(glob.glob(os.path.join(results, "*.xml"))):
    try:
        tree = ET.parse(path)
    except ET.ParseError as e:
        print("unreadable report %s: %s" % (os.path.basename(path), e))
        failed += 1
        continue
    suite_name = os.path.splitext(os.path.basename(path))[0]
    for case in tree.iter("testcase"):
        name = "%s.%s" % (case.get("classname", suite_name), case.get("name"))
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
            failing_suites.add(suite_name)
            print("FAILED: %s" % name)
        elif case.find("skipped") is not None or case.get("result") == "skipped" or case.get("status") == "notrun":
            skipped += 1
            print("skipped: %s" % name)
        else:
            passed += 1

exit_failures = os.path.join(results, "exit-failures.txt")
if os.path.exists(exit_failures):
    for line in open(exit_failures):
        suite = line.split()[0]
        if suite not in failing_suites:
            print("FAILED: %s (%s)" % (suite, line.strip()))
            failed += 1

line = "%d passed, %d failed" % (passed, failed)
if skipped:
    line += ", %d skipped" % skipped
print(line)
sys.exit(1 if failed or passed == 0 else 0)
