#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ELF facts of the binary. It may need its C library (libc.so.N; musl's
# libc.so) and nothing else at run time (no libstdc++, libgcc_s or libm);
# further facts as words:
#   lsb | msb        32-bit, little- or big-endian
#   mips32r2         built for MIPS32 release 2
#   armv7hf          ARM, EABI version 5, hard-float, ARMv7 code
#   aarch64          64-bit AArch64, little-endian
#   softfloat        MIPS soft-float: no FPU instruction, no FPU register
#                    in the calling convention
#   pages64k         loads on kernels with pages of 4, 16 or 64 KiB: every
#                    segment's file offset and address agree modulo 64 KiB
#                    and no two segments share a 64 KiB page
#   static | dynamic no interpreter, or one
#   also-needs:LIB   needs LIB too (a loader that holds the stack guard)
#   loader:PATH      its interpreter is PATH
# A dynamic binary never carries an RPATH or RUNPATH: a device's loader
# path is the system's.
#
#   tests/elf_test.sh READELF BINARY [FACT]...
# shellcheck disable=SC2016,SC2034 # eval reads the condition, which reads $header
set -u
readelf=$1 bin=$2
shift 2
# shellcheck source=tests/counts.sh
. "$(dirname "$0")/counts.sh"
command -v "$readelf" >/dev/null || skip "no $readelf on this machine (the target's binutils): no ELF facts checked"
# A kernel maps each LOAD segment from a page-aligned file offset, and
# the next segment must start in a later page than the last one ended in.
loads_with_pages() {
	local page=$1 n=0 last=0 type off addr size
	while read -r type off addr _ _ size _; do
		[ "$type" = LOAD ] || continue
		((n == 0 || addr / page > last)) || return 1
		(((addr - off) % page == 0)) || return 1
		last=$(((addr + size - 1) / page)) n=$((n + 1))
	done <<<"$programs"
	[ "$n" -gt 0 ]
}
header=$("$readelf" -h "$bin") || exit 1
dynamic=$("$readelf" -d "$bin" 2>/dev/null)
programs=$("$readelf" -lW "$bin" 2>/dev/null)
needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic")
echo "NEEDED: ${needed:-none}"
also=$(printf '%s\n' "$@" | sed -n 's/^also-needs://p')
extra=$(grep -Ev '^libc\.so(\.[0-9]+)?$' <<<"$needed" | grep -vxF -e "$also")
check "needs more than libc${also:+ and $also}: $extra" eval '[ -z "$extra" ]'
check "has a library path of its own" eval '! grep -Eq "\((RPATH|RUNPATH)\)" <<<"$dynamic"'
for fact in "$@"; do
	case $fact in
	also-needs:*) check "does not need ${fact#*:}" eval 'grep -qxF -e "${fact#*:}" <<<"$needed"' ;;
	lsb) check "not ELF32 little-endian" eval 'grep -q "Class: *ELF32" <<<"$header" && grep -q "little endian" <<<"$header"' ;;
	msb) check "not ELF32 big-endian" eval 'grep -q "Class: *ELF32" <<<"$header" && grep -q "big endian" <<<"$header"' ;;
	mips32r2) check "not MIPS32r2" eval 'grep -q "Flags:.*mips32r2" <<<"$header"' ;;
	armv7hf) check "not ARMv7 hard-float EABI5" eval 'grep -q "Machine: *ARM$" <<<"$header" && grep -q "Flags:.*Version5 EABI, hard-float ABI" <<<"$header" && "$readelf" -A "$bin" | grep -q "Tag_CPU_arch: v7$"' ;;
	aarch64) check "not ELF64 little-endian AArch64" eval 'grep -q "Class: *ELF64" <<<"$header" && grep -q "little endian" <<<"$header" && grep -q "Machine: *AArch64" <<<"$header"' ;;
	softfloat) check "not soft-float, or uses the FPU's registers" eval '"$readelf" -A "$bin" | grep -q "^FP ABI: *Soft float" && "$readelf" -A "$bin" | grep -q "^CPR1 size: 0$"' ;;
	pages64k) check "a segment does not load with 64 KiB pages" eval 'loads_with_pages 65536' ;;
	static) check "has an interpreter or needs libraries" eval '! grep -q INTERP <<<"$programs" && [ -z "$needed" ]' ;;
	dynamic) check "no interpreter" eval 'grep -q INTERP <<<"$programs"' ;;
	loader:*) check "its interpreter is not ${fact#*:}" eval 'grep -qF "[Requesting program interpreter: ${fact#*:}]" <<<"$programs"' ;;
	*) check "unknown fact $fact" false ;;
	esac
done
finish
