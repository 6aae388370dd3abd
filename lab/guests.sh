# shellcheck shell=bash disable=SC2154,SC2034 # the test gives src, work, stage, binary; reads what this sets
# SPDX-License-Identifier: MIT
# The lab's booted guests (tables/guests): their root filesystems and
# kernels, and qemu. Sourced by tests/boot_test.sh, which gives src (the
# source tree), work (a folder of its own), stage (the rows,
# tests/boot/table.sh emit), binary and flavour_of (the static builds and
# their flavours, by preset), check (tests/counts.sh), and die and skip.
#
#   launch NAME GUEST LIMIT [OPTION...]   boots a guest, its image made
#                                         once a processor; sets g_FIELD
#   boot NAME LIMIT QEMU...               a boot, its console decoded
#   stop_qemu                             stops every qemu started
qemu_pids=()
stop_qemu() {
	local pid
	for pid in "${qemu_pids[@]}"; do
		kill "$pid" 2>/dev/null
	done
}

# stage_rows FLAVOUR: the table's rows for FLAVOUR, laid out in stage
# once; every flavour must leave out the rows the first one did.
staged=()
stage_rows() {
	[[ " ${staged[*]} " != *" $1 "* ]] || return 0
	"$src/tests/boot/table.sh" emit "$1" "$stage" >"$work/left-out-$1" || die "tests/boot/table.sh emit $1 failed"
	if [ ${#staged[@]} -eq 0 ]; then
		echo "Rows the guests leave out (the lab's alone):"
		sed 's/^left out: /  /' "$work/left-out-$1"
	else
		cmp -s "$work/left-out-${staged[0]}" "$work/left-out-$1" ||
			die "the flavours leave out different rows: $(diff "$work/left-out-${staged[0]}" "$work/left-out-$1" | head -n 3)"
	fi
	staged+=("$1")
}

# share ROOT TRIPLE LINES: the guest's part of a root filesystem: the
# rows, guest.sh, the NXDOMAIN responder and the pool probe built for
# TRIPLE, and a file "binaries" of LINES (LABEL PATH FLAVOUR).
share() {
	local root=$1 triple=$2 dir=$1/usr/share/hostq-boot flavour
	while read -r _ _ flavour; do
		stage_rows "$flavour"
	done <<<"$3"
	mkdir -p "$dir" "$root/etc"
	cp -r "$stage/." "$dir/"
	cp "$src/lab/guest/guest.sh" "$dir/"
	local program
	for program in nxdomain_responder pool_probe; do
		"$triple-g++" -std=c++20 -O2 -static -fno-exceptions -fno-rtti -o "$dir/$program" \
			"$src/lab/guest/$program.cc" || die "cannot build lab/guest/$program.cc for $triple"
	done
	printf '%s\n' "$3" >"$dir/binaries"
	cp "$stage/dns/dnsmasq-127.0.0.1.conf" "$root/etc/dnsmasq.conf"
	cp "$stage/hosts" "$root/etc/hosts"
}

# image PROCESSOR KIND: the root filesystem of a guest of that processor
# (tables/guests), made once: initrd_of[PROCESSOR] and
# binaries_of[PROCESSOR], its file of binaries.
declare -A initrd_of=() binaries_of=()
image() {
	[ -z "${initrd_of[$1]:-}" ] || return 0
	local triple
	triple=$("$src/tools/table" processors "$1" triplet) || die "no processor $1"
	case $2 in
	buildroot) buildroot_image "$1" "$triple" ;;
	debian) debian_image "$1" "$triple" ;;
	*) die "tables/guests: no image $2 (buildroot or debian)" ;;
	esac
}

# The firmware image: Buildroot, offline (lab/buildroot.sh), with a
# device's uClibc-ng as Buildroot builds it, and the static builds.
buildroot_image() {
	local processor=$1 triple=$2 out=$work/image-$1 overlay=$work/overlay-$1 dir
	dir=$overlay/usr/share/hostq-boot
	buildroot_tree "$work"
	mkdir -p "$out" "$overlay/etc/init.d" "$dir"
	"$src/tools/buildroot-toolchain" "$processor" uclibc "$out/toolchain" >/dev/null ||
		die "tools/buildroot-toolchain $processor uclibc failed"
	cp "${binary[$processor-uclibc]}" "$dir/hostq-uclibc"
	cp "${binary[$processor-musl]}" "$dir/hostq-musl"
	share "$overlay" "$triple" "buildroot /usr/bin/hostq $(cat "$out/toolchain/sysroot/flavour")
uclibc-static /usr/share/hostq-boot/hostq-uclibc ${flavour_of[$processor-uclibc]}
musl-static /usr/share/hostq-boot/hostq-musl ${flavour_of[$processor-musl]}"
	# The boot rows come first of all rc scripts; the table comes last.
	local at script
	for at in S01hostq-boot S99hostq-table; do
		script=$overlay/etc/init.d/$at
		# shellcheck disable=SC2016 # the script's own $1
		printf '#!/bin/sh\n[ "$1" = start ] || exit 0\nexec /usr/share/hostq-boot/guest.sh %s\n' "${at#*-}" >"$script"
	done
	chmod +x "$overlay/etc/init.d/"*

	{
		cat "$src/tests/buildroot/hostq_${processor}_uclibc_defconfig" "$src/lab/guest/image_defconfig"
		echo "BR2_ROOTFS_OVERLAY=\"$overlay\""
	} >"$work/image_defconfig"
	buildroot_configure "$out" "$processor" "$work/image_defconfig" "HOST_FAKEROOT_OVERRIDE_SRCDIR = $src/lab/guest/stand-ins/fakeroot
override HOST_FAKEROOT_DEPENDENCIES =
HOST_PATCHELF_OVERRIDE_SRCDIR = $src/lab/guest/stand-ins/patchelf"
	local start=$SECONDS
	buildroot_make "$out"
	echo "image: make took $((SECONDS - start)) s; per package (build-time.log, s):"
	awk -F: '{ sub(/^ */, "", $4); if ($2 == "start") s[$4 FS $3] = $1; else t[$4] += $1 - s[$4 FS $3] }
		END { for (p in t) printf "  %s %.1f\n", p, t[p] }' "$out/build/build-time.log" | sort -k2,2nr | head -n 12
	echo "image: rootfs.cpio $(stat -c %s "$out/images/rootfs.cpio") B, with xz -9 $(xz -9 -c "$out/images/rootfs.cpio" | wc -c) B"
	# Buildroot's offline proof: nothing fetched, no download tried.
	check "image: the log shows a download" offline_log "$out/make.log"
	check "image: something landed in the download folder" test -z "$(downloaded)"
	check "image: the patchelf stand-in met a target file it cannot handle" \
		bash -c "! grep -F 'patchelf stand-in: $out/target/' '$out/make.log'"
	initrd_of[$processor]=$out/images/rootfs.cpio
	binaries_of[$processor]=$dir/binaries
}

# An initramfs of Debian's BusyBox and dnsmasq, and the static builds.
debian_image() {
	local processor=$1 triple=$2 root=$work/root-$1 arch deb debs
	arch=$("$src/tools/table" processors "$processor" debian) || die "no processor $processor"
	mkdir -p "$root"
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
	cp "${binary[$processor-uclibc]}" "$root/usr/share/hostq-uclibc"
	cp "${binary[$processor-musl]}" "$root/usr/share/hostq-musl"
	share "$root" "$triple" "uclibc-static /usr/share/hostq-uclibc ${flavour_of[$processor-uclibc]}
musl-static /usr/share/hostq-musl ${flavour_of[$processor-musl]}"
	cp "$src/lab/guest/arm_init.sh" "$root/init"
	(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd-$processor.gz"
	echo "$processor: initramfs $(stat -c %s "$work/initrd-$processor.gz") B"
	initrd_of[$processor]=$work/initrd-$processor.gz
	binaries_of[$processor]=$root/usr/share/hostq-boot/binaries
}

# kernel_image RELEASE: sets kernel to the image of a guest's kernel
# package (tools/source), unpacked once a run.
kernel_image() {
	local dir=$work/kernels/$1 deb status=0 image
	kernel=$dir/vmlinuz
	if [ ! -f "$dir/vmlinuz" ]; then
		deb=$("$src/tools/source" "$1") || status=$?
		[ "$status" -ne 77 ] || skip "${deb#SKIP: }"
		[ "$status" -eq 0 ] || die "tools/source $1 failed"
		rm -rf "$dir" && mkdir -p "$dir"
		dpkg-deb -x "$deb" "$dir/root" || die "cannot unpack $deb"
		image=$(find "$dir/root/boot" -name 'vmlinu[xz]-*' | head -n 1)
		[ -n "$image" ] || die "$deb holds no kernel image in /boot"
		mv "$image" "$dir/vmlinuz" && rm -rf "$dir/root"
	fi
}

# launch NAME GUEST LIMIT [KERNEL OPTION...]: boots GUEST of tables/guests
# as NAME, its image made first, with the kernel options given.
launch() {
	local name=$1 guest=$2 limit=$3 facts kernel
	shift 3
	facts=$("$src/tools/table" guests "$guest" --shell g) || die "no guest $guest"
	eval "$facts"
	image "$g_processor" "$g_image"
	kernel_image "$g_kernel"
	boot "$name" "$limit" "$g_qemu" -M "$g_machine" -cpu "$g_cpu" -m "$g_memory" -kernel "$kernel" \
		-initrd "${initrd_of[$g_processor]}" -append "panic=-1 console=$g_console $*"
}

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

