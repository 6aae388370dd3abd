#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs inside a booted guest (BusyBox sh): the rows of the end-to-end
# table that tests/boot/table.sh laid out under /usr/share/hostq-boot,
# with every binary that its file "binaries" names. Writes each result to
# the console as lines starting with "@", for the host to judge; judges
# nothing itself.
#
#   guest.sh boot       the rows of boot time, before the network and the
#                       resolver file exist (from an early init script)
#   guest.sh table      every other row; then powers the guest off
#   guest.sh unseeded LABEL   as the first process: the query ID rows
#                       with the binary LABEL, before the kernel's entropy
#                       pool is ready and again once it is; then powers off
#
# A result: "@r LABEL STAGE N STATUS ELAPSED_MS" with the byte counts of
# what follows, then its standard output, standard error, query log and
# query IDs as hex lines "@o", "@e", "@l", "@i", and "@z".
B=/usr/share/hostq-boot
R=/tmp/e2e
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mkdir -p "$R"
server='' pids='' clean='env -i'

uptime_cs() { # sets now
	read -r up _ </proc/uptime
	now=${up%.*}${up#*.}
	now=${now#0}
}
size() { if [ -f "$1" ]; then wc -c <"$1"; else echo 0; fi; }
hex() { od -An -tx1 -v "$2" | sed "s/ //g; s/^/@$1 /"; }
# Builtins only, here and on the way to a run in the unseeded boot: any
# program of the image reads /dev/urandom as it starts (uClibc-ng's stack
# guard), and the kernel seeds its pool on the first such read.
alive() {
	[ -d "/proc/$1" ] || return 1
	while read -r key value _; do
		[ "$key" != State: ] || [ "$value" != Z ] || return 1
	done <"/proc/$1/status"
}
pause() { # about a hundredth of a second, without a program
	uptime_cs
	until_cs=$((now + 1))
	while uptime_cs && [ "$now" -lt "$until_cs" ]; do :; done
}

stop_server() {
	for pid in $pids; do
		kill "$pid" 2>/dev/null
		tries=0
		while alive "$pid" && [ $tries -lt 500 ]; do
			pause
			tries=$((tries + 1))
		done
	done
	server='' pids=''
}

# use_server none | dnsmasq[@ADDRESS] | fault:nxdomain
use_server() {
	[ "$1" = "$server" ] && return 0
	stop_server
	case $1 in
	none) ;;
	dnsmasq*)
		address=127.0.0.1
		[ "$1" = dnsmasq ] || address=${1#dnsmasq@}
		dnsmasq --conf-file="$B/dns/dnsmasq-$address.conf" || return 1
		pids=$(cat "$(sed -n 's/^pid-file=//p' "$B/dns/dnsmasq-$address.conf")")
		;;
	fault:nxdomain)
		[ ! -e "$R/ready" ] || rm -f "$R/ready"
		"$B/nxdomain_responder" 127.0.0.1 "$R/ids" "$R/ready" &
		pids=$!
		tries=0
		while [ ! -e "$R/ready" ]; do
			alive "$pids" && [ $tries -lt 500 ] || return 1
			pause
			tries=$((tries + 1))
		done
		;;
	*) return 1 ;;
	esac
	server=$1
}

# The dnsmasq that the init scripts started, when there is one.
adopt_server() {
	pid=$(cat /var/run/dnsmasq.pid 2>/dev/null) && alive "$pid" && server=dnsmasq pids=$pid
}

# run_row LABEL BINARY STAGE FILE: one row, one binary. The row's file
# sets its variables and its arguments ("set --").
run_row() {
	label=$1 bin=$2 at=$3 file=$4
	srv=none stage=table sink='' runs='' resolv='' hosts=''
	# shellcheck disable=SC1090 # a row, written by tests/boot/table.sh
	. "$file"
	n=${file##*/}
	n=${n%.row}
	use_server "$srv" || {
		echo "@r $label $at $n server-failed"
		return
	}
	[ -z "$hosts" ] || cp "${file%.row}.hosts" /etc/hosts
	case $resolv in
	dangling) rm -f /run/resolv.conf ;;
	file) cp "${file%.row}.resolv" /run/resolv.conf ;;
	esac
	log_mark=0
	[ "${srv%%:*}" = fault ] || log_mark=$(size "$R/queries.log")
	: >"$R/ids"
	: >"$R/out"
	: >"$R/err"
	uptime_cs
	start=$now
	if [ -n "$runs" ]; then
		status=0 k=1 first=$1
		shift
		while [ $k -le "$runs" ]; do
			echo run >>"$R/ids"
			$clean "$bin" "$first$k" "$@" >>"$R/out" 2>>"$R/err" || status=$?
			k=$((k + 1))
		done
	else
		case $sink in
		'') env -i "$bin" "$@" >"$R/out" 2>"$R/err" ;;
		closed) env -i "$bin" "$@" >&- 2>"$R/err" ;;
		full) env -i "$bin" "$@" >/dev/full 2>"$R/err" ;;
		esac
		status=$?
	fi
	uptime_cs
	elapsed=$(((now - start) * 10))
	[ -z "$hosts" ] || cp "$B/hosts" /etc/hosts
	[ -z "$resolv" ] || [ "$at" = boot ] || cp "$B/resolv.conf" /run/resolv.conf
	tail -c +"$((log_mark + 1))" "$R/queries.log" >"$R/log" 2>/dev/null || : >"$R/log"
	echo "@r $label $at $n $status $elapsed $(size "$R/out") $(size "$R/err") $(size "$R/log") $(size "$R/ids")"
	hex o "$R/out"
	hex e "$R/err"
	hex l "$R/log"
	hex i "$R/ids"
	echo "@z"
}

# run_stage STAGE [LABEL]: the rows of STAGE (boot, table) with every
# binary; the query ID rows for any other STAGE, with the binary LABEL.
run_stage() {
	while read -r label bin flavour; do
		[ -z "${2:-}" ] || [ "$label" = "$2" ] || continue
		for row in "$B/rows/$flavour"/*.row; do
			# shellcheck disable=SC1090
			kind=$(stage=table runs='' && . "$row" && echo "$stage${runs:+ runs}")
			case $1 in
			boot | table) [ "${kind% runs}" = "$1" ] || continue ;;
			*) [ "${kind#* }" = runs ] || continue ;;
			esac
			run_row "$label" "$bin" "$1" "$row" </dev/null
		done
	done <"$B/binaries"
}

facts() {
	echo "@f kernel $(uname -r) $(uname -m)"
	echo "@f page-size $(sed -n 's/^KernelPageSize: *\([0-9]*\) kB/\1/p' /proc/self/smaps | head -n 1) kB"
	echo "@f cpu $(sed -n 's/^\(cpu model\|model name\|CPU part\)[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
	# shellcheck disable=SC2012 # names, for the reader
	echo "@f lib $(ls /lib | tr '\n' ' ')"
}

case $1 in
boot)
	run_stage boot
	;;
table)
	# What the network daemon would write once the network is up.
	cp "$B/resolv.conf" /run/resolv.conf
	adopt_server
	facts
	run_stage table
	stop_server
	echo "@end"
	poweroff -f
	;;
unseeded)
	# The first process, for the one binary LABEL. Debian's BusyBox has
	# no applet links yet. /dev comes last: no program may read
	# /dev/urandom before the binary's first run.
	[ -e /bin/mount ] || /bin/busybox --install -s
	mount -t proc proc /proc
	mount -t tmpfs tmpfs /run
	mount -t tmpfs tmpfs /tmp
	mkdir -p "$R"
	ip link set lo up
	cp "$B/resolv.conf" /run/resolv.conf
	facts
	mount -t devtmpfs devtmpfs /dev
	clean='' # env is a program too
	uptime_cs
	echo "@f unready-from $now"
	run_stage unready "$2" >"$R/unready.txt"
	uptime_cs
	echo "@f unready-until $now"
	cat "$R/unready.txt"
	# Then wait for the pool (a program of the image may seed it now: the
	# runs before it was ready are over); past 40 s, seed it by reading
	# /dev/urandom, as the first uClibc-ng program would have.
	tries=0
	while ! dmesg | grep -q 'crng init done' && [ $tries -lt 50 ]; do
		[ $tries -ne 40 ] || {
			echo "@f seeded-by-reading-urandom"
			head -c 16 /dev/urandom >/dev/null
		}
		sleep 1
		tries=$((tries + 1))
	done
	echo "@f crng $(dmesg | sed -n 's/^\[ *\([0-9.]*\)\].*crng init done.*/\1/p' | head -n 1)"
	clean='env -i'
	run_stage ready "$2"
	stop_server
	echo "@end"
	poweroff -f
	;;
esac
