#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The end-to-end table (tests/e2e/cases.sh) in a booted guest: laid out
# as files that lab/guest/guest.sh runs there, and what the guest printed
# judged on the host, row by row, by the table's own rules
# (tests/e2e/row.sh), from RESULTS: its console as lab/guest/results.py
# decodes it. BINARIES is the guest's file of binaries (LABEL PATH
# FLAVOUR lines).
#
#   table.sh emit FLAVOUR DIR   writes DIR/rows/FLAVOUR/NNNN.row (with
#                               .hosts and .resolv where a row has its
#                               own) and DIR/dns/, the DNS servers' files;
#                               prints each row left out, and why
#   table.sh count FLAVOUR      prints how many rows a guest runs, and
#                               how many the table has
#   table.sh seeded GUEST RESULTS BINARIES
#       each binary ran every row a guest runs, at boot (the rows with a
#       dangling resolv.conf, from an init script, before the resolver
#       file exists) and once up, and each passed; the kernel's pages are
#       of the size tables/guests gives GUEST
#   table.sh unseeded GUEST RESULTS BINARIES LABEL
#       the binary LABEL ran the query ID rows before the kernel's
#       entropy pool was ready and once it was. By the pool probe around
#       every run: the pool was not ready when the first run began;
#       nothing but a run of the binary readied it; every run after the
#       wait found it ready. How many runs ended before it was ready is
#       said, and which run readied it. The kernel's own "crng init
#       done" must agree: after the last run when none readied the pool,
#       before the runs were over when one did.
#
# A guest has BusyBox, dnsmasq and lab/guest/nxdomain_responder (the
# lab's "fault:nxdomain"): the rows that need any other server or a lab
# helper are left out, by what they ask for (cannot_run). How many a
# guest runs is a count of tables/tests. The judges print a line a
# failure and the counts, and fail when a check failed or none ran.
set -u
usage="usage: tests/boot/table.sh emit FLAVOUR DIR | count FLAVOUR | seeded|unseeded GUEST RESULTS BINARIES [LABEL]"
mode=${1:?$usage}
top=$(cd "$(dirname "$0")/../.." && pwd)
here=$top/tests/e2e
# shellcheck source=tests/e2e/row.sh
. "$here/row.sh"
world=$(mktemp -d)
trap 'rm -rf "$world"' EXIT

# cannot_run: what the guests lack for the row whose locals are in
# scope; nothing when they can run it.
cannot_run() {
	case $srv in
	none | dnsmasq | dnsmasq@127.* | dnsmasq@::1) ;;
	fault:nxdomain)
		[ $((${#sent[@]} + ${#not_sent[@]})) -eq 0 ] || echo "the guest's $srv responder logs no queries"
		;;
	*) echo "server $srv is the lab's (a guest has dnsmasq and an NXDOMAIN responder)" ;;
	esac
	case $fails in
	'') ;;
	getrandom-*) echo "--fails getrandom-* is the lab's stand-in for a boot (the unseeded boot is the real one)" ;;
	*) echo "--fails $fails is the lab's stand-in for a kernel that lacks it" ;;
	esac
	[ "$sink" != pipe ] || echo "--stdout pipe needs env --default-signal, which BusyBox's env lacks"
}

# Quotes each argument for sh, whatever its bytes.
sh_quote() {
	local arg
	for arg in "$@"; do
		printf " '%s'" "${arg//\'/\'\\\'\'}"
	done
}

emit_run() {
	local lacks file
	lacks=$(cannot_run)
	if [ -n "$lacks" ]; then
		echo "left out: $name: ${lacks%%$'\n'*}"
		return 1
	fi
	file=$out/rows/$flavour/$(printf %04d "$row_n")
	{
		echo "# $name"
		echo "srv='$srv' sink='$sink' runs='$runs'"
		[ "$resolv" != dangling ] || echo "stage=boot resolv=dangling"
		[ -z "$resolv" ] || [ "$resolv" = dangling ] || echo "resolv=file"
		[ -z "$hosts" ] || echo "hosts=file"
		echo "set --$(sh_quote "$@")"
	} >"$file.row"
	[ -z "$resolv" ] || [ "$resolv" = dangling ] || printf '%b' "$resolv" >"$file.resolv"
	[ -z "$hosts" ] || printf '%b' "$hosts" >"$file.hosts"
	case $srv in dnsmasq@*) addresses["${srv#dnsmasq@}"]=1 ;; esac
	return 1
}

# judge_run: the row's result from the guest, for the row_judge, when
# it is a row of the stage.
judge_run() {
	[ -z "$(cannot_run)" ] || return 1
	case $stage in
	boot) [ "$resolv" = dangling ] || return 1 ;;
	table) [ "$resolv" != dangling ] || return 1 ;;
	*) [ -n "$runs" ] || return 1 ;;
	esac
	local dir
	dir=$results/$label/$stage/$(printf %04d "$row_n")
	[ -f "$dir/status" ] || {
		fail "$name: no result from the guest"
		return 1
	}
	status=$(cat "$dir/status")
	[ "$status" != server-failed ] || {
		fail "$name: server $srv did not start in the guest"
		return 1
	}
	elapsed_ms=$(cat "$dir/elapsed")
	log=$(cat "$dir/log")
	cp "$dir/out" "$world/out"
	cp "$dir/err" "$world/err"
	cp "$dir/ids" "$world/ids.log"
}

# table PASS: every row of the table through PASS (emit, count, or a
# stage to judge), numbered as the guest numbers them.
row_run() {
	row_n=$((row_n + 1))
	case $pass in
	emit) emit_run "$@" ;;
	count)
		[ -n "$(cannot_run)" ] || runs_n=$((runs_n + 1))
		return 1
		;;
	*) stage=$pass judge_run ;;
	esac
}
table() {
	pass=$1 row_n=0 runs_n=0
	# shellcheck source=tests/e2e/cases.sh
	. "$here/cases.sh"
}

# stages LABEL FLAVOUR STAGE...: the rows of each STAGE judged, for the
# binary LABEL; its failures said, with the guest, the binary and the
# stage; ran: how many rows were judged.
stages() {
	label=$1 flavour=$2
	local stage before=$((passed + failed))
	shift 2
	for stage in "$@"; do
		table "$stage" >"$world/judged"
		grep -v '^ok ' "$world/judged" | sed "s|^|$guest: $label: $stage: |"
	done
	ran=$((passed + failed - before))
}

known_flavour() {
	[[ " ${flavours[*]} " == *" $1 "* ]] || {
		echo "table.sh: unknown flavour '$1'" >&2
		exit 2
	}
}
case $mode in
emit)
	flavour=${2:?$usage} out=${3:?$usage}
	known_flavour "$flavour"
	# shellcheck source=lab/world.sh
	. "$top/lab/world.sh"
	# shellcheck source=lab/servers.sh
	. "$top/lab/servers.sh"
	mkdir -p "$out/rows/$flavour" "$out/dns"
	declare -A addresses=([127.0.0.1]=1)
	table emit
	# The servers' files, as the guest finds them.
	guest=/usr/share/hostq-boot
	dns_hosts >"$out/dns/dns-hosts"
	cp "$world/extra-hosts" "$out/dns/extra-hosts"
	for address in "${!addresses[@]}"; do
		echo "$(where_address "$address") where.test" >"$out/dns/where-$address"
		dnsmasq_conf "$address" "$out/dns" /tmp/e2e | sed "s|$out/|$guest/|" >"$out/dns/dnsmasq-$address.conf"
	done
	# The one the init scripts start keeps its pid where they look.
	sed -i 's|^pid-file=.*|pid-file=/var/run/dnsmasq.pid|' "$out/dns/dnsmasq-127.0.0.1.conf"
	world_hosts >"$out/hosts"
	printf '%s' "$world_resolv_conf" >"$out/resolv.conf"
	exit 0
	;;
count)
	flavour=${2:?$usage}
	known_flavour "$flavour"
	table count
	echo "$runs_n $row_n"
	exit 0
	;;
seeded | unseeded)
	guest=${2:?$usage} results=${3:?$usage} binaries=${4:?$usage}
	grep -q . "$binaries" 2>/dev/null || die "$guest: no binary in $binaries"
	facts=$results/facts
	[ -f "$facts" ] || die "$guest: no facts: the console was not decoded into $results"
	;;
*)
	echo "$usage" >&2
	exit 2
	;;
esac

case $mode in
seeded)
	while read -r label _ flavour; do
		known_flavour "$flavour"
		stages "$label" "$flavour" boot table
		table count
		check "$guest: $label: ran $ran rows, not the $runs_n a guest runs" test "$ran" -eq "$runs_n"
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
esac
finish
