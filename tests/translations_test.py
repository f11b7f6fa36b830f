#!/usr/bin/env python3
"""The English translation covers every text of the windows.

Runs lupdate over the sources into a copy of the .ts (the kept file is left
alone) and fails on any text without a finished English translation, on any
entry the sources no longer have, and on a translation that drops or adds a
%1-style placeholder of its source.

Usage: translations_test.py LUPDATE TS_FILE SOURCE_ROOT
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SOURCE_DIRS = ["ui", "online", "skin"]
SOURCE_FILES = ["app/main.cpp"]


def problems_of(ts_path):
    problems = []
    root = ET.parse(ts_path).getroot()
    for context in root.iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = message.findtext("source") or ""
            translation = message.find("translation")
            where = f"{name}: {source!r}"
            if translation is None:
                problems.append(f"{where} has no translation")
                continue
            kind = translation.get("type")
            if kind in ("unfinished", "vanished", "obsolete"):
                problems.append(f"{where} is {kind}")
            elif not (translation.text or "").strip():
                problems.append(f"{where} has an empty translation")
            elif sorted(re.findall(r"%\d", source)) != sorted(re.findall(r"%\d", translation.text)):
                problems.append(f"{where} -> {translation.text!r} changes the placeholders")
    return problems


def main():
    lupdate, ts_file, root = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as work:
        copy = os.path.join(work, os.path.basename(ts_file))
        shutil.copyfile(ts_file, copy)
        sources = [os.path.join(root, d) for d in SOURCE_DIRS if os.path.isdir(os.path.join(root, d))]
        sources += [os.path.join(root, f) for f in SOURCE_FILES]
        run = subprocess.run(
            [lupdate, "-locations", "none", "-source-language", "zh_CN", "-target-language", "en",
             "-extensions", "cpp,h,ui", *sources, "-ts", copy],
            capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr)
            print("FAIL: lupdate failed")
            return 1
        problems = problems_of(copy)
    for problem in problems:
        print(problem)
    if problems:
        print(f"FAIL: {len(problems)} texts need work in {ts_file}: run "
              "`cmake --build build --target update_translations` and translate them")
        return 1
    print("PASS: every text has its English translation")
    return 0


if __name__ == "__main__":
    sys.exit(main())
