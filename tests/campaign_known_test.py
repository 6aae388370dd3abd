#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The campaign counts an address apart only where a fault the C library
is known to have explains it: the replies of the end-to-end table's
campaign replays, and the addresses that a device's C library printed
for them."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "lab"))
import campaign  # noqa: E402

HEAD = "a1f985800001000100000000057231323730036d757404746573740000010001c00c000100010000003c"
# An A record of 2 bytes ending the reply (campaign seed 1, run 1270).
SHORT = HEAD + "0002c7b2"
# An A record of 5 bytes.
LONG = HEAD + "0005c7b2010203"
# The second of two A records cut 2 bytes short (seed 1, run 252).
CUT = ("9fe0850000010003ffff00000472323532036d757404746573740000010001c00c000100010000003c0004c75abf74"
       "c00c000100010000003c0004b185")
BOTH = "resolv-address-length dns-parse-stay-inside-the-reply".split()
# reply, address printed, known faults, the fault that explains it
CASES = [
    (SHORT, "199.178.0.0", BOTH, "resolv-address-length"),
    (SHORT, "199.178.9.9", ["resolv-address-length"], "resolv-address-length"),
    (SHORT, "199.178.0.0", ["dns-parse-stay-inside-the-reply"], None),
    (SHORT, "199.178.0.0", [], None),
    (SHORT, "199.179.0.0", BOTH, None),
    (LONG, "199.178.1.2", BOTH, "resolv-address-length"),
    (LONG, "199.178.1.3", BOTH, None),
    (CUT, "177.133.1.128", BOTH, "dns-parse-stay-inside-the-reply"),
    (CUT, "177.133.1.128", ["resolv-address-length"], None),
    (CUT, "199.90.191.117", BOTH, None),
    (CUT, "10.0.0.1", BOTH, None),
]


def main():
    failed = 0
    for reply, address, known, want in CASES:
        got = campaign.explained(bytes(int(b) for b in address.split(".")), known,
                                 [("udp", "", bytes.fromhex(reply))])
        if got != want:
            print(f"FAIL: {address} after {reply[-16:]} knowing {known}: {got}, not {want}")
            failed += 1
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed or not CASES else 0


if __name__ == "__main__":
    sys.exit(main())
