#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the fuzzer for a bounded time, seeded with the queries of the
# numeric cases table and two names; inputs go to a temporary folder. Any
# crash or mismatch fails the run, and the input that caused it is named.
#
#   fuzz/run_fuzz.sh FUZZER CASES_TSV SECONDS
set -u
fuzzer=$1 cases=$2 seconds=$3
# shellcheck source=tests/counts.sh
. "$(dirname "$0")/../tests/counts.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
# libFuzzer skips an empty seed file; it runs the empty input anyway.
mapfile -t queries < <(grep -v '^#' "$cases" | cut -f2 | grep .)
# A run without its seeds would still pass.
[ "${#queries[@]}" -gt 0 ] || die "run_fuzz: no queries in $cases"
n=0
for query in "${queries[@]}" 1e5 0x7f.0.0.1; do
	n=$((n + 1))
	printf '%s' "$query" >"$work/corpus/$n"
done
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -max_len=256 \
	-artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1
status=$?
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)|seed corpus' "$work/log"
if [ "$status" -ne 0 ]; then
	tail -n 30 "$work/log"
	for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
		[ -e "$crash" ] && echo "input: $(od -An -c "$crash" | head -n 4)"
	done
fi
check "the fuzzer exited $status" test "$status" -eq 0
# And the fuzzer must have read them all.
loaded=$(sed -n 's/.*seed corpus: files: \([0-9]*\).*/\1/p' "$work/log")
check "run_fuzz: the fuzzer read ${loaded:-no} of the $n seeds" test "${loaded:-0}" -ge "$n"
finish
