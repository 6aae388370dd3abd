# shellcheck shell=bash disable=SC2154 # src: the sourcing script's
# SPDX-License-Identifier: MIT
# The pass and fail counts of a test script of checks or of a table of
# rows, its --only, and its ways out. Sourced.
passed=0 failed=0 patterns=()
declare -gA selected=()

# die MESSAGE: fails the script at once. skip MESSAGE: this machine cannot
# run it (exit 77, which ctest counts as skipped).
die() {
	echo "FAIL: $*"
	exit 1
}
skip() {
	echo "SKIP: $*"
	exit 77
}

# fetch VAR RELEASE: VAR becomes tools/source's path for the release of
# tables/releases (src: the source tree); the script skips where it
# cannot be had.
fetch() {
	local out status=0
	out=$("$src/tools/source" "$2") || status=$?
	case $status in
	0) printf -v "$1" %s "$out" ;;
	77) skip "${out#SKIP: }" ;;
	*) die "tools/source $2 failed" ;;
	esac
}

# fail MESSAGE: one failure, and the script goes on.
fail() {
	echo "FAIL: $*"
	failed=$((failed + 1))
}

# verdict NAME [NOTE]: a row judged by what its caller found wrong with
# it (an array, problems): ok with the NOTE, or FAIL with each of them.
verdict() {
	if [ ${#problems[@]} -eq 0 ]; then
		passed=$((passed + 1))
		echo "ok   $1${2:+ $2}"
	else
		fail "$1: ${problems[0]}"
		[ ${#problems[@]} -eq 1 ] || printf '      %s\n' "${problems[@]:1}"
	fi
}

# selects NAME: true when no pattern was given (patterns: --only's
# extended regular expressions) or one matches the whole NAME.
selects() {
	local pattern hit=1
	[ ${#patterns[@]} -gt 0 ] || return 0
	for pattern in "${patterns[@]}"; do
		[[ $1 =~ ^($pattern)$ ]] || continue
		selected["$pattern"]=1 hit=0
	done
	return $hit
}

# check NAME COMMAND...: COMMAND must succeed; NAME says what its failing
# means.
check() {
	local name=$1
	shift
	if "$@"; then
		passed=$((passed + 1))
	else
		failed=$((failed + 1))
		echo "FAIL: $name"
	fi
}

# finish: says the counts, and fails when a check failed, none ran, or a
# pattern selected nothing.
finish() {
	local pattern
	for pattern in "${patterns[@]}"; do
		[ -n "${selected["$pattern"]:-}" ] || fail "--only: '$pattern' selects no row"
	done
	echo "$passed passed, $failed failed"
	[ $((passed + failed)) -gt 0 ] || {
		echo "FAIL: no check ran"
		exit 1
	}
	[ "$failed" -eq 0 ]
}
