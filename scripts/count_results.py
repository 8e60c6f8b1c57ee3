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
    for name, passed in re.findall(r'^\d+/\d+ Test: (\S+)\n.*?^Test (Passed|Failed)', text, re.M | re.S):
        if name not in reported:
            cases += 1
            failures += passed != "Passed"
print(cases, failures)
