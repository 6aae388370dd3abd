#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The usage road as a process: exact standard output, empty standard error,
# status 0, also when standard output is closed, full or a dead pipe.
#
#   tests/cli_test.sh BINARY      (HOSTQ_RUNNER: command prefix, e.g. qemu)
set -u
bin=$1
read -r -a runner <<<"${HOSTQ_RUNNER:-}"
usage='hostq DNS name. Return ip adress or NULL if not resolved'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0 failed=0

fail() {
	echo "FAIL: $*"
	failed=$((failed + 1))
}

# One row a case: arguments as a ';'-separated list, expected stdout.
# The usage text and a newline, nothing else; no lookup is ever made, so
# a query after the first argument has no effect.
rows=(
	"|$usage"
	"-|$usage"
	"-h|$usage"
	"--help|$usage"
	"-1;one.test|$usage"
	"-h;one.test;two.test|$usage"
	"-192.0.2.1|$usage"
	"--|$usage"
)
for row in "${rows[@]}"; do
	IFS=';' read -r -a args <<<"${row%%|*}"
	expected=${row#*|}$'\n'
	env -i "${runner[@]}" "$bin" "${args[@]}" >"$tmp/out" 2>"$tmp/err"
	status=$?
	actual=$(cat "$tmp/out"; echo x)
	if [ "$status" -ne 0 ]; then
		fail "[${args[*]}] exit status $status"
	elif [ "${actual%x}" != "$expected" ]; then
		fail "[${args[*]}] stdout $(od -c "$tmp/out" | head -n 3)"
	elif [ -s "$tmp/err" ]; then
		fail "[${args[*]}] stderr: $(head -c 300 "$tmp/err")"
	else
		passed=$((passed + 1))
	fi
done

# Nowhere to write: still status 0 and silence on standard error.
check_sink() {
	local name=$1 status=$2
	if [ "$status" -ne 0 ]; then
		fail "$name: exit status $status"
	elif [ -s "$tmp/err" ]; then
		fail "$name: stderr: $(head -c 300 "$tmp/err")"
	else
		passed=$((passed + 1))
	fi
}
env -i "${runner[@]}" "$bin" -h >&- 2>"$tmp/err"
check_sink "closed stdout" $?
env -i "${runner[@]}" "$bin" -h >/dev/full 2>"$tmp/err"
check_sink "/dev/full" $?
# A reader that is gone before the writer starts: the write gets EPIPE,
# and the process must not die of SIGPIPE, which it is started with at its
# default whatever this shell inherited.
mkfifo "$tmp/fifo"
(
	exec 3<>"$tmp/fifo"
	exec 4>"$tmp/fifo"
	exec 3<&-
	exec env -i --default-signal=PIPE "${runner[@]}" "$bin" -h >&4 2>"$tmp/err"
)
check_sink "dead pipe" $?

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
