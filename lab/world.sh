# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# The lab's world: private user, network, mount and PID namespaces with
# only loopback, a private /etc whose resolver files are the test's, and a
# refusal to go on unless every query can only stay inside. Sourced.
#
#   enter_world SCRIPT ARG...
#
# Outside the namespaces it runs "bash SCRIPT ARG..." inside fresh ones and
# exits with its status; inside, it builds the world and returns, with
# $world the world's folder (a tmpfs that dies with the namespaces).
# Where the world cannot be made (no user namespaces, as in a package
# build's chroot, or a program missing: those of world_needs too), it
# says why in one line and exits 77, the tests' code for skipped.
world_needs=()
enter_world() {
	if [ -z "${HOSTQ_E2E_WORLD:-}" ]; then
		local status lacks=() tool
		for tool in unshare ip /usr/bin/python3 "${world_needs[@]}"; do
			command -v "$tool" >/dev/null || lacks+=("$tool")
		done
		unshare --user --map-root-user --net --mount --pid --fork true 2>/dev/null ||
			lacks+=("user, network, mount and PID namespaces (unshare)")
		if [ ${#lacks[@]} -gt 0 ]; then
			echo "SKIP: ${1##*/}: this machine lacks $(printf '%s, ' "${lacks[@]}" | sed 's/, $//')"
			exit 77
		fi
		world=$(mktemp -d)
		HOSTQ_E2E_WORLD=$world unshare --user --map-root-user --net --mount --pid \
			--fork --kill-child --mount-proc bash "$@"
		status=$?
		# Every mount went with the namespaces: only an empty folder is left.
		rmdir "$world" 2>/dev/null || rm -rf --one-file-system "$world"
		exit $status
	fi

	# Inside. All of the world lives on a tmpfs that dies with the namespace.
	world=$HOSTQ_E2E_WORLD
	mount -t tmpfs -o mode=0755 hostq-e2e "$world" || exit 1
	mkdir "$world/real-etc"
	mount --bind /etc "$world/real-etc" && mount -o remount,bind,ro "$world/real-etc" || exit 1

	# A private /etc: links to the real entries, except the resolver's own
	# files, which are ours. A resolv.conf that is a link, even a dangling
	# one, is simply not linked.
	mount -t tmpfs -o mode=0755 hostq-etc /etc || exit 1
	shopt -s dotglob nullglob
	ln -s -t /etc "$world"/real-etc/* || exit 1
	shopt -u dotglob nullglob
	rm -f /etc/hosts /etc/resolv.conf /etc/nsswitch.conf /etc/host.conf
	[ -d /run/nscd ] && mount -t tmpfs -o mode=0755 hostq-nscd /run/nscd
	echo 'hosts: files dns' >/etc/nsswitch.conf
	echo 'multi on' >/etc/host.conf
	ip link set lo up || exit 1

	write_resolv_conf "$world_resolv_conf"
	write_hosts

	if ! isolated; then
		echo "e2e: not in a private namespace with a loopback-only resolver; refusing to run" >&2
		exit 1
	fi
}

# The world's resolv.conf. One option a line: uClibc-ng reads only the
# first of a line.
world_resolv_conf=$'nameserver 127.0.0.1\noptions timeout:1\noptions attempts:1\n'

# write_resolv_conf CONTENT: written in place, since a rename would not be
# seen by a process that opened the old file, and the test wants every run
# to read the current one. Refuses (and writes nothing) when a name server
# is outside loopback.
write_resolv_conf() {
	local conf=$1
	loopback_only <<<"$conf" || return 1
	[ ! -L /etc/resolv.conf ] || rm /etc/resolv.conf
	printf '%s' "$conf" >/etc/resolv.conf
}

# The world's /etc/hosts, written in place.
write_hosts() { world_hosts >/etc/hosts; }

world_hosts() {
	cat <<-'HOSTS'
	127.0.0.1	localhost
	10.0.0.9	hostsonly.test
	10.0.0.8	both.test
	10.0.0.5	twice.test
	10.0.0.6	twice.test
	10.1.0.3	composed.test
	HOSTS
}

# /etc/resolv.conf as a firmware leaves it at boot: a link to a file that
# the network daemon has not written yet. write_resolv_conf undoes it.
dangle_resolv_conf() {
	rm -f /etc/resolv.conf
	ln -s "$world/not-yet/resolv.conf" /etc/resolv.conf
}

# Every name server read from standard input is 127.0.0.0/8 or ::1, or
# no address at all: a value that no C library can read as one (no
# digit, no colon), or one that starts with 127., which any reading that
# accepts it at all puts in 127.0.0.0/8.
loopback_only() {
	awk '$1 == "nameserver" && !($2 ~ /^127\./ || $2 == "::1" || $2 !~ /[0-9:]/) {bad = 1}
		END {exit bad}'
}

# Every query can only reach this namespace.
isolated() {
	local links
	links=$(ip -o link show | awk -F': ' '{print $2}')
	[ "$links" = lo ] && loopback_only </etc/resolv.conf
}
