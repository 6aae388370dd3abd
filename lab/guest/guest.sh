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
# query IDs as hex lines "@o", "@e", "@l", "@i", and "@z". In the
# unseeded boot, each run also gets "@f pool LABEL STAGE N K BEFORE
# AFTER": whether the pool was ready (pool_probe) right before run K of
# row N and right after it.
B=/usr/share/hostq-boot
R=/tmp/e2e
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mkdir -p "$R"
server='' pids='' clean='env -i' hold='' held='' probe=''

uptime_cs() { # sets now
	read -r up _ </proc/uptime
	now=${up%.*}${up#*.}
	now=${now#0}
}
size() { if [ -f "$1" ]; then wc -c <"$1"; else echo 0; fi; }
hex() { od -An -tx1 -v "$2" | sed "s/ //g; s/^/@$1 /"; }
# Builtins only, here and on the way to a run in the unseeded boot: a
# program of the Buildroot image reads /dev/urandom as it starts
# (uClibc-ng's stack guard), and the kernel readies its pool on the
# first such read.
alive() {
	[ -d "/proc/$1" ] || return 1
	while read -r key value _; do
		[ "$key" != State: ] || [ "$value" != Z ] || return 1
	done <"/proc/$1/status"
}
put() { # SRC DST: a copy of a text file, without a program
	while IFS= read -r line || [ -n "$line" ]; do
		printf '%s\n' "$line"
	done <"$1" >"$2"
}
pool() { # sets state: ready, unready or failed
	if "$B/pool_probe"; then
		state=ready
	elif [ $? -eq 1 ]; then
		state=unready
	else
		state=failed
	fi
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
	[ -z "$hosts" ] || put "${file%.row}.hosts" /etc/hosts
	case $resolv in
	dangling) rm -f /run/resolv.conf ;;
	file) put "${file%.row}.resolv" /run/resolv.conf ;;
	esac
	log_mark=0
	[ "${srv%%:*}" = fault ] || log_mark=$(size "$R/queries.log")
	# Held, a row's results wait in files of their own until report_held.
	o=$R/out e=$R/err
	[ -z "$hold" ] || o=$R/held/$n.out e=$R/held/$n.err
	: >"$R/ids"
	: >"$o"
	: >"$e"
	[ -z "$hold" ] || : >"$R/held/$n.pool"
	uptime_cs
	start=$now
	if [ -n "$runs" ]; then
		status=0 k=1 first=$1
		shift
		while [ $k -le "$runs" ]; do
			echo run >>"$R/ids"
			[ -z "$probe" ] || { pool && before=$state; }
			$clean "$bin" "$first$k" "$@" >>"$o" 2>>"$e" || status=$?
			[ -z "$probe" ] || {
				pool
				echo "@f pool $label $at $n $k $before $state" >>"$R/held/$n.pool"
			}
			k=$((k + 1))
		done
	else
		case $sink in
		'') $clean "$bin" "$@" >"$o" 2>"$e" ;;
		closed) $clean "$bin" "$@" >&- 2>"$e" ;;
		full) $clean "$bin" "$@" >/dev/full 2>"$e" ;;
		esac
		status=$?
	fi
	uptime_cs
	elapsed=$(((now - start) * 10))
	[ -z "$hosts" ] || put "$B/hosts" /etc/hosts
	[ -z "$resolv" ] || [ "$at" = boot ] || put "$B/resolv.conf" /run/resolv.conf
	if [ -n "$hold" ]; then
		put "$R/ids" "$R/held/$n.ids"
		echo "$label $at $n $status $elapsed $log_mark" >"$R/held/$n.row"
		held="$held $n"
		return
	fi
	i=$R/ids
	report "$label" "$at" "$n" "$status" "$elapsed" "$log_mark"
}

# report LABEL STAGE N STATUS ELAPSED LOG_MARK: a row's result, from
# $o, $e and $i, and the query log past LOG_MARK.
report() {
	tail -c +"$(($6 + 1))" "$R/queries.log" >"$R/log" 2>/dev/null || : >"$R/log"
	echo "@r $1 $2 $3 $4 $5 $(size "$o") $(size "$e") $(size "$R/log") $(size "$i")"
	hex o "$o"
	hex e "$e"
	hex l "$R/log"
	hex i "$i"
	echo "@z"
}

# report_held: the results of the rows held, in their order, and what the
# pool probe said around their runs. $R/ids stays as it is: the NXDOMAIN
# responder holds it open, and a copy onto it may make a new file.
report_held() {
	for n in $held; do
		o=$R/held/$n.out e=$R/held/$n.err i=$R/held/$n.ids
		read -r label at _ status elapsed log_mark <"$R/held/$n.row"
		report "$label" "$at" "$n" "$status" "$elapsed" "$log_mark"
		cat "$R/held/$n.pool"
	done
	held=''
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
	# no applet links yet. /dev comes last. From there until the runs
	# before the pool is ready are over, only the shell, the binary and
	# the pool probe run: the results wait (hold). Both stages run the
	# same way: held, probed, in the environment the kernel gave this
	# process (env is a program too).
	[ -e /bin/mount ] || /bin/busybox --install -s
	mount -t proc proc /proc
	mount -t tmpfs tmpfs /run
	mount -t tmpfs tmpfs /tmp
	mkdir -p "$R/held"
	ip link set lo up
	cp "$B/resolv.conf" /run/resolv.conf
	facts
	mount -t devtmpfs devtmpfs /dev
	clean='' hold=1 probe=1
	uptime_cs
	echo "@f unready-from $now"
	run_stage unready "$2"
	uptime_cs
	echo "@f unready-until $now"
	report_held
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
	run_stage ready "$2"
	report_held
	stop_server
	echo "@end"
	poweroff -f
	;;
esac
