#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ELF facts of the binary. It may need its C library and nothing else at
# run time (no libstdc++, libgcc_s or libm); further facts as words:
#   lsb | msb        32-bit, little- or big-endian
#   mips32r2         built for MIPS32 release 2
#   static | dynamic no interpreter, or one
#
#   tests/elf_test.sh READELF BINARY [FACT]...
set -u
readelf=$1 bin=$2
shift 2
passed=0 failed=0
check() {
	if eval "$2"; then
		passed=$((passed + 1))
	else
		echo "FAIL: $1"
		failed=$((failed + 1))
	fi
}
header=$("$readelf" -h "$bin") || exit 1
dynamic=$("$readelf" -d "$bin" 2>/dev/null)
programs=$("$readelf" -l "$bin" 2>/dev/null)
needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic")
echo "NEEDED: ${needed:-none}"
extra=$(grep -v '^libc\.so\.[0-9]*$' <<<"$needed")
check "needs more than libc: $extra" '[ -z "$extra" ]'
for fact in "$@"; do
	case $fact in
	lsb) check "not ELF32 little-endian" 'grep -q "Class: *ELF32" <<<"$header" && grep -q "little endian" <<<"$header"' ;;
	msb) check "not ELF32 big-endian" 'grep -q "Class: *ELF32" <<<"$header" && grep -q "big endian" <<<"$header"' ;;
	mips32r2) check "not MIPS32r2" 'grep -q "Flags:.*mips32r2" <<<"$header"' ;;
	static) check "has an interpreter or needs libraries" '! grep -q INTERP <<<"$programs" && [ -z "$needed" ]' ;;
	dynamic) check "no interpreter" 'grep -q INTERP <<<"$programs"' ;;
	*) check "unknown fact $fact" false ;;
	esac
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
