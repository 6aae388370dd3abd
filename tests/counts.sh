# shellcheck shell=bash
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
