#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The tree is clean under clang-format and clang-tidy, and the manual page
# under mandoc's lint.
#
#   tests/lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR has compile_commands.json)
set -u
src=$1 build=$2
cd "$src" || exit 1
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cc' '*.c' '*.h' 2>/dev/null ||
	find src tests bench fuzz -name '*.cc' -o -name '*.c' -o -name '*.h' 2>/dev/null)
mapfile -t units < <(printf '%s\n' "${files[@]}" | grep '\.cc$' | while read -r f; do
	grep -q "\"file\": \"[^\"]*/$f\"" "$build/compile_commands.json" && echo "$f"
done)
failed=0
if ! clang-format --dry-run -Werror "${files[@]}"; then
	echo "FAIL: clang-format: run clang-format -i on the files above"
	failed=$((failed + 1))
fi
if ! clang-tidy --quiet -p "$build" "${units[@]}" 2>/dev/null; then
	echo "FAIL: clang-tidy"
	failed=$((failed + 1))
fi
if ! mandoc -T lint -W warning man/hostq.1; then
	echo "FAIL: mandoc -T lint man/hostq.1"
	failed=$((failed + 1))
fi
echo "$((3 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
