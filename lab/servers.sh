# shellcheck shell=bash disable=SC2154 # $world is world.sh's
# SPDX-License-Identifier: MIT
# The DNS servers of the lab's world, on port 53 of loopback addresses.
# Sourced inside its namespaces (lab/world.sh); $world is the world's
# folder.
#
#   use_server SERVERS  none, or SERVER[@ADDRESS] joined by '+', SERVER
#                       one of dnsmasq, nsd, fault:MODE; ADDRESS 127.0.0.1
#                       unless given (a no-op when already running)
#   stop_server
#   logs_queries SERVERS   true when every one of them logs its queries
#   dns_log_mark / dns_log_since_mark   the query log since the mark
#
# The query log is dnsmasq's; the misbehaving responder writes the same
# lines into it. nsd keeps none.

server='' server_pids=()
lab=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Names and addresses the DNS server knows; /etc/hosts is not served. A
# user of the lab adds its own in $world/extra-hosts (hosts format).
dns_hosts() {
	echo '10.0.0.1 one.test'
	printf '10.0.0.%s three.test\n' 1 2 3
	echo '10.0.0.7 both.test'
	echo '10.0.0.4 with-hyphen.test'
	echo '10.0.0.11 chain-end.test'
	for i in $(seq 1 60); do echo "10.6.0.$i big.test"; done
	echo '192.0.2.1 ptr.test'
	# A dotted short name that is also a name of its own: which one a
	# lookup finds tells whether the search list came first (ndots).
	echo '10.0.0.30 deep.sub'
	echo '10.0.0.31 deep.sub.test'
}

# Every dnsmasq also serves where.test, with an address of its own (and
# its PTR record), so that an answer tells which server gave it.
where_address() {
	case $1 in
	*:*) echo 10.9.6.6 ;;
	*) echo "10.9.0.${1##*.}" ;;
	esac
}

# dnsmasq_conf ADDRESS DATA RUN: the configuration of a dnsmasq on
# ADDRESS that reads its names from the folder DATA (dns_hosts in
# dns-hosts, where_address in where-ADDRESS, extra-hosts when DATA has it)
# and keeps its pid file and query log in the folder RUN.
dnsmasq_conf() {
	cat <<CONF
port=53
listen-address=$1
bind-interfaces
no-resolv
no-hosts
no-poll
user=root
group=
pid-file=$3/dnsmasq-$1.pid
log-queries
log-facility=$3/queries.log
local=/test/
local=/in-addr.arpa/
addn-hosts=$2/dns-hosts
addn-hosts=$2/where-$1
$([ -e "$2/extra-hosts" ] && echo "addn-hosts=$2/extra-hosts")
host-record=v6only.test,2001:db8::1
cname=chain-start.test,chain-mid.test
cname=chain-mid.test,chain-end.test
CONF
}

start_dnsmasq() {
	local address=$1 conf=$world/dnsmasq-$1.conf
	dns_hosts >"$world/dns-hosts"
	echo "$(where_address "$address") where.test" >"$world/where-$address"
	dnsmasq_conf "$address" "$world" "$world" >"$conf"
	# Without --no-daemon the first process exits once the daemon is
	# ready, non-zero when it failed.
	dnsmasq --conf-file="$conf" || return 1
	server_pids+=("$(cat "$world/dnsmasq-$address.pid")")
}

start_nsd() {
	mkdir -p "$world/nsd"
	# The order rows check that the answer keeps the zone's order; nsd
	# keeps it (knot, for one, sorts the records).
	cat >"$world/nsd/test.zone" <<'ZONE'
$ORIGIN test.
$TTL 60
@	SOA	ns.test. admin.test. 1 3600 600 86400 60
@	NS	ns.test.
ns	A	127.0.0.1
ordered	A	10.0.0.3
ordered	A	10.0.0.1
ordered	A	10.0.0.2
ordered	A	10.0.0.13
ZONE
	cat >"$world/nsd/nsd.conf" <<CONF
server:
    ip-address: 127.0.0.1
    port: 53
    username: ""
    chroot: ""
    zonesdir: "$world/nsd"
    database: ""
    pidfile: "$world/nsd/nsd.pid"
    xfrdfile: "$world/nsd/xfrd.state"
    zonelistfile: "$world/nsd/zone.list"
    logfile: "$world/nsd/nsd.log"
    server-count: 1
    verbosity: 0
remote-control:
    control-enable: no
zone:
    name: test.
    zonefile: test.zone
CONF
	nsd -d -c "$world/nsd/nsd.conf" &
	server_pids+=($!)
	"$lab/dns_tool.py" probe ordered.test
}

# The misbehaving responder; it logs the ID of every query to ids.log.
start_fault() {
	local ready=$world/fault-$2.ready pid
	rm -f "$ready"
	"$lab/dns_tool.py" serve "$1" "$2" "$ready" "$world/ids.log" "$world/queries.log" &
	pid=$!
	server_pids+=("$pid")
	for _ in $(seq 1 500); do
		[ -e "$ready" ] && return 0
		kill -0 "$pid" 2>/dev/null || return 1
		sleep 0.01
	done
	return 1
}

stop_server() {
	local pid
	for pid in "${server_pids[@]}"; do
		kill "$pid" 2>/dev/null
		# Not always our child (daemons): watch the PID go. An orphan
		# becomes this shell's, the namespace's init, and stays a zombie
		# until the wait below, which counts as gone.
		for _ in $(seq 1 500); do
			alive "$pid" || break
			sleep 0.01
		done
		wait "$pid" 2>/dev/null
	done
	server='' server_pids=()
}

alive() {
	local stat
	stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
	stat=${stat##*) }
	[ "${stat%% *}" != Z ]
}

use_server() {
	[ "$1" = "$server" ] && return 0
	stop_server
	: >"$world/queries.log"
	local one kind address
	[ "$1" = none ] && server=none && return 0
	for one in ${1//+/ }; do
		kind=${one%%@*} address=127.0.0.1
		[ "$kind" = "$one" ] || address=${one#*@}
		case $kind in
		dnsmasq) start_dnsmasq "$address" ;;
		nsd) start_nsd ;;
		fault:*) start_fault "${kind#fault:}" "$address" ;;
		*) false ;;
		esac || {
			echo "e2e: could not start server $one" >&2
			stop_server
			return 1
		}
	done
	server=$1
}

logs_queries() {
	local one
	[ "$1" != none ] || return 1
	for one in ${1//+/ }; do
		case ${one%%@*} in
		dnsmasq | fault:*) ;;
		*) return 1 ;;
		esac
	done
}

log_mark=0
dns_log_mark() { log_mark=$(stat -c %s "$world/queries.log" 2>/dev/null || echo 0); }
dns_log_since_mark() { tail -c +"$((log_mark + 1))" "$world/queries.log" 2>/dev/null; }
