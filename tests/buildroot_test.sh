#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq as an integrator's firmware gets it: a real Buildroot builds the
# package of packaging/buildroot offline, with its default hardening, on
# two external toolchains made from Debian's mipsel gcc (its glibc, and
# the uClibc-ng Buildroot builds, unpatched); then the installed binary,
# run with only the loader and libc of output/target, passes the whole
# end-to-end table, by that libc's flavour.
# Last, the uClibc-ng output builds the release tarball (tools/dist).
#
#   tests/buildroot_test.sh SOURCE_DIR WORK_DIR
#
# Buildroot and what stands in for its downloads come through
# lab/buildroot.sh. Exits 77 (skipped), saying why on its last line, where
# one of them cannot be had or no network namespace can be made.
set -u
src=$(cd "$1" && pwd) work=$2
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
if ! unshare -n true 2>/dev/null && ! unshare -rn true 2>/dev/null; then
	skip "no network namespace (unshare -n) on this machine: Buildroot is not run"
fi
# The processor of tests/buildroot's defconfigs.
processor=mipsel
triple=$("$src/tools/table" processors "$processor" triplet) || die "no processor $processor"
qemu=$("$src/tools/table" processors "$processor" qemu) || die "no processor $processor"
version=$("$src/tools/dist" --version) || die "tools/dist --version failed"
[ "$(sed -n 's/^HOSTQ_VERSION = //p' "$src/packaging/buildroot/package/hostq/hostq.mk")" = "$version" ] ||
	die "HOSTQ_VERSION in hostq.mk is not the release's $version"

# Buildroot, unpacked afresh into the build tree.
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
# shellcheck source=lab/buildroot.sh
. "$src/lab/buildroot.sh"
buildroot_tree "$work"

# Buildroot's own style checker on the package tree; Debian's python3,
# which has the modules it imports.
check_package() { (cd "$src/packaging/buildroot" && find . -type f -print0 | xargs -0 /usr/bin/python3 "$br/utils/check-package" -b); }
check "check-package finds fault with packaging/buildroot" check_package

# build LIBC: a fresh output folder, its toolchain, the defconfig, then
# make hostq with no network.
build() {
	local libc=$1 out=$work/output-$1
	mkdir -p "$out"
	"$src/tools/buildroot-toolchain" "$processor" "$libc" "$out/toolchain" >/dev/null ||
		die "tools/buildroot-toolchain $processor $libc failed"
	buildroot_configure "$out" "$processor" "$src/tests/buildroot/hostq_${processor}_${libc}_defconfig"
	local tc
	tc=$(make -s -C "$br" O="$out" printvars VARS=TOOLCHAIN_EXTERNAL_INSTALL_DIR 2>/dev/null | sed 's/^[^=]*=//')
	[ -d "$tc/bin" ] || die "$libc: the defconfig's toolchain folder $tc does not exist"
	local start=$SECONDS
	buildroot_make "$out" hostq
	echo "$libc: make hostq took $((SECONDS - start)) s"
	check "$libc: the log shows a download" offline_log "$out/make.log"
	check "$libc: something landed in the download folder" test -z "$(downloaded)"
}

# verify LIBC BINARY: ELF facts, sizes, and the end-to-end table with only
# the loader and the libc of output/target.
verify() {
	local libc=$1 bin=$2 out=$work/output-$1 run=$work/run-$1
	local loader libc_so interp guard_in=''
	interp=$("$triple-readelf" -lW "$bin" | sed -n 's/.*Requesting program interpreter: \(.*\)]/\1/p')
	[ "$libc" = glibc ] && libc_so=libc.so.6 || libc_so=libc.so.0
	loader=${interp##*/}
	rm -rf "$run" && mkdir -p "$run/lib"
	cp -L "$out/target/lib/$loader" "$out/target/lib/$libc_so" "$run/lib/" || die "$libc: no $loader or $libc_so in output/target/lib"
	# The libraries the binary may need: the libc, and the loader's own
	# soname where the loader is what defines the stack guard.
	local facts
	read -r -a facts < <("$src/tools/table" processors "$processor" elf)
	facts+=(dynamic)
	if "$triple-readelf" -W --dyn-syms "$run/lib/$loader" | grep -Eq ' __stack_chk_guard(@|$)'; then
		guard_in=$("$triple-readelf" -d "$run/lib/$loader" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
		facts+=("also-needs:$guard_in")
	fi
	check "$libc: ELF facts" "$src/tests/elf_test.sh" "$triple-readelf" "$bin" "${facts[@]}"
	"$triple-strip" -o "$run/hostq.stripped" "$bin"
	echo "$libc: $(stat -c %s "$bin") B installed, $(stat -c %s "$run/hostq.stripped") B stripped," \
		"$(xz -9 -c "$run/hostq.stripped" | wc -c) B with xz -9"
	# What C++ costs the image: the toolchain's libstdc++, which hostq
	# does not use, goes into the target all the same.
	local cxx
	cxx=$(find "$out/target/lib" "$out/target/usr/lib" -name 'libstdc++.so*' -type f | head -n 1)
	if [ -n "$cxx" ]; then
		"$triple-strip" -o "$run/libstdc++.stripped" "$cxx"
		echo "$libc: libstdc++ in output/target: $(stat -c %s "$run/libstdc++.stripped") B stripped," \
			"$(xz -9 -c "$run/libstdc++.stripped" | wc -c) B with xz -9"
	else
		echo "$libc: no libstdc++ in output/target (this toolchain has no shared one)"
	fi
	check "$libc: end-to-end table" "$src/tests/e2e/run.sh" --flavour "$(cat "$out/toolchain/sysroot/flavour")" \
		--runner "$qemu -L $run" "$bin"
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
		BR2_DEFCONFIG="$work/output-glibc/hostq_defconfig" defconfig >"$work/other.log" 2>&1 &&
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
check "tarball: the download was not the tarball alone" test "$(downloaded)" = "./hostq/hostq-$version.tar.gz"
check "tarball: its hash was not checked" grep -q "^hostq-$version.tar.gz: OK (sha256: " "$out/tarball.log"
check "tarball: wget ran" bash -c "! grep -q 'wget ' '$out/tarball.log'"
verify uclibc "$out/target/usr/bin/hostq"

finish
