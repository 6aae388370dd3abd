# shellcheck shell=bash disable=SC2154,SC2034 # the test gives src, work, stage, binary; reads what this sets
# SPDX-License-Identifier: MIT
# The lab's booted guests: their root filesystems and kernels, and qemu.
# Sourced by tests/boot_test.sh, which gives src (the source tree), work
# (a folder of its own), stage (the rows, tests/boot/table.sh emit),
# binary and flavour_of (the static builds and their flavours, by preset),
# and die and skip.
#
#   mips_image        Buildroot's MIPS image (image_br, image_out,
#                     initrd_mips)
#   arm_initrd ARCH TRIPLE UCLIBC MUSL    an ARM initramfs (initrd_ARCH)
#   kernel ARCH PACKAGE                   the path of a Debian kernel
#   boot NAME LIMIT QEMU...               a boot, its console decoded
#   stop_qemu                             stops every qemu started
qemu_pids=()
stop_qemu() {
	local pid
	for pid in "${qemu_pids[@]}"; do
		kill "$pid" 2>/dev/null
	done
}

# fetch VAR NAME: VAR becomes tools/source's path for NAME.
fetch() {
	local out status=0
	out=$("$src/tools/source" "$2") || status=$?
	case $status in
	0) printf -v "$1" %s "$out" ;;
	77) skip "${out#SKIP: }" ;;
	*) die "tools/source $2 failed" ;;
	esac
}

# share ROOT TRIPLE LINES: the guest's part of a root filesystem: the
# rows, guest.sh, the NXDOMAIN responder built for TRIPLE, and a file
# "binaries" of LINES (LABEL PATH FLAVOUR).
share() {
	local root=$1 triple=$2 dir=$1/usr/share/hostq-boot
	mkdir -p "$dir" "$root/etc"
	cp -r "$stage/." "$dir/"
	cp "$src/lab/guest/guest.sh" "$dir/"
	"$triple-g++" -std=c++20 -O2 -static -fno-exceptions -fno-rtti -o "$dir/nxdomain_responder" \
		"$src/lab/guest/nxdomain_responder.cc" || die "cannot build the NXDOMAIN responder for $triple"
	printf '%s\n' "$3" >"$dir/binaries"
	cp "$stage/dns/dnsmasq-127.0.0.1.conf" "$root/etc/dnsmasq.conf"
	cp "$stage/hosts" "$root/etc/hosts"
}

# The MIPS image: Buildroot, offline, on the project's uClibc-ng.
mips_image() {
	# shellcheck disable=SC2034 # read through ${!pkg} below
	local tarball host_tar host_pkgconf busybox dnsmasq
	fetch tarball buildroot-2026.02.3
	fetch host_tar debian:tar/bookworm=1.34
	fetch host_pkgconf debian:pkgconf/bookworm=1.8.1
	fetch busybox debian:busybox/bookworm=1.35.0
	fetch dnsmasq debian:dnsmasq/bookworm=2.90
	tar -xf "$tarball" -C "$work" || die "cannot unpack $tarball"
	local br out=$work/image overlay=$work/overlay pkg
	br=$(echo "$work"/buildroot-*)
	mkdir -p "$out" "$overlay/etc/init.d" "$overlay/usr/share/hostq-boot"
	for pkg in host_tar host_pkgconf busybox dnsmasq; do
		dpkg-source -x "${!pkg}" "$work/src-$pkg" >"$work/src-$pkg.log" 2>&1 ||
			die "cannot unpack ${!pkg} (see $work/src-$pkg.log)"
	done
	cp "${binary[mipsel-uclibc]}" "$overlay/usr/share/hostq-boot/hostq-uclibc"
	cp "${binary[mipsel-musl]}" "$overlay/usr/share/hostq-boot/hostq-musl"
	# Buildroot's hostq is on the same uClibc-ng as the static build (the
	# toolchain's is checked below).
	share "$overlay" mipsel-linux-gnu "buildroot /usr/bin/hostq ${flavour_of[mipsel-uclibc]}
uclibc-static /usr/share/hostq-boot/hostq-uclibc ${flavour_of[mipsel-uclibc]}
musl-static /usr/share/hostq-boot/hostq-musl ${flavour_of[mipsel-musl]}"
	# The boot rows come first of all rc scripts; the table comes last.
	local at script
	for at in S01hostq-boot S99hostq-table; do
		script=$overlay/etc/init.d/$at
		# shellcheck disable=SC2016 # the script's own $1
		printf '#!/bin/sh\n[ "$1" = start ] || exit 0\nexec /usr/share/hostq-boot/guest.sh %s\n' "${at#*-}" >"$script"
	done
	chmod +x "$overlay/etc/init.d/"*

	"$src/tools/buildroot-toolchain" uclibc "$out/toolchain" >/dev/null || die "tools/buildroot-toolchain uclibc failed"
	local release
	release=$(sed -n 's/^#define __UCLIBC_\(MAJOR\|MINOR\|SUBLEVEL\)__ \([0-9]*\)$/\2/p' \
		"$out/toolchain/sysroot/usr/include/bits/uClibc_config.h" | paste -sd.)
	[ "uclibc-$release" = "${flavour_of[mipsel-uclibc]}" ] ||
		die "image: the toolchain's uClibc-ng is $release, the static build's ${flavour_of[mipsel-uclibc]}"
	cat >"$out/local.mk" <<-MK
	HOST_TAR_OVERRIDE_SRCDIR = $work/src-host_tar
	HOST_PKGCONF_OVERRIDE_SRCDIR = $work/src-host_pkgconf
	BUSYBOX_OVERRIDE_SRCDIR = $work/src-busybox
	DNSMASQ_OVERRIDE_SRCDIR = $work/src-dnsmasq
	HOST_FAKEROOT_OVERRIDE_SRCDIR = $src/lab/guest/stand-ins/fakeroot
	override HOST_FAKEROOT_DEPENDENCIES =
	HOST_PATCHELF_OVERRIDE_SRCDIR = $src/lab/guest/stand-ins/patchelf
	MK
	{
		cat "$src/tests/buildroot/hostq_mipsel_uclibc_defconfig" "$src/lab/guest/image_defconfig"
		echo "BR2_ROOTFS_OVERLAY=\"$overlay\""
	} >"$out/image_defconfig"
	make -C "$br" O="$out" BR2_EXTERNAL="$src/packaging/buildroot" BR2_DEFCONFIG="$out/image_defconfig" \
		defconfig >"$out/make.log" 2>&1 || die "image: make defconfig failed (see $out/make.log)"
	local start=$SECONDS
	FORCE_UNSAFE_CONFIGURE=1 unshare -n make -C "$br" O="$out" >>"$out/make.log" 2>&1 || {
		tail -n 20 "$out/make.log"
		local fetching
		fetching=$(sed -n 's/^>>> \(.*\) Downloading$/\1/p' "$out/make.log" | head -n 1)
		[ -z "$fetching" ] || die "image: Buildroot would download $fetching (see $out/make.log)"
		die "image: make failed (see $out/make.log)"
	}
	echo "image: make took $((SECONDS - start)) s; per package (build-time.log, s):"
	awk -F: '{ sub(/^ */, "", $4); if ($2 == "start") s[$4 FS $3] = $1; else t[$4] += $1 - s[$4 FS $3] }
		END { for (p in t) printf "  %s %.1f\n", p, t[p] }' "$out/build/build-time.log" | sort -k2,2nr | head -n 12
	echo "image: rootfs.cpio $(stat -c %s "$out/images/rootfs.cpio") B, with xz -9 $(xz -9 -c "$out/images/rootfs.cpio" | wc -c) B"
	image_br=$br image_out=$out
	initrd_mips=$out/images/rootfs.cpio
}

# arm_initrd ARCH TRIPLE UCLIBC MUSL: Debian's BusyBox and dnsmasq for
# ARCH, and the two static builds.
arm_initrd() {
	local arch=$1 root=$work/root-$1 deb
	mkdir -p "$root"
	local debs
	debs=$("$src/tools/debian-packages" debs "$arch" busybox-static dnsmasq-base) || die "no Debian $arch packages"
	for deb in $debs; do
		dpkg-deb -x "$deb" "$root" || die "cannot unpack $deb"
	done
	mkdir -p "$root"/{proc,sys,dev,run,tmp,var,etc}
	rm -rf "$root/var/run" && ln -s ../run "$root/var/run"
	ln -sf busybox "$root/bin/sh"
	ln -sf ../run/resolv.conf "$root/etc/resolv.conf"
	echo 'root:x:0:0:root:/root:/bin/sh' >"$root/etc/passwd"
	echo 'root:x:0:' >"$root/etc/group"
	cp "${binary[$3]}" "$root/usr/share/hostq-uclibc" && cp "${binary[$4]}" "$root/usr/share/hostq-musl"
	share "$root" "$2" "uclibc-static /usr/share/hostq-uclibc ${flavour_of[$3]}
musl-static /usr/share/hostq-musl ${flavour_of[$4]}"
	cp "$src/lab/guest/arm_init.sh" "$root/init"
	(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd-$arch.gz"
	echo "$arch: initramfs $(stat -c %s "$work/initrd-$arch.gz") B"
	printf -v "initrd_$arch" %s "$work/initrd-$arch.gz"
}

kernel() { "$src/tools/debian-packages" kernel "$1" "$2"; }
mips_binaries=$work/overlay/usr/share/hostq-boot/binaries
armhf_binaries=$work/root-armhf/usr/share/hostq-boot/binaries
arm64_binaries=$work/root-arm64/usr/share/hostq-boot/binaries

# boot NAME LIMIT QEMU...: boots, waits at most LIMIT seconds, keeps the
# console in NAME.console; then judges what it printed.
boot() {
	local name=$1 limit=$2 console=$work/$1.console
	shift 2
	echo "$name: $*" | sed "s|$work/||g; s|${XDG_CACHE_HOME:-$HOME/.cache}/hostq/|CACHE/|g"
	local start=${EPOCHREALTIME/./}
	timeout --kill-after=5 "$limit" "$@" -nic none -display none -vga none -monitor none -serial stdio -no-reboot \
		</dev/null >"$console" 2>&1 &
	qemu_pids+=($!)
	wait $!
	local status=$? ms=$(((${EPOCHREALTIME/./} - start) / 1000))
	echo "$name: boot to power-off $ms ms (qemu status $status)"
	local results=$work/$name.results problems
	if ! problems=$("$src/lab/guest/results.py" "$console" "$results") || [ "$status" -ne 0 ]; then
		echo "FAIL: $name: ${problems:-qemu status $status}" | head -n 5
		echo "      its console's last lines:"
		grep -av '^@' "$console" | tail -n 15 | sed 's/^/      | /'
		return 1
	fi
	sed "s/^/$name: /" "$results/facts"
}

