#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""A stand-in for hostq on a C library that reads a record's type from
its low byte and never its class: asks 127.0.0.1 for the A records of
NAME, prints every answer record of 4 bytes whose type ends in A's byte.
The campaign must count what it prints from a record of type 257, or an
A record of another class, as an address that no A record carried."""
import socket
import struct
import sys


def main(name):
    if name.replace(".", "").isdigit():
        return
    question = b"".join(bytes([len(x)]) + x.encode() for x in name.split(".")) + b"\0\0\1\0\1"
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.settimeout(2)
    sock.sendto(struct.pack(">HHHHHH", 0x1234, 0x0100, 1, 0, 0, 0) + question, ("127.0.0.1", 53))
    try:
        reply = sock.recv(4096)
    except OSError:
        return
    i, count = 12 + len(question), reply[6] << 8 | reply[7] if len(reply) >= 12 else 0
    for _ in range(count):
        while i < len(reply) and 0 < reply[i] < 0x40:
            i += reply[i] + 1
        i += 1 if i >= len(reply) or reply[i] == 0 else 2
        if i + 10 > len(reply):
            return
        length = reply[i + 8] << 8 | reply[i + 9]
        if reply[i + 1] == 1 and length == 4 and i + 14 <= len(reply):
            print(".".join(str(b) for b in reply[i + 10:i + 14]))
        i += 10 + length


if __name__ == "__main__":
    main(sys.argv[1])
