#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The campaign's checks catch what they are for: each stand-in for hostq
# below breaks one rule, and the campaign must count that kind of fault
# in every run (and fail). The stand-ins ask no name server.
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
slow|slow|sleep 4
CASES
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
