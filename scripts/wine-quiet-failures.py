#!/usr/bin/env python3
"""Reads ctest's JUnit report of a run under Wine and sorts its failed tests.

A Wine start very rarely ends at once with no output at all; such a test may run once more.
Any other failure (an assertion, a crash with its exception status, a time-out) is final.
Prints the names of the quiet failures, one a line, for a second run; exit status 1 when any
failure is final (they are named on stderr), 0 otherwise.
"""
import sys
import xml.etree.ElementTree as ET


def main() -> int:
    if len(sys.argv) != 2:
        print("usage: wine-quiet-failures.py JUNIT.xml", file=sys.stderr)
        return 2
    final = []
    for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
        if case.get("status") not in ("fail", "failed") and case.find("failure") is None:
            continue
        output = "".join((e.text or "") for e in case.iter("system-out"))
        name = case.get("name", "")
        if output.strip():
            final.append(name)
        else:
            print(name)
    for name in final:
        print(f"failed with output (not run again): {name}", file=sys.stderr)
    return 1 if final else 0


if __name__ == "__main__":
    sys.exit(main())
