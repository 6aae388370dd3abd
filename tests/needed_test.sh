#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The binary may need its C library and nothing else at run time.
#
#   tests/needed_test.sh READELF BINARY
set -eu
readelf=$1 bin=$2
needed=$("$readelf" -d "$bin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "NEEDED: ${needed:-none}"
for lib in $needed; do
	case $lib in
	libc.so.*) ;;
	*)
		echo "FAIL: $bin needs $lib"
		exit 1
		;;
	esac
done
echo "1 passed, 0 failed"
