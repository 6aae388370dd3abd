#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end table: the real binary against real DNS servers, in private
# user, network, mount and PID namespaces of the test's own, on loopback.
#
#   tests/e2e/run.sh [--flavour FLAVOUR] [--runner "CMD ..."] [--only "PATTERN..."] BINARY
#
# --flavour: the C library the binary uses and its release, where
#            resolvers differ: one of those in row.sh's flavours.
# --runner:  a command prefix for the binary (qemu-mipsel ..., valgrind ...).
# --only:    run the rows whose whole name matches one of the PATTERNs
#            (extended regular expressions, separated by spaces); each
#            must select a row, or the run fails.
#
# Exits 77 (skipped) where the lab's world cannot be made.
set -u
here=$(cd "$(dirname "$0")" && pwd)
lab=$here/../../lab
# shellcheck source=tests/e2e/row.sh
. "$here/row.sh"
usage="usage: run.sh [--flavour $(IFS='|' && echo "${flavours[*]}")] [--runner CMD] [--only PATTERNS] BINARY"
flavour=glibc runner='' only=''
while [ $# -gt 1 ]; do
	case $1 in
	--flavour) flavour=$2 ;;
	--runner) runner=$2 ;;
	--only) only=$2 ;;
	*) break ;;
	esac
	shift 2
done
[ $# -eq 1 ] || {
	echo "$usage" >&2
	exit 2
}
# Another word would silently drop every per-flavour expectation.
[[ " ${flavours[*]} " == *" $flavour "* ]] || {
	echo "run.sh: unknown flavour '$flavour' ($usage)" >&2
	exit 2
}
bin=$(realpath "$1")
table=$here/cases.sh
[ -f "$table" ] || {
	echo "run.sh: no table ($table)" >&2
	exit 1
}

# shellcheck source=lab/world.sh
. "$lab/world.sh"
world_needs=(dnsmasq nsd)
enter_world "$0" --flavour "$flavour" --runner "$runner" --only "$only" "$bin"

# shellcheck source=lab/servers.sh
. "$lab/servers.sh"
trap stop_server EXIT

read -r -a prefix <<<"$runner"
read -r -a patterns <<<"$only"

# Runs a row here, in the world's namespaces (row.sh).
row_run() {
	if [ $((${#sent[@]} + ${#not_sent[@]})) -gt 0 ] && ! logs_queries "$srv"; then
		fail "$name: --sent and --not-sent cannot be checked on $srv: it logs no queries"
		return 1
	fi
	use_server "$srv" || {
		fail "$name: server $srv did not start"
		return 1
	}
	if [ "$resolv" = dangling ]; then
		dangle_resolv_conf
	elif [ -n "$resolv" ] && ! write_resolv_conf "$(printf '%b' "$resolv")"; then
		fail "$name: resolv.conf names a server outside loopback"
		return 1
	fi
	[ -z "$hosts" ] || printf '%b' "$hosts" >/etc/hosts
	local wrap=()
	[ -z "$fails" ] || wrap=("$lab/syscall_fails.py" "$fails")
	local run=("${wrap[@]}" "${prefix[@]}" "$bin")
	dns_log_mark
	local start=${EPOCHREALTIME/./}
	case $sink in
	'') if [ -n "$runs" ]; then
		: >"$world/ids.log"
		: >"$world/out"
		: >"$world/err"
		local k
		status=0
		for ((k = 1; k <= runs; k++)); do
			echo run >>"$world/ids.log"
			env -i "${run[@]}" "$1$k" "${@:2}" >>"$world/out" 2>>"$world/err" || status=$?
		done
		(exit $status)
	else
		env -i "${run[@]}" "$@" >"$world/out" 2>"$world/err"
	fi ;;
	closed) env -i "${run[@]}" "$@" >&- 2>"$world/err" ;;
	full) env -i "${run[@]}" "$@" >/dev/full 2>"$world/err" ;;
	pipe)
		# The reader is gone before the first write; SIGPIPE at its
		# default whatever this shell inherited.
		rm -f "$world/fifo" && mkfifo "$world/fifo"
		(
			# shellcheck disable=SC2094 # one fifo, opened both ways on purpose
			exec 3<>"$world/fifo" 4>"$world/fifo" 3<&-
			exec env -i --default-signal=PIPE "${run[@]}" "$@" >&4 2>"$world/err"
		)
		;;
	esac
	status=$?
	elapsed_ms=$(((${EPOCHREALTIME/./} - start) / 1000))
	[ -z "$resolv" ] || write_resolv_conf "$world_resolv_conf"
	[ -z "$hosts" ] || write_hosts

	log=$(dns_log_since_mark)
}

# shellcheck source=tests/e2e/cases.sh
. "$table"
stop_server
finish
