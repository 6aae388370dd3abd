# shellcheck shell=bash disable=SC2154,SC2034 # the runner's variables, and the row's that its row_run reads
# SPDX-License-Identifier: MIT
# One row of the end-to-end table (tests/e2e/cases.sh): its options read
# for one flavour, then run and judged. The runner that sources this file
# gives (and tests/counts.sh keeps the counts and --only's patterns):
#   flavour             the C library of the binary, one of flavours below
#   world               a folder for the run's output
#   row_run ARGUMENT... runs the row, leaving standard output and error in
#                       $world/out and $world/err, the query IDs in
#                       $world/ids.log, and setting status, elapsed_ms and
#                       log (the query log of the run); false when it has
#                       already counted the row (a fault, or left out)
row_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Every flavour the table knows: glibc, and for uClibc-ng and musl the
# project's own (the release the static builds carry, patched) and each
# release that devices run as firmware builds it (LIBRARY-device-VERSION),
# with that release's faults, from tables/releases.
# shellcheck source=tools/libc.sh
. "$row_dir/../../tools/libc.sh"
# shellcheck source=tests/counts.sh
. "$row_dir/../counts.sh"
declare -A faults_of=()
device_flavours() {
	local release facts r_library r_version r_faults
	for release in $("$row_dir/../../tools/table" releases --names roles=device); do
		facts=$("$row_dir/../../tools/table" releases "$release" --shell r) || return 1
		eval "$facts"
		echo "$(flavour_name "$r_library" device "$r_version") $r_faults"
	done
}
flavours=(glibc uclibc musl) all_faults=' '
while read -r f faults; do
	flavours+=("$f")
	faults_of[$f]=" $faults "
	all_faults+="${faults#-} "
done < <(device_flavours)
[ ${#flavours[@]} -gt 3 ] || {
	echo "row.sh: no device flavours read from tables/releases" >&2
	exit 2
}

# row NAME SERVER EXPECTED [OPTION VALUE]... -- ARGUMENT...
#
# Runs the binary once with ARGUMENTs against SERVER and checks: exit
# status 0, empty standard error, and standard output equal to EXPECTED
# (printf %b escapes; "set:" first compares the lines in any order,
# "subset:" takes some of them, at least one, none twice; "like:" is an
# extended regular expression the whole output must match, for a fault
# that prints bytes from past a reply). Options, each also as
# --F:OPTION for the flavours F names: a flavour, or the start of one up to
# a hyphen (--uclibc: every uClibc-ng, --musl-device: every device's musl,
# --uclibc-device-VERSION: one release), or a fault of tables/releases
# (--resolv-address-length: every device whose release has it); a later
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
#   --fails MODE      system calls fail as on a router's kernel
#                     (lab/syscall_fails.py MODE): getrandom() at boot
#                     (getrandom-eagain, getrandom-enosys), or IPv6
#                     sockets where there is no IPv6 (no-ipv6)
#   --fresh-names N   N runs, the first argument suffixed by K in run K;
#                     then the query IDs they sent must be unpredictable
#   --ids counted     or, for a fault, a counter that every run restarts
row() {
	local name=$1 srv=$2 expected=$3 sent=() not_sent=() sink='' within='' resolv='' runs='' hosts='' fails='' lines='' ids=random
	shift 3
	while [ $# -gt 0 ] && [ "$1" != -- ]; do
		local opt=$1 value=$2
		shift 2
		if [[ $opt == --*:* ]]; then
			local only_for=${opt%%:*}
			only_for=${only_for#--}
			if [[ $all_faults == *" $only_for "* ]]; then
				[[ ${faults_of[$flavour]:-} == *" $only_for "* ]] || continue
			elif [[ " ${flavours[*]} " == *" $only_for"[-\ ]* ]]; then
				[[ $flavour == "$only_for" || $flavour == "$only_for"-* ]] || continue
			else
				fail "$name: $opt names no flavour and no fault"
				return
			fi
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
		--fails) fails=$value ;;
		--ids) ids=$value ;;
		*) fail "$name: unknown option $opt" && return ;;
		esac
	done
	shift
	selects "$name" || return 0
	local status elapsed_ms log
	row_run "$@" || return 0
	row_judge
}

# Judges the run that row_run left: the row's locals are in scope.
row_judge() {
	local problems=()
	[ "$status" -eq 0 ] || problems+=("exit status $status")
	[ -s "$world/err" ] && problems+=("stderr: $(head -c 300 "$world/err")")
	if [ -z "$sink" ]; then
		local want got
		if [ "${expected#like:}" != "$expected" ]; then
			local re
			re=$(printf '%bx' "${expected#like:}")
			want=$expected got=$(cat "$world/out" && printf x)
			[[ $got =~ ^(${re%x})x$ ]] && got=$want
		elif [ "${expected#subset:}" != "$expected" ]; then
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
	local t
	for t in "${sent[@]}"; do
		grep -qF -- "$t" <<<"$log" || problems+=("query log lacks '$t'")
	done
	for t in "${not_sent[@]}"; do
		! grep -qF -- "$t" <<<"$log" || problems+=("query log shows '$t'")
	done
	[ -z "$within" ] || [ "$elapsed_ms" -le $((within * 1000)) ] ||
		problems+=("took ${elapsed_ms} ms, over ${within} s")
	local said=''
	if [ -n "$runs" ]; then
		case $ids in
		random) said=$("$row_dir/query_ids.py" "$world/ids.log") ;;
		counted) said=$("$row_dir/query_ids.py" --counted "$world/ids.log") ;;
		*) false ;;
		esac || problems+=("query IDs ($ids): ${said//$'\n'/; }")
	fi
	verdict "$name" "(${elapsed_ms} ms)${said:+, $said}"
}
