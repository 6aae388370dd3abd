#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""query_ids.py [--counted] ID_LOG: exit 0 when the query IDs of the runs
in ID_LOG, one a line, runs separated by lines "run", could not have been
guessed; with --counted, when they are a counter that every run restarts
(a fault some C libraries have)."""
import sys


def judge(id_log, counted):
    """Random 16-bit IDs pass all three tests with a probability above
    1 - 1e-5; a counter, whether it restarts in every run or not, fails
    them all."""
    runs = [[int(i) for i in run.split()] for run in open(id_log).read().split("run\n")[1:]]
    firsts = [run[0] for run in runs if run]
    steps = [(b - a) & 0xFFFF for a, b in zip(firsts, firsts[1:])]
    follow = [(b - a) & 0xFFFF for run in runs for a, b in zip(run, run[1:])]
    problems = []
    if len(firsts) < len(runs) or len(runs) < 8:
        print(f"{len(runs)} runs, {len(firsts)} with a query")
        return 1
    if len(set(firsts)) < len(firsts) - 1:
        problems.append("first IDs repeat across runs")
    if sum(1 for d in steps if d < 16 or d > 0xFFFF - 16) > 2:
        problems.append("first IDs of successive runs lie close together")
    if sum(1 for d in follow if d == 1) > 1:
        problems.append("queries within a run count up by one")
    print(f"first IDs: {' '.join(map(str, firsts))}")
    if counted:
        if len(problems) == 3:
            return 0
        print("not a counter restarted in every run")
        return 1
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    COUNTED = sys.argv[1:2] == ["--counted"]
    sys.exit(judge(sys.argv[-1], COUNTED))
