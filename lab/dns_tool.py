#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""DNS helpers of the lab, loopback only.

  dns_tool.py serve MODE ADDRESS READY_FILE ID_LOG QUERY_LOG
                                     a misbehaving server on ADDRESS port 53
  dns_tool.py probe NAME             exit 0 once 127.0.0.1:53 answers NAME

MODE is one of MODES below, or replay=HEX: the reply HEX, under the
query's ID (a campaign's reply, tools/campaign); any other word is refused.
The server answers only over UDP (so a truncated answer has no TCP to
retry over), appends the ID of every query to ID_LOG and the query to
QUERY_LOG as dnsmasq logs it ("query[A] one.test from 127.0.0.1"), and
exits by itself after a while.
"""
import socket
import struct
import sys
import time

LIFETIME = 120  # seconds; the runner stops it long before
MODES = ["drop", "servfail", "refused", "nxdomain", "short", "truncated", "lying-count", "cut-record", "a-len5",
         "loop", "type-257", "class-chaos"]
TYPES = {1: "A", 12: "PTR", 28: "AAAA"}


def question_end(query):
    """Offset just past the question's name, type and class."""
    i = 12
    while query[i] != 0:
        i += 1 + query[i]
    return i + 5


def question_text(query):
    """The question as dnsmasq's log shows it: query[A] one.test"""
    end = question_end(query)
    labels, i = [], 12
    while query[i] != 0:
        labels.append(query[i + 1:i + 1 + query[i]].decode("latin-1"))
        i += 1 + query[i]
    qtype = query[end - 4] << 8 | query[end - 3]
    return f"query[{TYPES.get(qtype, f'type={qtype}')}] {'.'.join(labels)}"


def header(query, flags, ancount):
    qid = query[:2]
    rd = query[2] & 0x01
    return qid + struct.pack(">BBHHHH", 0x80 | rd | (flags >> 8), flags & 0xFF, 1, ancount, 0, 0)


def a_record(rdata, rdlength=None, rtype=1, rclass=1):
    # Name: a pointer to the question's name at offset 12.
    return struct.pack(">HHHIH", 0xC00C, rtype, rclass, 60, len(rdata) if rdlength is None else rdlength) + rdata


def reply(mode, query):
    if mode.startswith("replay="):
        return query[:2] + bytes.fromhex(mode[len("replay="):])[2:]
    question = query[12:question_end(query)]
    if mode == "servfail":
        return header(query, 0x0082, 0) + question
    if mode == "refused":
        return header(query, 0x0085, 0) + question
    if mode == "nxdomain":
        return header(query, 0x0083, 0) + question
    if mode == "short":
        return query[:5]
    if mode == "truncated":
        return header(query, 0x0280, 0) + question
    if mode == "lying-count":
        return header(query, 0x0080, 3) + question + a_record(b"\x0a\x00\x00\x01")
    if mode == "cut-record":
        return header(query, 0x0080, 1) + question + a_record(b"\x0a\x00", rdlength=4)
    if mode == "a-len5":
        return header(query, 0x0080, 1) + question + a_record(b"\x0a\x00\x00\x01\x02")
    if mode == "type-257":
        # An address-sized record whose type's low byte is A's.
        return header(query, 0x0080, 1) + question + a_record(b"\x06\x06\x06\x06", rtype=0x0101)
    if mode == "class-chaos":
        return header(query, 0x0080, 1) + question + a_record(b"\x06\x06\x06\x06", rclass=3)
    if mode == "loop":
        # The answer's name is a pointer to itself.
        offset = 12 + len(question)
        record = struct.pack(">H", 0xC000 | offset) + struct.pack(">HHIH", 1, 1, 60, 4) + b"\x0a\x00\x00\x01"
        return header(query, 0x0080, 1) + question + record
    assert mode == "drop"
    return None


def serve(mode, address, ready_file, id_log, query_log):
    if mode not in MODES and not mode.startswith("replay="):
        sys.exit(f"dns_tool.py: unknown mode {mode}: one of {' '.join(MODES)} or replay=HEX")
    sock = socket.socket(socket.AF_INET6 if ":" in address else socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind((address, 53))
    ids = open(id_log, "a", buffering=1)
    queries = open(query_log, "a", buffering=1)
    sock.settimeout(1)
    with open(ready_file, "w") as f:
        f.write("ready\n")
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        try:
            query, peer = sock.recvfrom(4096)
        except socket.timeout:
            continue
        if len(query) < 17:
            continue
        ids.write(f"{query[0] << 8 | query[1]}\n")
        queries.write(f"{question_text(query)} from {peer[0]}\n")
        answer = reply(mode, query)
        if answer is not None:
            sock.sendto(answer, peer)


def probe(name):
    qname = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    query = struct.pack(">HHHHHH", 0x1234, 0x0100, 1, 0, 0, 0) + qname + struct.pack(">HH", 1, 1)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(0.05)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            sock.sendto(query, ("127.0.0.1", 53))
            answer = sock.recv(4096)
            if answer[:2] == b"\x12\x34" and answer[3] & 0x0F == 0 and answer[7] > 0:
                return 0
        except OSError:
            time.sleep(0.01)  # refused: nothing bound yet
    return 1


if __name__ == "__main__":
    if len(sys.argv) == 7 and sys.argv[1] == "serve":
        serve(*sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "probe":
        sys.exit(probe(sys.argv[2]))
    else:
        sys.exit(__doc__)
