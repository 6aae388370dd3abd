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
#       entropy pool was ready and once it was. By the pool probe around
#       every run: the pool was not ready when the first run began;
#       nothing but a run of the binary readied it; every run after the
#       wait found it ready. How many runs ended before it was ready is
#       said, and which run readied it. The kernel's own "crng init
#       done" must agree: after the last run when none readied the pool,
#       before the runs were over when one did.
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
	until=$(sed -n 's/^unready-until //p' "$facts")
	echo "$guest: $label: the kernel said the pool was ready at ${crng:-never} s$(grep -q '^seeded-by-reading-urandom' "$facts" &&
		echo ', seeded by a read of /dev/urandom at 40 s'); the runs before it ended at $(printf '%d.%02d' $((until / 100)) $((until % 100))) s"
	# The probe's word on each run, in the order they ran: every run
	# the guest recorded, and nothing else.
	for stage in unready ready; do
		for row in "$results/$label/$stage"/*/; do
			[ -f "$row/ids" ] || continue
			n=$(basename "$row")
			runs=$(grep -c '^run$' "$row/ids")
			probed=$(grep -c "^pool $label $stage $n " "$facts")
			check "$guest: $label: $stage $n: $runs runs, $probed probed" test "$runs" -eq "$probed" -a "$runs" -gt 0
		done
	done
	verdict=$(awk -v l="$label" '$1 == "pool" && $2 == l { print $3, $4, $5, $6, $7 }' "$facts" | awk '
		{ run = "row " $2 " run " $3 }
		$4 == "failed" || $5 == "failed" { print "FAIL: the pool probe failed at " run; bad = 1 }
		$1 == "ready" && ($4 != "ready" || $5 != "ready") { print "FAIL: " run " after the wait: the pool was not ready"; bad = 1 }
		$1 != "unready" { next }
		++n == 1 && $4 != "unready" { print "FAIL: the pool was ready before the first run began: nothing was tested"; bad = 1 }
		n > 1 && $4 != last { print "FAIL: the pool came ready before " run ", not in a run of the binary"; bad = 1 }
		$4 == "ready" && $5 != "ready" { print "FAIL: the pool was ready before " run ", and not after it"; bad = 1 }
		$4 == "unready" && $5 == "unready" { ended++ }
		$4 == "unready" && $5 == "ready" { by = run }
		{ last = $5 }
		END {
			if (!n) { print "FAIL: no run was probed before the pool was ready"; exit 1 }
			printf "%d of %d runs ended with the pool not ready; %s\n", ended, n,
				by ? "the binary readied it in " by : "it was not ready when the last ended"
			exit bad || !by && ended != n
		}')
	status=$?
	grep '^FAIL: ' <<<"$verdict" | sed "s/^FAIL: /FAIL: $guest: $label: /"
	grep -v '^FAIL: ' <<<"$verdict" | sed "s/^/$guest: $label: /"
	check "$guest: $label: what the pool probe said" test "$status" -eq 0
	# The kernel's own line agrees: after the runs when none readied the
	# pool, before they were over when one did.
	if grep -q ' it was not ready when the last ended$' <<<"$verdict"; then
		check "$guest: $label: the kernel said the pool was ready at ${crng:-never} s, before the last run ended" \
			awk -v c="$crng" -v u="$until" 'BEGIN { exit !(c != "" && u != "" && c * 100 > u) }'
	else
		check "$guest: $label: the kernel said the pool was ready at ${crng:-never} s, after the runs that readied it" \
			awk -v c="$crng" -v u="$until" 'BEGIN { exit !(c != "" && u != "" && c * 100 <= u) }'
	fi
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
