#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark: hostq beside the tools a user would pick instead, in the
# end-to-end world against the same local dnsmasq, on the same queries.
# Prints figures and writes them to results/; it never passes or fails.
#
#   bench/run.sh [--runs N] [--build DIR] [--out DIR]
#
# --runs:  timed runs per tool and query, interleaved (default 200)
# --build: the host build with hostq and bench/hostq_floor (default build/host)
# --out:   where bench.md, bench.svg and bench.tsv go (default results)
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
runs=200 build=$top/build/host out=$top/results
while [ $# -gt 1 ]; do
	case $1 in
	--runs) runs=$2 ;;
	--build) build=$(realpath "$2") ;;
	--out) out=$(realpath -m "$2") ;;
	*) break ;;
	esac
	shift 2
done

if [ -z "${HOSTQ_E2E_WORLD:-}" ]; then
	for tool in "$build/hostq" "$build/bench/hostq_floor"; do
		[ -x "$tool" ] || {
			echo "bench: $tool missing: cmake --workflow --preset host" >&2
			exit 1
		}
	done
	for tool in getent gethostip dig valgrind /usr/bin/time; do
		command -v "$tool" >/dev/null || {
			echo "bench: $tool missing: tools/install-deps" >&2
			exit 1
		}
	done
	mkdir -p "$out"
fi
. "$top/tests/e2e/world.sh"
enter_world "$0" --runs "$runs" --build "$build" --out "$out"
# getent ahostsv4 asks getaddrinfo with AI_ADDRCONFIG, which answers
# nothing on a host whose only IPv4 address is 127.0.0.1. A second
# loopback address is enough for it, and stays on lo.
ip addr add 127.0.0.2/8 dev lo || exit 1
. "$top/tests/e2e/servers.sh"
trap stop_server EXIT
use_server dnsmasq || exit 1

tools=(hostq floor getent gethostip dig)
queries=(hostsonly.test one.test three.test missing.test 192.0.2.1)
getent=$(command -v getent) gethostip=$(command -v gethostip) dig=$(command -v dig)

# The command line a user would type for each tool and query.
command_for() {
	local tool=$1 query=$2
	case $tool in
	hostq) cmd=("$build/hostq" "$query") ;;
	floor) cmd=("$build/bench/hostq_floor" "$query") ;;
	getent) cmd=("$getent" ahostsv4 "$query") ;;
	gethostip) cmd=("$gethostip" -d "$query") ;;
	dig)
		if [[ $query =~ ^[0-9.]+$ ]]; then
			cmd=("$dig" +short -x "$query")
		else
			cmd=("$dig" +short "$query")
		fi
		;;
	esac
}

tsv=$out/bench.tsv
printf 'tool\tquery\tinstructions\twall_us\trss_kb\toutput\n' >"$tsv"
declare -A instructions rss output
for tool in "${tools[@]}"; do
	for query in "${queries[@]}"; do
		command_for "$tool" "$query"
		env -i valgrind --tool=callgrind --callgrind-out-file="$world/cg.out" \
			"${cmd[@]}" >/dev/null 2>&1
		instructions[$tool,$query]=$(awk '$1 == "summary:" || $1 == "totals:" {print $2; exit}' "$world/cg.out")
		rss[$tool,$query]=$(env -i /usr/bin/time -f %M "${cmd[@]}" 2>&1 >/dev/null | tail -n 1)
		output[$tool,$query]=$(env -i "${cmd[@]}" 2>/dev/null | tr '\n' ' ')
	done
done

# Interleaved, so that a change in the machine's load spreads evenly.
declare -A times
for ((r = 0; r < runs; r++)); do
	for query in "${queries[@]}"; do
		for tool in "${tools[@]}"; do
			command_for "$tool" "$query"
			start=${EPOCHREALTIME/./}
			env -i "${cmd[@]}" >/dev/null 2>&1
			times[$tool,$query]+="$((${EPOCHREALTIME/./} - start)) "
		done
	done
done
for tool in "${tools[@]}"; do
	for query in "${queries[@]}"; do
		median=$(tr ' ' '\n' <<<"${times[$tool,$query]}" | grep . | sort -n |
			awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2)}')
		printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$tool" "$query" "${instructions[$tool,$query]}" \
			"$median" "${rss[$tool,$query]}" "${output[$tool,$query]}" >>"$tsv"
	done
done
stop_server
echo "runs: $runs per tool and query" >"$out/bench.runs"
