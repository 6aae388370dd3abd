#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# End-to-end table: the real binary against real DNS servers, in private
# user, network, mount and PID namespaces of the test's own, on loopback.
#
#   tests/e2e/run.sh [--flavour FLAVOUR] [--runner "CMD ..."] [--only "PATTERN..."] BINARY
#
# --flavour: the C library the binary uses and its release, where
#            resolvers differ: one of those in flavours=(...) below.
# --runner:  a command prefix for the binary (qemu-mipsel ..., valgrind ...).
# --only:    run the rows whose whole name matches one of the PATTERNs
#            (extended regular expressions, separated by spaces); each
#            must select a row, or the run fails.
#
# Exits 77 (skipped) where the lab's world cannot be made.
set -u
here=$(cd "$(dirname "$0")" && pwd)
lab=$here/../../lab
flavours=(glibc uclibc-1.0.35 uclibc-1.0.57 musl-1.2.3 musl-1.2.5)
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

# shellcheck source=lab/world.sh
. "$lab/world.sh"
world_needs=(dnsmasq nsd)
enter_world "$0" --flavour "$flavour" --runner "$runner" --only "$only" "$bin"

# shellcheck source=lab/servers.sh
. "$lab/servers.sh"
trap stop_server EXIT

passed=0 failed=0
read -r -a prefix <<<"$runner"
read -r -a patterns <<<"$only"
declare -A selected=()

# selects NAME: true when --only is not given or one of its patterns
# matches the whole NAME.
selects() {
	local pattern hit=1
	[ ${#patterns[@]} -gt 0 ] || return 0
	for pattern in "${patterns[@]}"; do
		[[ $1 =~ ^($pattern)$ ]] || continue
		selected["$pattern"]=1 hit=0
	done
	return $hit
}

fail() {
	echo "FAIL: $*"
	failed=$((failed + 1))
}

# row NAME SERVER EXPECTED [OPTION VALUE]... -- ARGUMENT...
#
# Runs the binary once with ARGUMENTs against SERVER and checks: exit
# status 0, empty standard error, and standard output equal to EXPECTED
# (printf %b escapes; "set:" first compares the lines in any order,
# "subset:" takes some of them, at least one, none twice). Options, each also as
# --LIBC:OPTION for every release of one C library (--glibc:, --uclibc:,
# --musl:) or --FLAVOUR:OPTION for one release (--musl-1.2.5:); a later
# option overrides an earlier one:
#   --expect OUT      EXPECTED for this flavour
#   --lines N         standard output has N lines (with "subset:")
#   --sent TEXT       the servers' query log shows TEXT
#   --not-sent TEXT   it does not (both need servers that log their
#                     queries: dnsmasq and fault:MODE, not nsd or none)
#   --stdout closed|full|pipe   where standard output goes (not checked)
#   --within SECONDS  the run ends within SECONDS
#   --resolv LINES    resolv.conf for this run, instead of the world's
#                     ("dangling": a link to a file not written yet)
#   --hosts LINES     /etc/hosts for this run, instead of the world's
#   --getrandom eagain|enosys   getrandom() fails as at boot
#                     (lab/getrandom_fails.py)
#   --fresh-names N   N runs, the first argument suffixed by K in run K;
#                     then the query IDs they sent must be unpredictable
row() {
	local name=$1 srv=$2 expected=$3 sent=() not_sent=() sink='' within='' resolv='' runs='' hosts='' wrap=() lines=''
	shift 3
	while [ $# -gt 0 ] && [ "$1" != -- ]; do
		local opt=$1 value=$2
		shift 2
		if [[ $opt == --*:* ]]; then
			local only_for=${opt%%:*}
			only_for=${only_for#--}
			[[ " ${flavours[*]%%-*} ${flavours[*]} " == *" $only_for "* ]] || {
				fail "$name: $opt names no flavour"
				return
			}
			[ "$only_for" = "$flavour" ] || [ "$only_for" = "${flavour%%-*}" ] || continue
			opt=--${opt#*:}
		fi
		case $opt in
		--expect) expected=$value ;;
		--lines) lines=$value ;;
		--sent) sent+=("$value") ;;
		--not-sent) not_sent+=("$value") ;;
		--stdout) sink=$value ;;
		--within) within=$value ;;
		--resolv) resolv=$value ;;
		--fresh-names) runs=$value ;;
		--hosts) hosts=$value ;;
		--getrandom) wrap=("$lab/getrandom_fails.py" "$value") ;;
		*) fail "$name: unknown option $opt" && return ;;
		esac
	done
	shift
	selects "$name" || return 0
	if [ $((${#sent[@]} + ${#not_sent[@]})) -gt 0 ] && ! logs_queries "$srv"; then
		fail "$name: --sent and --not-sent cannot be checked on $srv: it logs no queries"
		return
	fi
	use_server "$srv" || {
		fail "$name: server $srv did not start"
		return
	}
	if [ "$resolv" = dangling ]; then
		dangle_resolv_conf
	elif [ -n "$resolv" ] && ! write_resolv_conf "$(printf '%b' "$resolv")"; then
		fail "$name: resolv.conf names a server outside loopback"
		return
	fi
	[ -z "$hosts" ] || printf '%b' "$hosts" >/etc/hosts
	local run=("${wrap[@]}" "${prefix[@]}" "$bin")
	dns_log_mark
	local start=${EPOCHREALTIME/./} status
	case $sink in
	'') if [ -n "$runs" ]; then
		: >"$world/ids.log"
		: >"$world/out"
		: >"$world/err"
		local k status=0
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
	local elapsed_ms=$(((${EPOCHREALTIME/./} - start) / 1000))
	[ -z "$resolv" ] || write_resolv_conf "$world_resolv_conf"
	[ -z "$hosts" ] || write_hosts

	local problems=()
	[ "$status" -eq 0 ] || problems+=("exit status $status")
	[ -s "$world/err" ] && problems+=("stderr: $(head -c 300 "$world/err")")
	if [ -z "$sink" ]; then
		local want got
		if [ "${expected#subset:}" != "$expected" ]; then
			# Some of the lines, none twice, at least one.
			want=$(printf '%b' "${expected#subset:}" | sort)
			got=$(sort "$world/out")
			[ -s "$world/out" ] && [ -z "$(sort "$world/out" | uniq -d)" ] &&
				[ -z "$(comm -13 <(echo "$want") <(echo "$got"))" ] &&
				[ -z "$(tail -c 1 "$world/out")" ] && got=$want
		elif [ "${expected#set:}" != "$expected" ]; then
			want=$(printf '%b' "${expected#set:}" | sort)
			got=$(sort "$world/out")
			# Sorting hides a missing final newline: check it too.
			[ ! -s "$world/out" ] || [ -z "$(tail -c 1 "$world/out")" ] || got="$got (no final newline)"
		else
			want=$(printf '%bx' "$expected")
			got=$(cat "$world/out" && printf x)
		fi
		[ "$want" = "$got" ] || problems+=("stdout: $(od -An -c "$world/out" | head -n 4)"
			"expected: ${expected:-nothing}")
		[ -z "$lines" ] || [ "$(wc -l <"$world/out")" -eq "$lines" ] ||
			problems+=("stdout has $(wc -l <"$world/out") lines, not $lines")
	fi
	local log t
	log=$(dns_log_since_mark)
	for t in "${sent[@]}"; do
		grep -qF -- "$t" <<<"$log" || problems+=("query log lacks '$t'")
	done
	for t in "${not_sent[@]}"; do
		! grep -qF -- "$t" <<<"$log" || problems+=("query log shows '$t'")
	done
	[ -z "$within" ] || [ "$elapsed_ms" -le $((within * 1000)) ] ||
		problems+=("took ${elapsed_ms} ms, over ${within} s")
	local ids=''
	if [ -n "$runs" ] && ! ids=$("$here/query_ids.py" "$world/ids.log"); then
		problems+=("query IDs: ${ids//$'\n'/; }")
	fi
	if [ ${#problems[@]} -eq 0 ]; then
		passed=$((passed + 1))
		echo "ok   $name (${elapsed_ms} ms)${ids:+, $ids}"
	else
		printf 'FAIL: %s: %s\n' "$name" "${problems[0]}"
		[ ${#problems[@]} -eq 1 ] || printf '      %s\n' "${problems[@]:1}"
		failed=$((failed + 1))
	fi
}

# shellcheck source=tests/e2e/cases.sh
. "$here/cases.sh"
stop_server
for pattern in "${patterns[@]}"; do
	[ -n "${selected["$pattern"]:-}" ] || fail "--only: '$pattern' selects no row"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
