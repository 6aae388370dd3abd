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
# One record of 4 bytes, 6.6.6.6, of type TTTT and class CCCC.
ONE = "a1f985800001000100000000057231323730036d757404746573740000010001c00cTTTTCCCC0000003c000406060606"
TYPE_257 = ONE.replace("TTTT", "0101").replace("CCCC", "0001")
CHAOS = ONE.replace("TTTT", "0001").replace("CCCC", "0003")
A_IN = ONE.replace("TTTT", "0001").replace("CCCC", "0001")
TYPES = "dns-record-type-and-class resolv-class-in".split()
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
    (TYPE_257, "6.6.6.6", TYPES, "dns-record-type-and-class"),
    (TYPE_257, "6.6.6.6", ["resolv-class-in"], None),
    (CHAOS, "6.6.6.6", ["resolv-class-in"], "resolv-class-in"),
    (CHAOS, "6.6.6.6", ["dns-record-type-and-class"], "dns-record-type-and-class"),
    (CHAOS, "6.6.6.6", BOTH, None),
]
# the replies of a run, address printed, whether no A record of class IN
# carried it (an A record in any reply of the run carries it)
FOREIGN = [
    ([TYPE_257], "6.6.6.6", True),
    ([CHAOS], "6.6.6.6", True),
    ([A_IN], "6.6.6.6", False),
    ([TYPE_257[:12] + "0002" + TYPE_257[16:] + A_IN[len(HEAD) - 20:]], "6.6.6.6", False),
    ([TYPE_257[:-2]], "6.6.6.6", False),
    ([TYPE_257 + "00"], "6.6.6.6", False),
    ([TYPE_257, A_IN], "6.6.6.6", False),
    ([A_IN, CHAOS], "6.6.6.6", False),
    ([TYPE_257, CHAOS], "6.6.6.6", True),
]


def main():
    failed = 0
    for reply, address, known, want in CASES:
        got = campaign.explained(bytes(int(b) for b in address.split(".")), known,
                                 [("udp", "", bytes.fromhex(reply))])
        if got != want:
            print(f"FAIL: {address} after {reply[-16:]} knowing {known}: {got}, not {want}")
            failed += 1
    for replies, address, want in FOREIGN:
        got = campaign.not_an_a_record(bytes(int(b) for b in address.split(".")),
                                       [("udp", "", bytes.fromhex(reply)) for reply in replies])
        if got != want:
            print(f"FAIL: {address} after {[r[-24:] for r in replies]}: no A record of class IN: {got}, not {want}")
            failed += 1
    ran = len(CASES) + len(FOREIGN)
    print(f"{ran - failed} passed, {failed} failed")
    return 1 if failed or not CASES or not FOREIGN else 0


if __name__ == "__main__":
    sys.exit(main())
