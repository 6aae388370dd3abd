# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# The pass and fail counts of a test script of checks. Sourced.
passed=0 failed=0

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
