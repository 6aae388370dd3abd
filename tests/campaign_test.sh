#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The campaign's checks catch what they are for: each stand-in for hostq
# below breaks one rule, and the campaign must count that kind of fault
# in every run (and fail). The stand-ins ask no name server, but one,
# which asks and then prints the first 4 bytes of its question: the reply
# carries them, but in no place an address comes from.
#
#   tests/campaign_test.sh
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
# name, the kinds its runs must all show, the stand-in's body
while IFS='|' read -r name kinds body; do
	printf '#!/bin/sh\n%s\n' "$body" >"$work/$name"
	chmod +x "$work/$name"
	report=$("$top/tools/campaign" --runs 3 --runner '' --out "$work/out-$name" "$work/$name")
	status=$?
	if [ "$status" -eq 77 ]; then
		echo "$report" # the world cannot be made here: skipped, and why
		exit 77
	fi
	bad=''
	[ "$status" -ne 0 ] || bad='passed'
	for kind in $kinds; do
		grep -q "^faults.* $kind 3\( \|$\)" <<<"$report" || bad+=" no $kind"
	done
	if [ -z "$bad" ]; then
		passed=$((passed + 1))
	else
		echo "FAIL: $name:$bad"
		failed=$((failed + 1))
	fi
done <<'CASES'
status|status|exit 1
signal|signal|kill -SEGV $$
stderr|stderr|echo oops >&2
format|format|printf '10.0.0.1'
address-from-nowhere|foreign-address printed-without-answer|echo 203.0.113.7
address-from-the-question|foreign-address|exec /usr/bin/python3 -c 'import socket, sys; a = sys.argv[1]; r = a.replace(".", "").isdigit(); n = ".".join(a.split(".")[::-1]) + ".in-addr.arpa" if r else a; q = bytes.fromhex("123401000001000000000000") + b"".join(bytes([len(x)]) + x.encode() for x in n.split(".")) + (b"\0\0\x0c" if r else b"\0\0\1") + b"\0\1"; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2); s.sendto(q, ("127.0.0.1", 53)); s.recv(4096); print(".".join(str(b) for b in q[12:16]))' "$1"
slow|slow|sleep 4
CASES
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
