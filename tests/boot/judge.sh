#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What a booted guest printed, judged on the host, from RESULTS: its
# console as lab/guest/results.py decodes it. BINARIES is the guest's
# file of binaries (LABEL PATH FLAVOUR lines).
#
#   tests/boot/judge.sh seeded GUEST RESULTS BINARIES
#       each binary ran every row a guest runs (tests/boot/table.sh
#       count), at boot and once up, and each passed; the kernel's pages
#       are of the size tables/guests gives GUEST
#   tests/boot/judge.sh unseeded GUEST RESULTS BINARIES LABEL
#       the binary LABEL ran the query ID rows before the kernel's
#       entropy pool was ready and once it was: the pool was not ready
#       when the first run began. How long the runs took is said.
#
# Prints a line a failure and the counts; fails when a check failed or
# none ran.
set -u
usage="usage: tests/boot/judge.sh seeded|unseeded GUEST RESULTS BINARIES [LABEL]"
mode=${1:?$usage} guest=${2:?$usage} results=${3:?$usage} binaries=${4:?$usage}
top=$(cd "$(dirname "$0")/../.." && pwd)
table=$top/tests/boot/table.sh
# shellcheck source=tests/counts.sh
. "$top/tests/counts.sh"
grep -q . "$binaries" 2>/dev/null || {
	echo "FAIL: $guest: no binary in $binaries"
	exit 1
}
facts=$results/facts
[ -f "$facts" ] || {
	echo "FAIL: $guest: no facts: the console was not decoded into $results"
	exit 1
}

# stages LABEL FLAVOUR STAGE...: the rows of each STAGE for a binary; sets
# ran to the rows judged.
stages() {
	local label=$1 flavour=$2 stage out counts p f
	shift 2
	ran=0
	for stage in "$@"; do
		out=$("$table" judge "$flavour" "$results/$label" "$stage")
		check "$guest: $label: $stage rows" test $? -eq 0
		grep -v '^ok ' <<<"$out" | grep -v '^[0-9]* passed, [0-9]* failed$' | sed "s|^|$guest: $label: $stage: |"
		counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$out" | tail -n 1)
		[ -z "$counts" ] || {
			read -r p _ f _ <<<"$counts"
			ran=$((ran + p + f))
		}
	done
}

case $mode in
seeded)
	while read -r label _ flavour; do
		stages "$label" "$flavour" boot table
		want=$("$table" count "$flavour")
		check "$guest: $label: ran $ran rows, not the $want a guest runs" test "$ran" -eq "$want"
	done <"$binaries"
	kib=$("$top/tools/table" guests "$guest" page_kib) || exit 1
	check "$guest: the kernel's pages are not of $kib KiB ($(grep '^page-size' "$facts"))" \
		grep -qx "page-size $kib kB" "$facts"
	;;
unseeded)
	label=${5:?$usage}
	flavour=$(awk -v l="$label" '$1 == l { print $3 }' "$binaries")
	[ -n "$flavour" ] || {
		echo "FAIL: $guest: no binary $label in $binaries"
		exit 1
	}
	stages "$label" "$flavour" unready ready
	crng=$(sed -n 's/^crng //p' "$facts")
	from=$(sed -n 's/^unready-from //p' "$facts")
	echo "$guest: $label: pool ready at ${crng:-never} s$(grep -q '^seeded-by-reading-urandom' "$facts" &&
		echo ', seeded by a read of /dev/urandom at 40 s'); the first run began at $((from / 100)).$((from % 100)) s"
	check "$guest: $label: the pool was ready before the first run began: nothing was tested" \
		awk -v c="$crng" -v f="$from" 'BEGIN { exit !(c != "" && f != "" && c * 100 > f) }'
	for row in "$results/$label/unready"/*/; do
		[ -d "$row" ] || continue
		a=$(cat "$row/elapsed") b=$(cat "${row/unready/ready}/elapsed" 2>/dev/null || echo 0)
		echo "$guest: $label: $a ms before the pool was ready, $b ms after"
	done
	;;
*)
	echo "$usage" >&2
	exit 2
	;;
esac
finish
