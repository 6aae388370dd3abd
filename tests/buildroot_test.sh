#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq as an integrator's firmware gets it: a real Buildroot builds the
# package of packaging/buildroot offline, with its default hardening, on
# two external toolchains made from Debian's mipsel gcc (its glibc, and
# the project's uClibc-ng); then the installed binary, run with only the
# loader and libc of output/target, passes the whole end-to-end table.
# Last, the uClibc-ng output builds the release tarball (tools/dist).
#
#   tests/buildroot_test.sh SOURCE_DIR WORK_DIR
#
# Buildroot's release tarball, and Debian's tar and pkgconf sources, come
# through tools/source. Exits 77 (skipped), saying why on its last line,
# where one of them cannot be had or no network namespace can be made.
set -u
src=$(cd "$1" && pwd) work=$2
die() {
	echo "FAIL: $*"
	exit 1
}
if ! unshare -n true 2>/dev/null && ! unshare -rn true 2>/dev/null; then
	echo "SKIP: no network namespace (unshare -n) on this machine: Buildroot is not run"
	exit 77
fi
unshare -n true 2>/dev/null && offline=(unshare -n) || offline=(unshare -rn)

# fetch VAR NAME: VAR becomes tools/source's path for NAME; its skip
# line, or its refusal, ends the test.
fetch() {
	local out status=0
	out=$("$src/tools/source" "$2") || status=$?
	case $status in
	0) printf -v "$1" %s "$out" ;;
	77)
		echo "$out"
		exit 77
		;;
	*) die "tools/source $2 failed" ;;
	esac
}
tarball='' host_tar_dsc='' host_pkgconf_dsc=''
fetch tarball buildroot-2026.02.3
fetch host_tar_dsc debian:tar/bookworm=1.34
fetch host_pkgconf_dsc debian:pkgconf/bookworm=1.8.1
version=$("$src/tools/dist" --version) || die "tools/dist --version failed"
[ "$(sed -n 's/^HOSTQ_VERSION = //p' "$src/packaging/buildroot/package/hostq/hostq.mk")" = "$version" ] ||
	die "HOSTQ_VERSION in hostq.mk is not the release's $version"

# Buildroot, unpacked afresh into the build tree.
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
tar -xf "$tarball" -C "$work" || die "cannot unpack $tarball"
br=$(echo "$work"/buildroot-*)

# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
# Buildroot's own style checker on the package tree; Debian's python3,
# which has the modules it imports.
check_package() { (cd "$src/packaging/buildroot" && find . -type f -print0 | xargs -0 /usr/bin/python3 "$br/utils/check-package" -b); }
check "check-package finds fault with packaging/buildroot" check_package

# Debian's tar and pkgconf stand in for the two Buildroot would download.
unpack() {
	dpkg-source -x "$1" "$2" >"$2.log" 2>&1 || die "cannot unpack $1 (see $2.log)"
}
unpack "$host_tar_dsc" "$work/host-tar"
unpack "$host_pkgconf_dsc" "$work/host-pkgconf"
host_tar=$work/host-tar host_pkgconf=$work/host-pkgconf

export FORCE_UNSAFE_CONFIGURE=1 # host-tar's configure, as root
# shellcheck source=tests/buildroot/offline.sh
. "$src/tests/buildroot/offline.sh"

# build LIBC: a fresh output folder, its toolchain, the defconfig, then
# make hostq with no network.
build() {
	local libc=$1 out=$work/output-$1
	mkdir -p "$out"
	"$src/tools/buildroot-toolchain" "$libc" "$out/toolchain" >/dev/null || die "tools/buildroot-toolchain $libc failed"
	printf 'HOST_TAR_OVERRIDE_SRCDIR = %s\nHOST_PKGCONF_OVERRIDE_SRCDIR = %s\n' "$host_tar" "$host_pkgconf" >"$out/local.mk"
	make -C "$br" O="$out" BR2_EXTERNAL="$src/packaging/buildroot" \
		BR2_DEFCONFIG="$src/tests/buildroot/hostq_mipsel_${libc}_defconfig" defconfig >"$out/make.log" 2>&1 ||
		die "$libc: make defconfig of tests/buildroot/hostq_mipsel_${libc}_defconfig failed (see $out/make.log)"
	local tc
	tc=$(make -s -C "$br" O="$out" printvars VARS=TOOLCHAIN_EXTERNAL_INSTALL_DIR 2>/dev/null | sed 's/^[^=]*=//')
	[ -d "$tc/bin" ] || die "$libc: the defconfig's toolchain folder $tc does not exist"
	local start=$SECONDS
	"${offline[@]}" make -C "$br" O="$out" hostq >>"$out/make.log" 2>&1 || {
		tail -n 20 "$out/make.log"
		die "$libc: make hostq failed (see $out/make.log)"
	}
	echo "$libc: make hostq took $((SECONDS - start)) s"
	check "$libc: the log shows a download" offline_log "$out/make.log"
	check "$libc: something landed in the download folder" test -z "$(downloaded "$br")"
}

# verify LIBC BINARY: ELF facts, sizes, and the end-to-end table with only
# the loader and the libc of output/target.
verify() {
	local libc=$1 bin=$2 out=$work/output-$1 run=$work/run-$1
	local loader libc_so interp guard_in=''
	interp=$(mipsel-linux-gnu-readelf -lW "$bin" | sed -n 's/.*Requesting program interpreter: \(.*\)]/\1/p')
	[ "$libc" = glibc ] && libc_so=libc.so.6 || libc_so=libc.so.0
	loader=${interp##*/}
	rm -rf "$run" && mkdir -p "$run/lib"
	cp -L "$out/target/lib/$loader" "$out/target/lib/$libc_so" "$run/lib/" || die "$libc: no $loader or $libc_so in output/target/lib"
	# The libraries the binary may need: the libc, and the loader's own
	# soname where the loader is what defines the stack guard.
	local facts=(lsb mips32r2 dynamic)
	if mipsel-linux-gnu-readelf -W --dyn-syms "$run/lib/$loader" | grep -Eq ' __stack_chk_guard(@|$)'; then
		guard_in=$(mipsel-linux-gnu-readelf -d "$run/lib/$loader" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
		facts+=("also-needs:$guard_in")
	fi
	check "$libc: ELF facts" "$src/tests/elf_test.sh" mipsel-linux-gnu-readelf "$bin" "${facts[@]}"
	mipsel-linux-gnu-strip -o "$run/hostq.stripped" "$bin"
	echo "$libc: $(stat -c %s "$bin") B installed, $(stat -c %s "$run/hostq.stripped") B stripped," \
		"$(xz -9 -c "$run/hostq.stripped" | wc -c) B with xz -9"
	# What C++ costs the image: the toolchain's libstdc++, which hostq
	# does not use, goes into the target all the same.
	local cxx
	cxx=$(find "$out/target/lib" "$out/target/usr/lib" -name 'libstdc++.so*' -type f | head -n 1)
	if [ -n "$cxx" ]; then
		mipsel-linux-gnu-strip -o "$run/libstdc++.stripped" "$cxx"
		echo "$libc: libstdc++ in output/target: $(stat -c %s "$run/libstdc++.stripped") B stripped," \
			"$(xz -9 -c "$run/libstdc++.stripped" | wc -c) B with xz -9"
	else
		echo "$libc: no libstdc++ in output/target (this toolchain has no shared one)"
	fi
	local flavour=glibc
	[ "$libc" = glibc ] || flavour=$libc-$(sed -n 's/^#define __UCLIBC_\(MAJOR\|MINOR\|SUBLEVEL\)__ \([0-9]*\)$/\2/p' \
		"$out/toolchain/sysroot/usr/include/bits/uClibc_config.h" | paste -sd.)
	check "$libc: end-to-end table" "$src/tests/e2e/run.sh" --flavour "$flavour" --runner "qemu-mipsel -L $run" "$bin"
}

for libc in glibc uclibc; do
	build "$libc"
	verify "$libc" "$work/output-$libc/target/usr/bin/hostq"
done

# The package copied into an external tree of another name has no source
# tree to build: it must say so, not build "/".
other=$work/other-external
mkdir -p "$other/package"
cp -r "$src/packaging/buildroot/package/hostq" "$other/package/"
printf 'name: OTHER\ndesc: another tree\n' >"$other/external.desc"
cat >"$other/external.mk" <<'MK'
include $(sort $(wildcard $(BR2_EXTERNAL_OTHER_PATH)/package/*/*.mk))
MK
cat >"$other/Config.in" <<'IN'
source "$BR2_EXTERNAL_OTHER_PATH/package/hostq/Config.in"
IN
copied() {
	make -C "$br" O="$work/output-other" BR2_EXTERNAL="$other" \
		BR2_DEFCONFIG="$src/tests/buildroot/hostq_mipsel_glibc_defconfig" defconfig >"$work/other.log" 2>&1 &&
		! make -C "$br" O="$work/output-other" printvars VARS=HOSTQ_SITE >>"$work/other.log" 2>&1 &&
		grep -q 'hostq: no source tree outside the HOSTQ external tree' "$work/other.log"
}
check "a copy of the package in another external tree does not stop with its reason" copied

# The release tarball as the package's source, its hash where Buildroot
# looks for an integrator's own.
out=$work/output-uclibc
"$src/tools/dist" "$work/dist" >"$work/dist.out" 2>/dev/null || die "tools/dist failed"
mkdir -p "$work/hashes/hostq"
printf 'sha256  %s  %s\n' "$(sed -n 2p "$work/dist.out")" "$(basename "$(head -n 1 "$work/dist.out")")" >"$work/hashes/hostq/hostq.hash"
printf 'BR2_PACKAGE_HOSTQ_TARBALL_SITE="file://%s"\nBR2_GLOBAL_PATCH_DIR="%s"\n' "$work/dist" "$work/hashes" >>"$out/.config"
make -C "$br" O="$out" olddefconfig >>"$out/make.log" 2>&1 || die "tarball: make olddefconfig failed"
: >"$out/tarball.log"
"${offline[@]}" make -C "$br" O="$out" hostq-dirclean hostq >"$out/tarball.log" 2>&1 || {
	tail -n 20 "$out/tarball.log"
	die "tarball: make hostq failed (see $out/tarball.log)"
}
check "tarball: not built from the release tarball" grep -q ">>> hostq $version Extracting" "$out/tarball.log"
check "tarball: the download was not the tarball alone" test "$(downloaded "$br")" = "./hostq/hostq-$version.tar.gz"
check "tarball: its hash was not checked" grep -q "^hostq-$version.tar.gz: OK (sha256: " "$out/tarball.log"
check "tarball: wget ran" bash -c "! grep -q 'wget ' '$out/tarball.log'"
verify uclibc "$out/target/usr/bin/hostq"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
