#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq in booted systems, under qemu-system with no network device:
#  - a MIPS firmware image that Buildroot builds offline (BusyBox init and
#    shell, dnsmasq, the project's package on its uClibc-ng toolchain, and
#    the static mipsel builds through an overlay), on Debian's 4kc-malta
#    kernel with a 24Kf and a 74Kf;
#  - the static ARM builds on Debian's ARMv7 and AArch64 kernels, 4 KiB
#    and 16 KiB pages, with Debian's BusyBox and dnsmasq;
#  - a MIPS and an AArch64 boot without a seed for the kernel's entropy
#    pool, where the query ID rows run before the pool is ready.
# In each guest the end-to-end table's rows run (tests/boot/table.sh),
# the boot rows from an init script; the host judges what they printed.
#
#   tests/boot_test.sh SOURCE_DIR WORK_DIR [GUEST...]
#
# GUEST: malta-24kf malta-74kf armhf arm64-4k arm64-16k malta-unseeded
# arm64-unseeded (all by default). Exits 77 (skipped), saying why on its
# last line, where a source, an emulator or a network namespace for the
# offline build is missing.
set -u
src=$(cd "$1" && pwd) work=$2
shift 2
all=(malta-24kf malta-74kf armhf arm64-4k arm64-16k malta-unseeded arm64-unseeded)
guests=("$@")
[ ${#guests[@]} -gt 0 ] || guests=("${all[@]}")
for guest in "${guests[@]}"; do
	[[ " ${all[*]} " == *" $guest "* ]] || {
		echo "boot_test.sh: unknown guest $guest (${all[*]})" >&2
		exit 2
	}
done
die() {
	echo "FAIL: $*"
	exit 1
}
skip() {
	echo "SKIP: $*"
	exit 77
}
for tool in qemu-system-mipsel qemu-system-arm qemu-system-aarch64 cpio dpkg-deb fakeroot; do
	command -v "$tool" >/dev/null || skip "$tool missing (tools/install-deps): no guest is booted"
done
unshare -n true 2>/dev/null || skip "no network namespace (unshare -n): Buildroot is not run offline"
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
# shellcheck source=tests/buildroot/offline.sh
. "$src/tests/buildroot/offline.sh"
# shellcheck source=lab/guests.sh
. "$src/lab/guests.sh"
trap stop_qemu EXIT

# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"

# The static builds, each from its preset, and their flavours as each
# build read them off its C library.
declare -A binary=() flavour_of=()
for preset in mipsel-uclibc mipsel-musl armhf-uclibc armhf-musl aarch64-uclibc aarch64-musl; do
	cache=$src/build/$preset/CMakeCache.txt
	if [ ! -f "$cache" ]; then
		cmake -S "$src" --preset "$preset" >"$work/$preset.log" 2>&1 ||
			die "the $preset configure step failed (see $work/$preset.log)"
	fi
	cmake --build "$src/build/$preset" >>"$work/$preset.log" 2>&1 || die "the $preset build failed (see $work/$preset.log)"
	binary[$preset]=$src/build/$preset/hostq
	flavour_of[$preset]=$(sed -n 's/^HOSTQ_LIBC:STRING=//p' "$cache")-$(sed -n 's/^HOSTQ_LIBC_VERSION:STRING=//p' "$cache")
done

# The table's rows, laid out for the guests, for every flavour.
stage=$work/stage
mapfile -t flavours < <(printf '%s\n' "${flavour_of[@]}" | sort -u)
for flavour in "${flavours[@]}"; do
	"$src/tests/boot/table.sh" emit "$flavour" "$stage" >"$work/left-out-$flavour" ||
		die "tests/boot/table.sh emit $flavour failed"
done
echo "Rows the guests leave out (the lab's alone):"
sed 's/^left out: /  /' "$work/left-out-${flavours[0]}"
for flavour in "${flavours[@]}"; do
	cmp -s "$work/left-out-${flavours[0]}" "$work/left-out-$flavour" ||
		die "the flavours leave out different rows: $(diff "$work/left-out-${flavours[0]}" "$work/left-out-$flavour" | head -n 3)"
done

# booted: boot (lab/guests.sh), a failure counted.
booted() {
	boot "$@" && return
	failed=$((failed + 1))
	return 1
}

# judge NAME BINARIES STAGE...: every binary of the guest (its file
# "binaries"), every stage.
judge() {
	local name=$1 binaries=$2 label flavour at out
	shift 2
	while read -r label _ flavour; do
		for at in "$@"; do
			out=$("$src/tests/boot/table.sh" judge "$flavour" "$work/$name.results/$label" "$at")
			check "$name: $label: $at rows" test $? -eq 0
			grep -v '^ok ' <<<"$out" | sed "s|^|$name: $label: $at: |"
		done
	done <"$binaries"
}

# unseeded NAME BINARIES LABEL: a boot without a seed, for one binary:
# the pool was not ready when its first run began; and its runs then took
# no longer than once the pool was, give or take the one-off second the
# kernel may spend seeding its pool on the first read of /dev/urandom.
unseeded() {
	local name=$1-$3 row a b
	shift
	booted "$name" 300 "${unseeded_qemu[@]}" \
		-append "panic=-1 $console random.trust_cpu=off random.trust_bootloader=off rdinit=/usr/share/hostq-boot/guest.sh -- unseeded $2" ||
		return
	grep "^$2 " "$1" >"$work/$name.binaries"
	judge "$name" "$work/$name.binaries" unready ready
	local facts=$work/$name.results/facts crng from
	crng=$(sed -n 's/^crng //p' "$facts")
	from=$(sed -n 's/^unready-from //p' "$facts")
	echo "$name: pool ready at ${crng:-never} s$(grep -q '^seeded-by-reading-urandom' "$facts" &&
		echo ', seeded by a read of /dev/urandom at 40 s'); the first run began at $((from / 100)).$((from % 100)) s"
	check "$name: the pool was ready before the first run: nothing was tested" \
		awk -v c="$crng" -v f="$from" 'BEGIN { exit !(c != "" && c * 100 > f) }'
	for row in "$work/$name.results/$2/unready"/*/; do
		a=$(cat "$row/elapsed") b=$(cat "${row/unready/ready}/elapsed" 2>/dev/null || echo 0)
		echo "$name: $a ms before the pool was ready, $b ms after"
		check "$name: slower before the pool was ready" test "$a" -le $((b + 2000))
	done
}

for guest in "${guests[@]}"; do
	case $guest in
	malta-*)
		if [ -z "${initrd_mips:-}" ]; then
			mips_image
			# Buildroot's offline proof: nothing fetched, no download tried.
			check "image: the log shows a download" offline_log "$image_out/make.log"
			check "image: something landed in the download folder" test -z "$(downloaded "$image_br")"
			check "image: the patchelf stand-in met a target file it cannot handle" \
				bash -c "! grep -F 'patchelf stand-in: $image_out/target/' '$image_out/make.log'"
		fi
		[ -n "${k_mips:-}" ] || k_mips=$(kernel mipsel linux-image-4kc-malta) || die "no mipsel kernel"
		;;
	armhf) [ -n "${initrd_armhf:-}" ] || arm_initrd armhf arm-linux-gnueabihf armhf-uclibc armhf-musl ;;
	arm64-*) [ -n "${initrd_arm64:-}" ] || arm_initrd arm64 aarch64-linux-gnu aarch64-uclibc aarch64-musl ;;
	esac
	case $guest in
	malta-24kf | malta-74kf)
		cpu=24Kf
		[ "$guest" = malta-24kf ] || cpu=74Kf
		booted "$guest" 600 qemu-system-mipsel -M malta -cpu "$cpu" -m 256 -kernel "$k_mips" -initrd "$initrd_mips" \
			-append "panic=-1 console=ttyS0" && judge "$guest" "$mips_binaries" boot table
		;;
	armhf)
		k=$(kernel armhf linux-image-armmp) || die "no armhf kernel"
		booted "$guest" 600 qemu-system-arm -M virt -cpu cortex-a15 -m 512 -kernel "$k" \
			-initrd "$initrd_armhf" -append "panic=-1 console=ttyAMA0" && judge "$guest" "$armhf_binaries" boot table
		;;
	arm64-4k | arm64-16k)
		if [ "$guest" = arm64-4k ]; then
			k=$(kernel arm64 linux-image-arm64) cpu=cortex-a53
		else
			k=$(kernel arm64 linux-image-6.12-arm64-16k) cpu=cortex-a76
		fi || die "no arm64 kernel"
		booted "$guest" 600 qemu-system-aarch64 -M virt -cpu "$cpu" -m 512 -kernel "$k" -initrd "$initrd_arm64" \
			-append "panic=-1 console=ttyAMA0" && judge "$guest" "$arm64_binaries" boot table
		;;
	malta-unseeded)
		unseeded_qemu=(qemu-system-mipsel -M malta -cpu 24Kf -m 256 -kernel "$k_mips" -initrd "$initrd_mips")
		console=console=ttyS0
		for label in buildroot uclibc-static musl-static; do
			unseeded "$guest" "$mips_binaries" "$label"
		done
		;;
	arm64-unseeded)
		k=$(kernel arm64 linux-image-arm64) || die "no arm64 kernel"
		# shellcheck disable=SC2054 # a qemu option, commas and all
		unseeded_qemu=(qemu-system-aarch64 -M virt,dtb-randomness=off -cpu cortex-a53 -m 512 -kernel "$k" -initrd "$initrd_arm64")
		console=console=ttyAMA0
		for label in uclibc-static musl-static; do
			unseeded "$guest" "$arm64_binaries" "$label"
		done
		;;
	esac
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
