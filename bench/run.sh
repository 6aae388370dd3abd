#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Benchmark: hostq beside the tools a user would pick instead, in the
# end-to-end world against the same local dnsmasq, on the same queries;
# then hostq beside its C floor on every target build, in executed target
# instructions. Prints nothing but progress; writes bench.tsv and
# targets.tsv to the output folder. Figures, never a verdict.
#
#   bench/run.sh [--runs N] [--build DIR] [--targets DIR...] [--out DIR]
#
# --runs:    timed runs per tool and query, in a shuffled order (default 200)
# --build:   the host build with hostq and bench/hostq_floor (default build/host)
# --targets: target builds (a folder with CMakeCache.txt, hostq and
#            bench/hostq_floor), as one space-separated word
# --out:     where the figures go (default results)
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
runs=200 build=$top/build/host out=$top/results targets=''
while [ $# -gt 1 ]; do
	case $1 in
	--runs) runs=$2 ;;
	--build) build=$(realpath "$2") ;;
	--targets) targets=$2 ;;
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
# shellcheck source=lab/world.sh
. "$top/lab/world.sh"
world_needs=(dnsmasq valgrind)
enter_world "$0" --runs "$runs" --build "$build" --targets "$targets" --out "$out"
# getent ahostsv4 asks getaddrinfo with AI_ADDRCONFIG, which answers
# nothing on a host whose only IPv4 address is 127.0.0.1. A second
# loopback address is enough for it, and stays on lo.
ip addr add 127.0.0.2/8 dev lo || exit 1
# shellcheck source=lab/servers.sh
. "$top/lab/servers.sh"
trap stop_server EXIT
use_server dnsmasq || exit 1

# hostq-copy is hostq under another name: the two must come out within
# noise of each other, or the method is unfair.
cp "$build/hostq" "$world/hostq-copy"
# The tools in the order the report shows them, and how it names them.
tools=(hostq hostq-copy floor getent gethostip dig)
declare -A label=([hostq]=hostq [hostq-copy]="hostq, a copy" [floor]="C floor"
	[getent]="getent ahostsv4" [gethostip]="gethostip -d" [dig]="dig +short")
queries=(hostsonly.test one.test three.test missing.test 192.0.2.1)
getent=$(command -v getent) gethostip=$(command -v gethostip) dig=$(command -v dig)

# The command line a user would type for each tool and query.
command_for() {
	local tool=$1 query=$2
	case $tool in
	hostq) cmd=("$build/hostq" "$query") ;;
	hostq-copy) cmd=("$world/hostq-copy" "$query") ;;
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
printf 'tool\tlabel\tbytes\tquery\tinstructions\twall_us\twall_q1_us\twall_q3_us\trss_kb\toutput\n' >"$tsv"
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

# Every round runs each tool once per query, in an order shuffled anew
# (fixed seed): no tool always follows the same one, or always runs first.
RANDOM=1
declare -A times
order=()
for tool in "${tools[@]}"; do
	for query in "${queries[@]}"; do order+=("$tool,$query"); done
done
for ((r = 0; r < runs; r++)); do
	for ((i = ${#order[@]} - 1; i > 0; i--)); do
		j=$((RANDOM % (i + 1)))
		t=${order[i]} order[i]=${order[j]} order[j]=$t
	done
	for pair in "${order[@]}"; do
		command_for "${pair%%,*}" "${pair#*,}"
		start=${EPOCHREALTIME/./}
		env -i "${cmd[@]}" >/dev/null 2>&1
		times[$pair]+="$((${EPOCHREALTIME/./} - start)) "
	done
done
quartiles() {
	tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1}
		END {printf "%d\t%d\t%d", v[int((NR + 1) / 2)], v[int(NR / 4) + 1], v[int(3 * NR / 4) + 1]}'
}
for tool in "${tools[@]}"; do
	for query in "${queries[@]}"; do
		command_for "$tool" "$query"
		printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tool" "${label[$tool]}" "$(stat -L -c %s "${cmd[0]}")" \
			"$query" "${instructions[$tool,$query]}" \
			"$(quartiles <<<"${times[$tool,$query]}")" "${rss[$tool,$query]}" "${output[$tool,$query]}" >>"$tsv"
	done
done
echo "runs: $runs per tool and query" >"$out/bench.runs"

# Target builds: every instruction the emulated processor executes, one
# "Trace" line each in qemu's log, for the whole process (start-up, loader
# and libc included), once per query.
printf 'build\tquery\thostq\tfloor\toutput\n' >"$out/targets.tsv"
for target in $targets; do
	runner=$(sed -n 's/^HOSTQ_RUNNER:STRING=//p' "$target/CMakeCache.txt")
	read -r -a prefix <<<"$runner"
	for query in "${queries[@]}"; do
		row="${target##*/}	$query"
		for program in hostq bench/hostq_floor; do
			env -i "${prefix[@]}" -singlestep -d exec,nochain -D "$world/trace" \
				"$target/$program" "$query" >"$world/${program##*/}.out" 2>/dev/null
			row+="	$(grep -c '^Trace' "$world/trace")"
		done
		# The floor must have done the same work (dnsmasq rotates the order).
		cmp -s <(sort "$world/hostq.out") <(sort "$world/hostq_floor.out") ||
			row+=" (floor printed otherwise)"
		printf '%s\t%s\n' "$row" "$(tr '\n' ' ' <"$world/hostq.out")" >>"$out/targets.tsv"
	done
done
stop_server
