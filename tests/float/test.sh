#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whether a compiler's libgcc computes right for a soft-float MIPS ABI:
# tests/float/probe.c, built with no C library by COMPILER with
# -msoft-float and its own libgcc, run under EMULATOR (a core without an
# FPU: qemu's -cpu 24Kc, where a stray FPU instruction stops the run),
# must print the bits below, which IEEE 754 round-to-nearest gives.
#
#   tests/float/test.sh "COMPILER [FLAGS]" "EMULATOR [FLAGS]"
# shellcheck disable=SC2086 # the compiler's and emulator's words
set -u
compiler=$1 emulator=$2
# shellcheck source=tests/counts.sh
. "$(dirname "$0")/../counts.sh"
expected='add 400e000000000000
multiply c00e000000000000
divide 3fd5555555555555
subtract bfc9999999999999
from-int c01c000000000000
from-unsigned 41edcd6500000000
to-int fffffff9
to-long-long 00038d7ea4c68000
greater 1
less 0
float-multiply 4012000000000000
float-to-double 3fd5555560000000'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
$compiler -Os -msoft-float -mno-abicalls -fno-pic -ffreestanding -nostdlib -static \
	-o "$work/probe" "$(dirname "$0")/probe.c" -lgcc 2>"$work/build.log" ||
	die "soft float: the probe does not build with $compiler: $(cat "$work/build.log")"
status=0
# (The shell's own word on a signal goes with the emulator's.)
{ $emulator "$work/probe" >"$work/out" 2>"$work/err"; } 2>>"$work/err" || status=$?
check "soft float: the probe exited $status under $emulator$( [ "$status" -ne 132 ] && [ "$status" -ne 4 ] || echo ': an illegal instruction, an FPU one on a core without')" \
	test "$status" -eq 0
# Every result, and nothing else: a diff says which differ.
check "soft float: the probe's results (<) are not IEEE 754's (>)" diff "$work/out" - <<<"$expected"
! grep -q 'uses -mhard-float' "$work/build.log" || echo "ld: $(grep -m1 'uses -mhard-float' "$work/build.log")"
finish
