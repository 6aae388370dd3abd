#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tree is clean: C++ under clang-format and clang-tidy, every shell
# script under shellcheck, every Python script under flake8, the manual
# page under mandoc's lint; the numeric examples of the README and the
# manual page are rows of the table the tests run, and every link between
# the README, HACKING.md and doc/ leads to a page and heading that exist.
#
#   tests/lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR has compile_commands.json)
set -u
src=$1 build=$2
cd "$src" || exit 1
mapfile -t tracked < <(git ls-files -co --exclude-standard 2>/dev/null || find . -type f -printf '%P\n')
mapfile -t files < <(printf '%s\n' "${tracked[@]}" | grep -E '\.(cc|c|h)$')
mapfile -t units < <(printf '%s\n' "${files[@]}" | grep '\.cc$' | while read -r f; do
	grep -q "\"file\": \"[^\"]*/$f\"" "$build/compile_commands.json" && echo "$f"
done)
# Scripts by their first line, or, for the sourced ones, their directive.
shell=() python=()
for f in "${tracked[@]}"; do
	[ -f "$f" ] || continue
	case $f in */patches/*) continue ;; esac
	first=$(head -n 1 "$f")
	case $f:$first in
	*.py:* | *:'#!'*python*) python+=("$f") ;;
	*.sh:* | *:'#!'*bash* | *:'#!/bin/sh'*) shell+=("$f") ;;
	esac
done
# shellcheck source=tests/counts.sh
. tests/counts.sh
# A list that came out empty would pass on nothing.
for list in files units shell python; do
	declare -n found=$list
	[ ${#found[@]} -gt 0 ] || fail "no $list found to lint"
done
check "clang-format: run clang-format -i on the files above" clang-format --dry-run -Werror "${files[@]}"
tidy() { clang-tidy --quiet -p "$build" "${units[@]}" 2>/dev/null; }
check "clang-tidy" tidy
check "shellcheck (${#shell[@]} scripts)" shellcheck -x "${shell[@]}"
check "flake8 (${#python[@]} scripts)" /usr/bin/python3 -m flake8 "${python[@]}"
check "mandoc -T lint man/hostq.1" mandoc -T lint -W warning man/hostq.1
check "the documents: numeric examples and links" tests/doc_examples.py .
finish
