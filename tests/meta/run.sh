#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The table of planted breakages (tests/meta/breakages.sh): each row
# breaks one thing in a scratch copy of the tree and runs the check it
# names there, which must fail (or skip, where the row says so) with the
# line the row names. A check that passes on a broken tree, or fails for
# another reason, fails the row. Rows marked --sound also run the check on
# the unbroken copy, which must pass: the row's fixture is a good one.
#
#   tests/meta/run.sh [--only "PATTERN..."] SOURCE_DIR
#
# PATTERNs are extended regular expressions for whole row names; each
# must select a row. Fails when no row ran.
set -u
only=''
if [ "${1:-}" = --only ]; then
	only=$2
	shift 2
fi
src=$(cd "${1:?usage: tests/meta/run.sh [--only PATTERNS] SOURCE_DIR}" && pwd)
table=$src/tests/meta/breakages.sh
[ -f "$table" ] || {
	echo "meta: no table ($table)"
	exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
read -r -a patterns <<<"$only"
declare -A selected=()
passed=0 failed=0

# The tree as it stands, build folders left out: git's files where it is
# a checkout, everything else where it is not.
if git -C "$src" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
	(cd "$src" && git ls-files -co --exclude-standard -z) >"$tmp/files"
else
	(cd "$src" && find . -path ./build -prune -o -type f -print0) >"$tmp/files"
fi
scratch() {
	rm -rf "$tmp/tree" && mkdir "$tmp/tree"
	(cd "$src" && xargs -0 cp --parents -t "$tmp/tree" <"$tmp/files")
}

# breakage NAME --plant SHELL --run SHELL --says ERE [--status N] [--sound]
breakage() {
	local name=$1 plant='' run='' says='' want=fail sound=0 pattern hit=0
	shift
	while [ $# -gt 0 ]; do
		case $1 in
		--plant) plant=$2 && shift ;;
		--run) run=$2 && shift ;;
		--says) says=$2 && shift ;;
		--status) want=$2 && shift ;;
		--sound) sound=1 ;;
		*)
			echo "FAIL: $name: unknown option $1"
			failed=$((failed + 1))
			return
			;;
		esac
		shift
	done
	if [ ${#patterns[@]} -gt 0 ]; then
		for pattern in "${patterns[@]}"; do
			[[ $name =~ ^($pattern)$ ]] && selected["$pattern"]=1 hit=1
		done
		[ "$hit" = 1 ] || return 0
	fi
	if [ -z "$plant" ] || [ -z "$run" ] || [ -z "$says" ]; then
		echo "FAIL: $name: a row needs --plant, --run and --says"
		failed=$((failed + 1))
		return
	fi
	local status
	if [ "$sound" = 1 ]; then
		scratch
		(cd "$tmp/tree" && timeout 300 bash -c "$run") >"$tmp/out" 2>&1
		status=$?
		if [ "$status" -ne 0 ]; then
			echo "FAIL: $name: the check fails on the unbroken tree too (status $status):"
			tail -n 5 "$tmp/out" | sed 's/^/  | /'
			failed=$((failed + 1))
			return
		fi
	fi
	scratch
	(cd "$tmp/tree" && bash -c "$plant") >"$tmp/plant" 2>&1 || {
		echo "FAIL: $name: the breakage could not be planted:"
		sed 's/^/  | /' "$tmp/plant"
		failed=$((failed + 1))
		return
	}
	(cd "$tmp/tree" && timeout 300 bash -c "$run") >"$tmp/out" 2>&1 </dev/null
	status=$?
	if { [ "$want" = fail ] && [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; } || [ "$status" = "$want" ]; then
		if grep -qxE -- "$says" "$tmp/out"; then
			echo "ok $name"
			passed=$((passed + 1))
			return
		fi
		echo "FAIL: $name: the check stopped (status $status) without the line /$says/:"
	else
		echo "FAIL: $name: the check did not $([ "$want" = fail ] && echo fail || echo "exit $want") on the breakage (status $status):"
	fi
	tail -n 8 "$tmp/out" | sed 's/^/  | /'
	failed=$((failed + 1))
}

# shellcheck source=tests/meta/breakages.sh
. "$table"
for pattern in "${patterns[@]}"; do
	[ -n "${selected["$pattern"]:-}" ] || {
		echo "FAIL: --only: '$pattern' selects no row"
		failed=$((failed + 1))
	}
done
echo "$passed passed, $failed failed"
[ $((passed + failed)) -gt 0 ] || {
	echo "meta: no row ran"
	exit 1
}
[ "$failed" -eq 0 ]
