#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""results_test.py: lab/guest/results.py against consoles that a booted
guest could leave: a clean one, kernel lines between a record's lines, and
the ways a console fails (cut short, garbled, a count that does not add
up, no end). A console that fails must never give a result."""
import os
import subprocess
import sys
import tempfile

RESULTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../lab/guest/results.py")
RECORD = ["@r bin table 0007 0 30 9 0 4 0", "@o 31302e302e", "@o 302e310a", "@l 71756572", "@z"]
END = ["@f kernel 6.1", "@end"]

# name, console lines, problem expected (None: the record comes through)
CASES = [
    ("clean", RECORD + END, None),
    ("crlf and a kernel line inside", [r + "\r" for r in RECORD[:2]] + ["[ 4.7] random: crng init done"]
     + RECORD[2:] + END, None),
    ("cut short", RECORD[:3] + END, "cut short"),
    ("byte count off", ["@r bin table 0007 0 30 8 0 4 0"] + RECORD[1:] + END, "out has 9 bytes, not 8"),
    ("garbled hex", RECORD[:2] + ["@o 302e3x0a"] + RECORD[3:] + END, "garbled line"),
    ("garbled head", ["@r bin table 0007 0"] + RECORD[1:] + END, "head is garbled"),
    ("no end", RECORD, "never said it had finished"),
]


def main():
    failed = 0
    for name, lines, problem in CASES:
        with tempfile.TemporaryDirectory() as work:
            console = os.path.join(work, "console")
            with open(console, "w") as f:
                f.write("\n".join(lines) + "\n")
            run = subprocess.run([RESULTS, console, os.path.join(work, "out")], capture_output=True, text=True)
            out = os.path.join(work, "out", "bin", "table", "0007", "out")
            if problem is None:
                ok = run.returncode == 0 and open(out).read() == "10.0.0.1\n"
            else:
                ok = run.returncode == 1 and problem in run.stdout
            if not ok:
                failed += 1
                print(f"FAIL: {name}: status {run.returncode}, said {run.stdout.strip()!r}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
