#!/usr/bin/env python3
"""Prints '<cases> <failures>' for one build tree.

GoogleTest suites leave XML reports in test-results/; CTest tests without a
report (fuzz targets, scripted end-to-end runs) count as one case each, taken
from CTest's own log of the last run.
"""
import glob
import os
import re
import sys
import xml.etree.ElementTree as ET

build = sys.argv[1]
cases = failures = 0
reported = set()
for path in glob.glob(os.path.join(build, "test-results", "*.xml")):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError:
        continue
    reported.add(os.path.splitext(os.path.basename(path))[0])
    cases += int(root.get("tests", 0)) - int(root.get("disabled", 0))
    failures += int(root.get("failures", 0)) + int(root.get("errors", 0))

log = os.path.join(build, "Testing", "Temporary", "LastTest.log")
if os.path.exists(log):
    text = open(log, encoding="utf-8", errors="replace").read()
    # One block per test, each opened by its "<i>/<n> Test: <name>" line; a
    # test judged by a regular expression reports a "Pass Reason" instead of
    # "Test Passed.".
    blocks = re.split(r'^\d+/\d+ Test: ', text, flags=re.M)[1:]
    for block in blocks:
        name = block.split("\n", 1)[0].strip()
        if name in reported:
            continue
        cases += 1
        if not re.search(r'^Test (Passed|Pass Reason)', block, re.M):
            failures += 1
print(cases, failures)
