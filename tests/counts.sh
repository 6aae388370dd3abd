# shellcheck shell=bash disable=SC2154 # src: the sourcing script's
# SPDX-License-Identifier: MIT
# The pass and fail counts of a test script of checks, and its ways out.
# Sourced.
passed=0 failed=0

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

# finish: says the counts, and fails when a check failed or none ran.
finish() {
	echo "$passed passed, $failed failed"
	[ $((passed + failed)) -gt 0 ] || {
		echo "FAIL: no check ran"
		exit 1
	}
	[ "$failed" -eq 0 ]
}
