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
#   tests/meta/run.sh --list SOURCE_DIR    the rows' names
#
# PATTERNs are extended regular expressions for whole row names; each
# must select a row. Fails when no row ran.
set -u
only='' list=''
case ${1:-} in
--only) only=$2 && shift 2 ;;
--list) list=1 && shift ;;
esac
src=$(cd "${1:?usage: tests/meta/run.sh [--only PATTERNS] SOURCE_DIR}" && pwd)
table=$src/tests/meta/breakages.sh
[ -f "$table" ] || {
	echo "meta: no table ($table)"
	exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
read -r -a patterns <<<"$only"

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
	local name=$1 plant='' run='' says='' want=fail sound=0 status problems=()
	shift
	while [ $# -gt 0 ]; do
		case $1 in
		--plant) plant=$2 && shift ;;
		--run) run=$2 && shift ;;
		--says) says=$2 && shift ;;
		--status) want=$2 && shift ;;
		--sound) sound=1 ;;
		*) fail "$name: unknown option $1" && return ;;
		esac
		shift
	done
	selects "$name" || return 0
	[ -z "$list" ] || {
		echo "$name"
		return
	}
	if [ -z "$plant" ] || [ -z "$run" ] || [ -z "$says" ]; then
		fail "$name: a row needs --plant, --run and --says"
		return
	fi
	if [ "$sound" = 1 ]; then
		scratch
		(cd "$tmp/tree" && timeout 300 bash -c "$run") >"$tmp/out" 2>&1
		status=$?
		[ "$status" -eq 0 ] || problems+=("the check fails on the unbroken tree too (status $status):")
	fi
	if [ ${#problems[@]} -eq 0 ]; then
		scratch
		if ! (cd "$tmp/tree" && bash -c "$plant") >"$tmp/out" 2>&1; then
			problems+=("the breakage could not be planted:")
		else
			(cd "$tmp/tree" && timeout 300 bash -c "$run") >"$tmp/out" 2>&1 </dev/null
			status=$?
			if ! { [ "$want" = fail ] && [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; } && [ "$status" != "$want" ]; then
				problems+=("the check did not $([ "$want" = fail ] && echo fail || echo "exit $want") on the breakage (status $status):")
			elif ! grep -qxE -- "$says" "$tmp/out"; then
				problems+=("the check stopped (status $status) without the line /$says/:")
			fi
		fi
	fi
	[ ${#problems[@]} -eq 0 ] || mapfile -t -O 1 problems < <(tail -n 8 "$tmp/out" | sed 's/^/| /')
	verdict "$name"
}

# shellcheck source=tests/meta/breakages.sh
. "$table"
[ -n "$list" ] || finish
