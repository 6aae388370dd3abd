#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A hostile name server for the lab: every query gets a mutation of a
well-formed answer to that very query. Loopback only.

A run's number is in its query: rRUN.mut.test for a forward lookup, the
address 10.RUN for a reverse one (RUN as three bytes). What a run is
answered follows from the seed, the run and the query's rank within the
run alone, so a run replays from its two numbers.

  hostile_dns.py serve SEED ADDRESS READY_FILE REPLY_LOG
  hostile_dns.py show SEED RUN [reverse]   the replies a run could get

REPLY_LOG gets a line a reply: run, rank, transport, mutations, hex.
"""
import random
import select
import socket
import struct
import sys
import time

LIFETIME = 24 * 3600  # seconds; whoever started it stops it long before
A, NS, CNAME, PTR = 1, 2, 5, 12
ZONE = "mut.test"


def encode_name(name):
    if not name:
        return b"\0"
    return b"".join(bytes([len(label)]) + label.encode() for label in name.split(".")) + b"\0"


def read_question(query):
    """(name, end) of the query's question, or None."""
    labels, i = [], 12
    while i < len(query) and query[i] != 0:
        n = query[i]
        if n > 63 or i + 1 + n > len(query):
            return None
        labels.append(query[i + 1:i + 1 + n].decode("ascii", "replace"))
        i += 1 + n
    if i + 5 > len(query):
        return None
    return ".".join(labels).lower(), i + 5


def run_of(name):
    """The run a query belongs to and whether it is a reverse lookup."""
    parts = name.split(".")
    if len(parts) == 3 and ".".join(parts[1:]) == ZONE and parts[0][:1] == "r" and parts[0][1:].isdigit():
        return int(parts[0][1:]), False
    if len(parts) == 6 and parts[3:] == ["100", "in-addr", "arpa"] and all(p.isdigit() for p in parts[:3]):
        c, b, a = (int(p) for p in parts[:3])
        if max(a, b, c) < 256:
            return a << 16 | b << 8 | c, True
    return None, None


def reverse_address(run):
    return bytes([100, run >> 16 & 255, run >> 8 & 255, run & 255])


def query_for(run, reverse):
    """What a campaign run asks: a name, or a dotted quad."""
    return ".".join(str(b) for b in reverse_address(run)) if reverse else f"r{run}.{ZONE}"


class Reply:
    """A reply as parts: header fields, question bytes, records per section."""

    def __init__(self, query, qend):
        self.id = struct.unpack(">H", query[:2])[0]
        self.flags = 0x8000 | 0x0400 | (query[2] & 0x01) << 8 | 0x0080  # QR AA RD RA
        self.question = query[12:qend]
        self.sections = [[], [], []]  # answer, authority, additional
        self.counts = None  # set to lie about the counts

    def add(self, section, name, rtype, rdata, ttl=60):
        self.sections[section].append([name, rtype, 1, ttl, rdata, None])  # None: true length

    def bytes(self):
        counts = self.counts or [1] + [len(s) for s in self.sections]
        out = struct.pack(">HHHHHH", self.id & 0xFFFF, self.flags & 0xFFFF, *(c & 0xFFFF for c in counts))
        out += self.question
        for section in self.sections:
            for name, rtype, rclass, ttl, rdata, length in section:
                rdlength = len(rdata) if length is None else length
                out += name + struct.pack(">HHIH", rtype, rclass, ttl, rdlength & 0xFFFF) + rdata
        return out


QNAME = b"\xc0\x0c"  # a pointer to the question's name


def well_formed(rng, query, qname, qend, reverse, transport):
    """A correct answer to the query, of the shape the run drew, and
    whether it goes out with the truncation bit (over UDP only)."""
    reply = Reply(query, qend)
    if reverse:
        for i in range(rng.randint(1, 3)):
            reply.add(0, QNAME, PTR, encode_name(f"host{i}.{ZONE}"))
        return reply, False
    shape = rng.choice(["a", "a", "cname", "tcp"])
    owner = QNAME
    if shape == "cname":
        for i in range(rng.randint(1, 3)):
            target = encode_name(f"c{i}.{qname}")
            reply.add(0, owner, CNAME, target)
            owner = target
    count = rng.choice([1, 1, 2, 3, rng.randint(4, 60)])
    for _ in range(count):
        reply.add(0, owner, A, bytes(rng.randrange(256) for _ in range(4)))
    if shape == "tcp" and transport == "udp":
        reply.sections = [reply.sections[0][:rng.randint(0, 1)], [], []]
        reply.flags |= 0x0200
        return reply, True
    return reply, False


def records(reply):
    return [r for s in reply.sections for r in s]


# Each mutation changes a reply in parts (structure) or as bytes (raw).
def m_counts(rng, r, _):
    r.counts = [1] + [len(s) for s in r.sections]
    r.counts[rng.randrange(4)] = rng.choice([0, 1, 2, rng.randint(3, 70), 0xFFFF])


def m_flags(rng, r, _):
    r.flags ^= 1 << rng.randrange(16)


def m_rcode(rng, r, _):
    r.flags = r.flags & ~0xF | rng.randint(1, 15)


def m_id(rng, r, _):
    r.id ^= 1 << rng.randrange(16)


def m_rdlength(rng, r, _):
    rec = rng.choice(records(r) or [None])
    if rec:
        rec[5] = max(0, len(rec[4]) + rng.choice([-4, -3, -2, -1, 1, 2, 4, 8, 300]))


def m_pointer(rng, r, size):
    rec = rng.choice(records(r) or [None])
    if not rec:
        return
    where = rng.choice(["forward", "backward", "self", "past"])
    target = {"forward": rng.randint(12, 0x3FFF), "backward": rng.randint(0, 11),
              "self": 12 + len(r.question), "past": size + rng.randint(0, 64)}[where]
    if rng.random() < 0.5:
        rec[0] = struct.pack(">H", 0xC000 | target & 0x3FFF)
    else:
        rec[4] = struct.pack(">H", 0xC000 | target & 0x3FFF)


def m_duplicate(rng, r, _):
    section = rng.choice([s for s in r.sections if s] or [r.sections[0]])
    if section:
        section.insert(rng.randrange(len(section) + 1), list(rng.choice(section)))


def m_drop(rng, r, _):
    section = rng.choice([s for s in r.sections if s] or [r.sections[0]])
    if section:
        del section[rng.randrange(len(section))]


def m_reorder(rng, r, _):
    rng.shuffle(r.sections[0])


def m_move(rng, r, _):
    """Answers in the authority or additional section, answer count 0."""
    moved, r.sections[0] = r.sections[0], []
    r.sections[rng.choice([1, 2])] += moved


def m_long_name(rng, r, _):
    labels = rng.choice([[b"a" * 63] * 4 + [b"b" * rng.randint(1, 60)],  # 255+ bytes
                         [b"x" * rng.randint(64, 191)]])  # one label of 64+
    name = b"".join(bytes([len(label) & 0xFF]) + label for label in labels) + b"\0"
    rec = rng.choice(records(r) or [None])
    if rec and rng.random() < 0.5:
        rec[0] = name
    elif rec:
        rec[4] = name
        rec[1] = rng.choice([CNAME, PTR, A])


def m_type(rng, r, _):
    rec = rng.choice(records(r) or [None])
    if rec:
        rec[rng.choice([1, 2])] = rng.choice([A, NS, CNAME, PTR, 28, 0, 255, 0xFFFF])


def m_type_high(rng, r, _):
    """A high byte in a record's type (257 ends in A's byte) or class
    (IN's low byte), or another class: CH, HS, NONE, ANY."""
    rec = rng.choice(records(r) or [None])
    if not rec:
        return
    field = rng.choice([1, 2, 2])
    if field == 2 and rng.random() < 0.5:
        rec[2] = rng.choice([3, 4, 254, 255])
    else:
        rec[field] = rng.randint(1, 255) << 8 | rec[field] & 0xFF


STRUCTURE = [m_counts, m_flags, m_rcode, m_id, m_rdlength, m_pointer, m_duplicate, m_drop,
             m_reorder, m_move, m_long_name, m_type, m_type_high]


def b_bitflip(rng, data):
    if data:
        i = rng.randrange(len(data))
        data[i] ^= 1 << rng.randrange(8)


def b_byte(rng, data):
    if data:
        data[rng.randrange(len(data))] = rng.choice([0, 0xFF, 0xC0, 0x3F, 0x40, rng.randrange(256)])


def b_truncate(rng, data):
    del data[rng.randrange(len(data) + 1):]


def b_extend(rng, data):
    data += bytes(rng.randrange(256) for _ in range(rng.randint(1, 64)))


BYTES = [b_bitflip, b_byte, b_truncate, b_extend]


def answer(seed, run, rank, query, transport):
    """(reply bytes, names of the mutations), or None for a query that is
    not a run's."""
    question = read_question(query)
    if question is None:
        return None
    qname, qend = question
    run_number, reverse = run_of(qname)
    if run_number is None:
        return None
    shape_rng = random.Random(f"{seed}/{run_number}")
    rng = random.Random(f"{seed}/{run_number}/{rank}/{transport}")
    reply, truncated = well_formed(shape_rng, query, qname, qend, reverse, transport)
    names = ["truncated"] if truncated else []
    if rng.random() < 0.1:  # now and then the plain answer, as a control
        return reply.bytes(), names + ["none"]
    for mutation in rng.sample(STRUCTURE, rng.choice([0, 1, 1, 2])):
        mutation(rng, reply, len(reply.bytes()))
        names.append(mutation.__name__[2:])
    data = bytearray(reply.bytes())
    for mutation in rng.sample(BYTES, rng.choice([0, 1, 1, 2]) if names else rng.randint(1, 2)):
        mutation(rng, data)
        names.append(mutation.__name__[2:])
    return bytes(data), names


def serve(seed, address, ready_file, reply_log):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    udp = socket.socket(family, socket.SOCK_DGRAM)
    udp.bind((address, 53))
    tcp = socket.socket(family, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind((address, 53))
    tcp.listen(64)
    log = open(reply_log, "a", buffering=1)
    ranks = {}
    streams = {}  # connection: bytes received so far
    with open(ready_file, "w") as f:
        f.write("ready\n")

    def respond(query, transport):
        question = read_question(query) if len(query) >= 12 else None
        run_number = run_of(question[0])[0] if question else None
        if run_number is None:
            return None
        rank = ranks.get(run_number, 0)
        ranks[run_number] = rank + 1
        data, names = answer(seed, run_number, rank, query, transport)
        log.write(f"{run_number}\t{rank}\t{transport}\t{','.join(names)}\t{data.hex()}\n")
        return data

    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        readable, _, _ = select.select([udp, tcp, *streams], [], [], 1)
        for sock in readable:
            if sock is udp:
                query, peer = udp.recvfrom(4096)
                data = respond(query, "udp")
                if data is not None:
                    udp.sendto(data, peer)
            elif sock is tcp:
                conn, _ = tcp.accept()
                streams[conn] = b""
            else:
                # One query a connection, closed once answered: a server
                # that holds it open is a different attack (glibc waits on
                # such a connection without a time limit).
                chunk = sock.recv(4096)
                buf = streams[sock] + chunk
                if len(buf) >= 2 and len(buf) >= 2 + (buf[0] << 8 | buf[1]):
                    data = respond(buf[2:2 + (buf[0] << 8 | buf[1])], "tcp")
                    if data is not None:
                        try:
                            sock.sendall(struct.pack(">H", len(data)) + data)
                        except OSError:
                            pass
                    chunk = b""
                streams[sock] = buf
                if not chunk:
                    del streams[sock]
                    sock.close()


def show(seed, run, reverse):
    """The replies a run's first three queries would get over UDP and
    over TCP, were their ID 0x1234."""
    name = query_for(run, reverse)
    if reverse:
        name = ".".join(reversed(name.split("."))) + ".in-addr.arpa"
    query = struct.pack(">HHHHHH", 0x1234, 0x0100, 1, 0, 0, 0) + encode_name(name)
    query += struct.pack(">HH", PTR if reverse else A, 1)
    for rank in range(3):
        for transport in ("udp", "tcp"):
            data, names = answer(seed, run, rank, query, transport)
            print(f"{run}\t{rank}\t{transport}\t{','.join(names)}\t{data.hex()}")


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "serve":
        serve(int(sys.argv[2]), *sys.argv[3:])
    elif len(sys.argv) in (4, 5) and sys.argv[1] == "show":
        show(int(sys.argv[2]), int(sys.argv[3]), len(sys.argv) == 5)
    else:
        sys.exit(__doc__)
