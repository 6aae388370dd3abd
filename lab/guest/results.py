#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""results.py CONSOLE DIR: the results a guest printed on its console
(lab/guest/guest.sh) as files: DIR/LABEL/STAGE/NNNN/{status,elapsed,out,
err,log,ids}, and DIR/facts with its "@f" lines. Exits 1, naming the
record, when a record is cut short or its bytes do not add up: a garbled
console must not pass for a result."""
import os
import sys

PARTS = {"@o": "out", "@e": "err", "@l": "log", "@i": "ids"}


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(console, out):
    os.makedirs(out, exist_ok=True)
    facts, problems, record, ended = [], [], None, False

    def close():
        head, sizes, parts = record
        for part, size in zip(PARTS.values(), sizes):
            if len(parts[part]) != size:
                problems.append(f"{' '.join(head)}: {part} has {len(parts[part])} bytes, not {size}")
        write(os.path.join(record_dir(head), "status"), head[4].encode())
        write(os.path.join(record_dir(head), "elapsed"), head[5].encode())
        for part, data in parts.items():
            write(os.path.join(record_dir(head), part), bytes(data))

    def record_dir(head):
        path = os.path.join(out, head[1], head[2], head[3])
        os.makedirs(path, exist_ok=True)
        return path

    for raw in open(console, "rb").read().split(b"\n"):
        line = raw.decode("latin-1").rstrip("\r")
        word = line.split(" ", 1)[0]
        if word == "@f":
            facts.append(line[3:])
        elif word == "@end":
            ended = True
        elif word == "@r":
            if record:
                problems.append(f"{' '.join(record[0])}: no end")
            head = line.split()
            if len(head) == 5 and head[4] == "server-failed":
                write(os.path.join(record_dir(head + ["0"]), "status"), b"server-failed")
                continue
            if len(head) != 10:
                problems.append(f"a record's head is garbled: {line[:80]}")
                continue
            record = (head, [int(n) for n in head[6:]], {p: bytearray() for p in PARTS.values()})
        elif word in PARTS and record:
            try:
                record[2][PARTS[word]] += bytes.fromhex(line[3:])
            except ValueError:
                problems.append(f"{' '.join(record[0][:4])}: garbled line {line[:80]}")
        elif word == "@z" and record:
            close()
            record = None
    if record:
        problems.append(f"{' '.join(record[0])}: cut short")
    if not ended:
        problems.append("the guest never said it had finished")
    write(os.path.join(out, "facts"), "".join(f + "\n" for f in facts).encode())
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
