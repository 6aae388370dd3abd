#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs hostq against the hostile name server, run after run, and checks
what each run printed against the replies that run was sent. Inside the
lab's world only (tools/campaign enters it).

  campaign.py --seed S --first K --runs N --jobs J --allowed SECONDS
              --runner CMD --out DIR [--known "FAULT..."] BINARY

Prints per kind of fault a count and, for each fault, the seed, the run
and the replies (hex); exits 1 when there is a fault. --known names the
faults the binary's C library is known to have (tables/releases): an
address that one of them explains is counted apart, by its name, and is
no fault of the run.
"""
import argparse
import os
import random
import re
import shlex
import subprocess
import sys
import time

LAB = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lab")
sys.path.insert(0, LAB)
import hostile_dns  # noqa: E402

HANG = 20  # seconds: a run still going then is killed and counted as hung
QUAD = re.compile(r"(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\.(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])){3}")
KINDS = ["signal", "status", "stderr", "format", "foreign-address", "printed-without-answer", "slow", "hang"]


def is_reverse(seed, run):
    return random.Random(f"{seed}/{run}/query").random() < 0.3


def start_server(seed, out):
    ready = os.path.join(out, "server.ready")
    log = os.path.join(out, "replies.log")
    for path in (ready, log):
        if os.path.exists(path):
            os.remove(path)
    server = subprocess.Popen([os.path.join(LAB, "hostile_dns.py"), "serve",
                               str(seed), "127.0.0.1", ready, log])
    for _ in range(500):
        if os.path.exists(ready):
            return server, log
        if server.poll() is not None:
            break
        time.sleep(0.01)
    sys.exit("campaign: the hostile name server did not start")


def run_all(args, runs):
    """Every run's (status, stdout, stderr, seconds, hung), at most
    args.jobs at a time."""
    runner = shlex.split(args.runner)
    results, running, pending = {}, {}, list(runs)
    while pending or running:
        while pending and len(running) < args.jobs:
            run = pending.pop(0)
            query = hostile_dns.query_for(run, is_reverse(args.seed, run))
            proc = subprocess.Popen(["env", "-i", *runner, args.binary, query], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            running[run] = (proc, time.monotonic())
        time.sleep(0.002)
        for run, (proc, start) in list(running.items()):
            hung = time.monotonic() - start > HANG
            if hung:
                proc.kill()
            if proc.poll() is None:
                continue
            out, err = proc.communicate()
            results[run] = (proc.returncode, out, err, time.monotonic() - start, hung)
            del running[run]
    return results


def read_replies(log):
    replies = {}
    with open(log) as f:
        for line in f:
            run, rank, transport, names, data = line.rstrip("\n").split("\t")
            replies.setdefault(int(run), []).append((transport, names, bytes.fromhex(data)))
    return replies


def addresses_in(data):
    """Every 4 bytes of the record sections, where a resolver takes an
    address from, however it walks them: what follows the question, or as
    many questions as the header counts. Never the header, nor a question
    the header counts. A name is skipped byte by byte up to its end or a
    pointer, as musl does: no resolver's walk ends a question earlier."""
    def after_questions(count):
        i = 12
        for _ in range(min(count, 64)):
            while i < len(data) and 0 < data[i] < 0x80:
                i += 1
            i += (1 if i >= len(data) or data[i] == 0 else 2) + 4
        return i

    counted = data[4] << 8 | data[5] if len(data) >= 12 else 1
    start = min(after_questions(1), after_questions(counted))
    return {data[i:i + 4] for i in range(start, len(data) - 3)}


def records(data, whole=None):
    """(type, class, length, data) of each record after the questions, its
    data cut where the reply ends; the walk stops at the first record
    whose fixed part the reply does not hold. With WHOLE, a list, appends
    whether the walk took every counted record and ended with the reply."""
    if len(data) < 12:
        return []
    i, found = 12, []
    counts = [data[4] << 8 | data[5], (data[6] << 8 | data[7]) + (data[8] << 8 | data[9]) + (data[10] << 8 | data[11])]
    for n, fixed in zip(counts, (4, 10)):
        for _ in range(min(n, 64)):
            while i < len(data) and 0 < data[i] < 0x40:
                i += data[i] + 1
            i += 1 if i >= len(data) or data[i] == 0 else 2
            if i + fixed > len(data):
                return found
            if fixed == 10:
                rtype, rclass = data[i] << 8 | data[i + 1], data[i + 2] << 8 | data[i + 3]
                length = data[i + 8] << 8 | data[i + 9]
                found.append((rtype, rclass, length, data[i + 10:i + 10 + length]))
                i += length
            i += fixed
    if whole is not None:
        whole.append(max(counts) <= 64 and i == len(data))
    return found


def short_a_record(data):
    """A C library that copies 4 bytes from an A record of another length:
    the record's bytes, then whatever followed."""
    return [held[:4] for rtype, _, length, held in records(data) if rtype == 1 and length != 4 and held]


def record_past_the_reply(data):
    """One that takes a record whose data runs past the end of the reply:
    the bytes the reply holds, then whatever followed."""
    return [held[:4] for _, _, length, held in records(data) if len(held) < length and held]


def low_byte_a(data):
    """One that reads a record's type from its low byte and never its
    class: a record of type 257, or an A record of another class."""
    return [held for rtype, rclass, _, held in records(data) if rtype & 0xFF == 1 and (rtype, rclass) != (1, 1)]


def a_of_any_class(data):
    """One that takes an A record whatever its class."""
    return [held for rtype, rclass, _, held in records(data) if rtype == 1 and rclass != 1]


# The faults of tables/releases that a reply can show, by what each
# prints: the bytes an address then begins with.
KNOWN = {"resolv-address-length": short_a_record, "dns-parse-stay-inside-the-reply": record_past_the_reply,
         "dns-record-type-and-class": low_byte_a, "resolv-class-in": a_of_any_class}


def not_an_a_record(address, replies):
    """ADDRESS is the data of a record that is not an A record of class IN
    (its whole type, its class), in a reply whose records walk to its
    end, and of no A record of class IN in any reply: one that no A
    record carried."""
    taken = False
    for _, _, data in replies:
        whole = []
        found = records(data, whole)
        if any(held[:4] == address for t, c, _, held in found if (t, c) == (1, 1)):
            return False
        taken |= whole == [True] and any(held == address for t, c, _, held in found if (t, c) != (1, 1))
    return taken


def explained(address, known, replies):
    """The known fault that explains ADDRESS, or None."""
    for fault in known:
        for _, _, data in replies:
            if any(address.startswith(start) for start in KNOWN[fault](data)):
                return fault
    return None


def answered(data):
    """The reply says it has answers and no error."""
    return len(data) >= 12 and data[3] & 0x0F == 0 and (data[6] << 8 | data[7]) > 0


def faults_of(args, run, result, replies):
    status, out, err, seconds, hung = result
    faults = []
    if hung:
        return ["hang"]
    if status < 0:
        faults.append("signal")
    elif status != 0:
        faults.append("status")
    if err:
        faults.append("stderr")
    text = out.decode("latin-1")
    lines = text.split("\n")
    if text and (lines[-1] != "" or not all(QUAD.fullmatch(line) for line in lines[:-1])):
        faults.append("format")
    elif text:
        carried = set().union(*(addresses_in(data) for _, _, data in replies))
        if is_reverse(args.seed, run):
            carried.add(hostile_dns.reverse_address(run))
        for line in lines[:-1]:
            address = bytes(int(b) for b in line.split("."))
            if address in carried and not not_an_a_record(address, replies):
                continue
            fault = explained(address, args.known, replies)
            if fault is None:
                faults.append("foreign-address")
                break
            faults.append("known:" + fault)
        if not any(answered(data) for _, _, data in replies):
            faults.append("printed-without-answer")
    if seconds > args.allowed:
        faults.append("slow")
    return faults


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--jobs", type=int, default=8)
    parser.add_argument("--allowed", type=float, required=True)
    parser.add_argument("--runner", default="")
    parser.add_argument("--out", required=True)
    parser.add_argument("--known", default="")
    parser.add_argument("binary")
    args = parser.parse_args()
    args.known = [fault for fault in args.known.split() if fault in KNOWN]
    os.makedirs(args.out, exist_ok=True)

    server, log = start_server(args.seed, args.out)
    started = time.monotonic()
    try:
        results = run_all(args, range(args.first, args.first + args.runs))
    finally:
        server.terminate()
        server.wait()
    took = time.monotonic() - started
    replies = read_replies(log)

    counts = {kind: 0 for kind in KINDS}
    known = {fault: 0 for fault in args.known}
    reports = []
    for run in sorted(results):
        faults = faults_of(args, run, results[run], replies.get(run, []))
        for kind in faults:
            if kind.startswith("known:"):
                known[kind[6:]] += 1
            else:
                counts[kind] += 1
        faults = [kind for kind in faults if not kind.startswith("known:")]
        if faults:
            status, out, err, seconds, _ = results[run]
            reports.append(f"fault {','.join(faults)}: seed {args.seed} run {run} "
                           f"query {hostile_dns.query_for(run, is_reverse(args.seed, run))} "
                           f"status {status} {seconds:.2f} s stdout {out!r} stderr {err[:200]!r}")
            for transport, names, data in replies.get(run, []):
                reports.append(f"  reply {transport} [{names}] {data.hex()}")
    sent = sum(len(v) for v in replies.values())
    slowest = max((r[3] for r in results.values()), default=0)
    printed = sum(1 for r in results.values() if r[1])
    print(f"runs {len(results)} replies {sent} printed {printed} slowest {slowest:.2f} s took {took:.0f} s")
    print("faults " + " ".join(f"{kind} {n}" for kind, n in counts.items()))
    if known:
        print("known faults of the C library " + " ".join(f"{fault} {n}" for fault, n in known.items()))
    print("\n".join(reports))
    with open(os.path.join(args.out, "summary.tsv"), "w") as f:
        f.write("runs\treplies\tprinted\tslowest_s\ttook_s\t" + "\t".join(KINDS) + "\n")
        f.write(f"{len(results)}\t{sent}\t{printed}\t{slowest:.2f}\t{took:.0f}\t"
                + "\t".join(str(counts[k]) for k in KINDS) + "\n")
    if not results or not sent:
        print(f"campaign: tested nothing: {len(results)} runs, {sent} replies")
        return 1
    return 1 if reports else 0


if __name__ == "__main__":
    sys.exit(main())
