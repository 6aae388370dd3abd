#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq in booted systems, the guests of tables/guests, under qemu-system
# with no network device (lab/guests.sh): a firmware image that Buildroot
# builds offline, with its hostq on the device's uClibc-ng and the static
# builds through an overlay, or Debian's BusyBox and dnsmasq with the
# static builds. In each guest the end-to-end table's rows run
# (tests/boot/table.sh), the boot rows from an init script; the host
# judges what they printed. An unseeded guest boots once a binary, with
# the query ID rows run before the kernel's entropy pool is ready.
#
#   tests/boot_test.sh SOURCE_DIR WORK_DIR [GUEST...]   (all by default)
#
# Exits 77 (skipped), saying why on its last line, where a source, an
# emulator or a network namespace for the offline build is missing.
# shellcheck disable=SC2154 # g_*: the guest's row, which launch reads
set -u
src=$(cd "$1" && pwd) work=$2
shift 2
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
tools_table() { "$src/tools/table" "$@" || die "tools/table $* failed"; }
guests=("$@")
[ ${#guests[@]} -gt 0 ] || mapfile -t guests < <(tools_table guests --names)
[ ${#guests[@]} -gt 0 ] || die "no guests in tables/guests"
processors=() tools=(cpio dpkg-deb fakeroot)
for guest in "${guests[@]}"; do
	processor=$(tools_table guests "$guest" processor)
	[[ " ${processors[*]} " == *" $processor "* ]] || processors+=("$processor")
	tools+=("$(tools_table guests "$guest" qemu)")
done
for tool in "${tools[@]}"; do
	command -v "$tool" >/dev/null || skip "$tool missing (tools/install-deps): no guest is booted"
done
unshare -n true 2>/dev/null || skip "no network namespace (unshare -n): Buildroot is not run offline"
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
# shellcheck source=lab/buildroot.sh
. "$src/lab/buildroot.sh"
# shellcheck source=lab/guests.sh
. "$src/lab/guests.sh"
trap stop_qemu EXIT


# The static builds of the guests' processors, each from its preset
# (PROCESSOR-LIBRARY), and their flavours.
declare -A binary=() flavour_of=()
for preset in "${processors[@]/%/-uclibc}" "${processors[@]/%/-musl}"; do
	cache=$src/build/$preset/CMakeCache.txt
	if [ ! -f "$cache" ]; then
		cmake -S "$src" --preset "$preset" >"$work/$preset.log" 2>&1 ||
			die "the $preset configure step failed (see $work/$preset.log)"
	fi
	cmake --build "$src/build/$preset" >>"$work/$preset.log" 2>&1 || die "the $preset build failed (see $work/$preset.log)"
	binary[$preset]=$src/build/$preset/hostq
	flavour_of[$preset]=$(sed -n 's/^HOSTQ_FLAVOUR:STRING=//p' "$cache")
done

# The table's rows, laid out for the guests (lab/guests.sh's share).
stage=$work/stage

# judged NAME HOW...: what guest NAME printed, judged (tests/boot/table.sh
# HOW); one check.
judged() {
	local name=$1
	shift
	"$src/tests/boot/table.sh" "$1" "$2" "$work/$name.results" "${@:3}" | sed "/^FAIL: /!s/^/$name: /"
	check "$name: what it printed" test "${PIPESTATUS[0]}" -eq 0
}

for guest in "${guests[@]}"; do
	case $(tools_table guests "$guest" entropy) in
	seeded)
		launch "$guest" "$guest" 600 || {
			failed=$((failed + 1))
			continue
		}
		judged "$guest" seeded "$guest" "${binaries_of[$g_processor]}"
		;;
	unseeded)
		processor=$(tools_table guests "$guest" processor)
		image "$processor" "$(tools_table guests "$guest" image)"
		mapfile -t labels < <(awk '{ print $1 }' "${binaries_of[$processor]}")
		for label in "${labels[@]}"; do
			launch "$guest-$label" "$guest" 300 random.trust_cpu=off random.trust_bootloader=off \
				rdinit=/usr/share/hostq-boot/guest.sh -- unseeded "$label" || {
				failed=$((failed + 1))
				continue
			}
			judged "$guest-$label" unseeded "$guest" "${binaries_of[$processor]}" "$label"
		done
		;;
	*) die "tables/guests: $guest is neither seeded nor unseeded" ;;
	esac
done

finish
