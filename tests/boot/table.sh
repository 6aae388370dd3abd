#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The end-to-end table (tests/e2e/cases.sh) for a booted guest: laid out
# as files that lab/guest/guest.sh runs there, and judged on the host
# from what the guest printed, by the table's own rules (tests/e2e/row.sh).
#
#   table.sh emit FLAVOUR DIR       writes DIR/rows/FLAVOUR/NNNN.row (with
#                                   .hosts and .resolv where a row has its
#                                   own) and DIR/dns/, the DNS servers'
#                                   files; prints each row left out, and why
#   table.sh judge FLAVOUR RESULTS STAGE
#                                   judges RESULTS/STAGE/NNNN (the folders
#                                   lab/guest/results.py writes) for the
#                                   rows of STAGE: boot, table, or any other
#                                   word for the query ID rows
#   table.sh count FLAVOUR          prints how many rows a guest runs
#
# A guest has BusyBox, dnsmasq and lab/guest/nxdomain_responder (the
# lab's "fault:nxdomain"): the rows that need any other server or a lab
# helper are left out, each named in tests/boot/left-out. Rows with a
# dangling resolv.conf are boot rows: the guest runs them from an init
# script, before the resolver file exists.
set -u
mode=${1:?} flavour=${2:?}
top=$(cd "$(dirname "$0")/../.." && pwd)
here=$top/tests/e2e
# shellcheck source=tests/e2e/row.sh
. "$here/row.sh"
[[ " ${flavours[*]} " == *" $flavour "* ]] || {
	echo "table.sh: unknown flavour '$flavour'" >&2
	exit 2
}
# shellcheck source=lab/world.sh
. "$top/lab/world.sh"
# shellcheck source=lab/servers.sh
. "$top/lab/servers.sh"
# row.sh's: no --only here.
# shellcheck disable=SC2034
patterns=() passed=0 failed=0 row_n=0
# shellcheck disable=SC2034
declare -A selected=()
world=$(mktemp -d)
trap 'rm -rf "$world"' EXIT

# The rows left out, by name: why.
declare -A left=() seen=()
while read -r row why; do
	[ -z "$row" ] || [ "${row:0:1}" = "#" ] || left[$row]=$why
done <"$top/tests/boot/left-out"
[ ${#left[@]} -gt 0 ] || {
	echo "table.sh: tests/boot/left-out names no row" >&2
	exit 1
}
# wrong WHAT: the table and the list of rows left out part ways.
wrong() {
	echo "table.sh: $*" >&2
	failed=$((failed + 1))
}

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
	row_n=$((row_n + 1))
	local reason lacks file
	reason=${left[$name]:-}
	seen[$name]=1
	lacks=$(cannot_run)
	if [ -n "$reason" ]; then
		[ -n "$lacks" ] || wrong "$name: a guest can run it, yet tests/boot/left-out names it"
		echo "left out: $name: $reason"
		return 1
	fi
	if [ -n "$lacks" ]; then
		wrong "$name: a guest cannot run it (${lacks%%$'\n'*}), and tests/boot/left-out does not name it"
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

judge_run() {
	row_n=$((row_n + 1))
	[ -z "${left[$name]:-}" ] || return 1
	case $stage in
	boot) [ "$resolv" = dangling ] || return 1 ;;
	table) [ "$resolv" != dangling ] || return 1 ;;
	*) [ -n "$runs" ] || return 1 ;;
	esac
	local dir
	dir=$results/$stage/$(printf %04d "$row_n")
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

case $mode in
emit)
	out=${3:?}
	mkdir -p "$out/rows/$flavour" "$out/dns"
	declare -A addresses=([127.0.0.1]=1)
	row_run() { emit_run "$@"; }
	;;
judge)
	results=${3:?} stage=${4:?}
	row_run() { judge_run "$@"; }
	;;
count)
	runs_n=0
	row_run() {
		[ -n "${left[$name]:-}" ] || runs_n=$((runs_n + 1))
		return 1
	}
	;;
*)
	echo "table.sh: unknown mode '$mode'" >&2
	exit 2
	;;
esac
# shellcheck source=tests/e2e/cases.sh
. "$here/cases.sh"

if [ "$mode" = count ]; then
	echo "$runs_n"
	exit 0
fi
if [ "$mode" = emit ]; then
	for row in "${!left[@]}"; do
		[ -n "${seen[$row]:-}" ] || wrong "tests/boot/left-out names $row, which is no row of the table"
	done
	[ "$failed" -eq 0 ] || exit 1
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
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
