#!/bin/sh
# The runtime test of an openwrt/packages CI, run as "sh test.sh PACKAGE
# VERSION" on a system with the package installed. hostq has no version
# option: "--version", like any first argument that starts with "-",
# prints its usage line, which scripts rely on, so that is what is checked,
# with a lookup that needs no name server.

[ "$1" = hostq ] || exit 0

usage='hostq DNS name. Return ip adress or NULL if not resolved'
out=$(hostq --version) || {
	echo "hostq --version exited $?"
	exit 1
}
[ "$out" = "$usage" ] || {
	echo "hostq --version printed '$out', not the usage line"
	exit 1
}
out=$(hostq localhost) || {
	echo "hostq localhost exited $?"
	exit 1
}
[ "$out" = 127.0.0.1 ] || {
	echo "hostq localhost printed '$out', not 127.0.0.1"
	exit 1
}
