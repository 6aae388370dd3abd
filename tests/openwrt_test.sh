#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq as an OpenWrt user gets it: OpenWrt's own package flow builds the
# package of packaging/openwrt, added as a src-link feed, from the release
# tarball (tools/dist), offline, with an external toolchain made from
# Debian's gcc and the musl OpenWrt's devices run (tools/openwrt-toolchain).
# Its .ipk, unpacked with the libc .ipk into an empty root as opkg lays
# them out, must show the ELF facts of OpenWrt's ABI and pass the whole
# end-to-end table under qemu-user, and the package's test.sh. Then what
# OpenWrt must refuse: a tarball that is not PKG_HASH's, a build that
# would download, and a program that needs libstdc++. (A tree that is not
# the pinned one is a row of tests/meta/breakages.sh.)
#
#   tests/openwrt_test.sh SOURCE_DIR WORK_DIR PROCESSOR
#
# PROCESSOR is a processor of tables/processors with an OpenWrt target.
# Exits 77 (skipped), saying why on its last line, where OpenWrt's tree or
# musl's source cannot be had or no network namespace can be made.
set -u
src=$(cd "$1" && pwd) work=$2 processor=$3
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
unshare -n true 2>/dev/null && offline=(unshare -n) || offline=(unshare -rn)
"${offline[@]}" true 2>/dev/null || skip "no network namespace (unshare -n) on this machine: OpenWrt is not run"
table() { "$src/tools/table" "$@" || die "tools/table $*"; }
read -r target arch < <(table processors "$processor" openwrt)
[ -n "${arch:-}" ] || die "tables/processors: $processor has no OpenWrt target"
triple=$(table processors "$processor" triplet)
qemu=$(table processors "$processor" qemu)
read -r -a elf_facts < <(table processors "$processor" elf)
version=$("$src/tools/dist" --version) || die "tools/dist --version failed"
package=$src/packaging/openwrt/hostq
[ "$(sed -n 's/^PKG_VERSION:=//p' "$package/Makefile")" = "$version" ] ||
	die "PKG_VERSION in packaging/openwrt/hostq/Makefile is not the release's $version"
release=$(sed -n 's/^PKG_RELEASE:=//p' "$package/Makefile")

# OpenWrt's tree, unpacked afresh into the build tree.
openwrt=$(table releases --names library=openwrt)
status=0
tarball=$("$src/tools/source" "$openwrt") || status=$?
[ "$status" -ne 77 ] || skip "${tarball#SKIP: }"
[ "$status" -eq 0 ] || die "tools/source $openwrt failed"
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
tar -xf "$tarball" -C "$work" || die "cannot unpack $tarball"
top=$work/openwrt-$(table releases "$openwrt" version)
[ -d "$top" ] || die "$tarball does not unpack to ${top##*/}"

status=0
toolchain=$("$src/tools/openwrt-toolchain" "$processor" "$work/toolchain") || status=$?
[ "$status" -ne 77 ] || skip "${toolchain#SKIP: }"
[ "$status" -eq 0 ] || die "tools/openwrt-toolchain $processor failed"
prefix=$(cd "$toolchain/bin" && echo *-openwrt-linux-musl-gcc)
prefix=${prefix%gcc}

# The host programs OpenWrt would build for itself, as Debian's; and
# downloaders that refuse, should anything try.
mkdir -p "$top/staging_dir/host/bin"
for tool in fakeroot ninja flock libdeflate-gzip patchelf; do
	path=$(command -v "$tool") || die "no $tool on this machine (tools/install-deps)"
	ln -s "$path" "$top/staging_dir/host/bin/$tool"
done
for tool in wget curl; do
	printf '#!/bin/sh\necho "%s: refused: the build is offline" >&2\nexit 1\n' "$tool" >"$top/staging_dir/host/bin/$tool"
	chmod +x "$top/staging_dir/host/bin/$tool"
done

# openwrt LOG ARGS...: make in the tree, with no network.
openwrt() {
	local log=$work/$1
	shift
	"${offline[@]}" make -C "$top" "$@" >"$log" 2>&1
}

echo "src-link hostq $src/packaging/openwrt" >"$top/feeds.conf"
(cd "$top" && "${offline[@]}" ./scripts/feeds update hostq && "${offline[@]}" ./scripts/feeds install hostq) \
	>"$work/feeds.log" 2>&1 || die "the src-link feed failed (see $work/feeds.log)"
cat >"$top/.config" <<CONFIG
CONFIG_TARGET_${target%/*}=y
CONFIG_TARGET_${target/\//_}=y
CONFIG_DEVEL=y
CONFIG_EXTERNAL_TOOLCHAIN=y
CONFIG_TOOLCHAIN_ROOT="$toolchain"
CONFIG_TOOLCHAIN_PREFIX="$prefix"
CONFIG_TARGET_NAME="${prefix%-}"
CONFIG_EXTERNAL_TOOLCHAIN_LIBC_USE_MUSL=y
CONFIG_EXTERNAL_GCC_VERSION="$(sed -n 's/^GCC_VERSION=//p' "$toolchain/info.mk")"
CONFIG_TOOLCHAIN_BIN_PATH="./bin"
CONFIG_USE_STRIP=y
CONFIG_PACKAGE_hostq=y
CONFIG
start=$SECONDS
openwrt defconfig.log defconfig || die "make defconfig failed (see $work/defconfig.log)"
for line in "CONFIG_TARGET_ARCH_PACKAGES=\"$arch\"" CONFIG_EXTERNAL_TOOLCHAIN=y CONFIG_PACKAGE_hostq=y \
	"CONFIG_TOOLCHAIN_ROOT=\"$toolchain\""; do
	grep -qxF "$line" "$top/.config" || die "make defconfig dropped $line"
done
echo "make defconfig took $((SECONDS - start)) s"
# What make toolchain/install does for an external toolchain, which the
# package flow does not need otherwise: its info.mk, which labels the libc
# package, into the folder named by CONFIG_TARGET_NAME.
mkdir -p "$top/staging_dir/toolchain-${prefix%-}"
cp "$toolchain/info.mk" "$top/staging_dir/toolchain-${prefix%-}/"

# The release tarball, where OpenWrt keeps downloads.
"$src/tools/dist" "$work/dist" >"$work/dist.out" 2>/dev/null || die "tools/dist failed"
tarball=$(head -n 1 "$work/dist.out") hash=$(sed -n 2p "$work/dist.out")
mkdir -p "$top/dl"
cp "$tarball" "$top/dl/"
dist_name=${tarball##*/}

# compile LOG [PKG_HASH=...]: build the package; clean LOG: forget it.
compile() {
	local log=$1
	shift
	openwrt "$log" package/hostq/compile V=s "$@"
}
clean() { openwrt "$1.clean" package/hostq/clean V=s || die "make package/hostq/clean failed (see $work/$1.clean)"; }
downloads() { (cd "$top/dl" && find . -type f | sort); }

# The package as it is in the tree, whose PKG_HASH no tarball has: the
# build stops, naming both hashes. Given on make's command line, the
# tarball's own hash then builds it.
intree=$(sed -n 's/^PKG_HASH:=//p' "$package/Makefile")
unhashed() {
	! compile unhashed.log &&
		grep "Hash of the local file $dist_name does not match (file: $hash, requested: $intree)" "$work/unhashed.log"
}
check "a tarball that is not PKG_HASH's was built" unhashed
[ -f "$top/dl/$dist_name" ] || cp "$tarball" "$top/dl/"

start=$SECONDS
compile build.log PKG_HASH="$hash" || {
	tail -n 30 "$work/build.log"
	die "make package/hostq/compile failed (see $work/build.log)"
}
echo "make package/hostq/compile took $((SECONDS - start)) s"
check "a download was tried" test -z "$(grep -E '(wget|curl): refused' "$work/build.log")"
check "something else landed in dl/" test "$(downloads)" = "./$dist_name"
ipk=$top/bin/packages/$arch/hostq/hostq_$version-r${release}_$arch.ipk
libc_ipk=$(echo "$top/bin/targets/$target/packages/libc_"*"_$arch.ipk")
[ -f "$ipk" ] || die "no ${ipk#"$top/"}"
[ -f "$libc_ipk" ] || die "no libc .ipk in bin/targets/$target/packages"

# The .ipks as opkg unpacks them: their data into one root.
root=$work/root
mkdir -p "$root"
for p in "$ipk" "$libc_ipk"; do
	tar -xzOf "$p" ./data.tar.gz | tar -xz -C "$root" || die "cannot unpack ${p##*/}"
done
control=$(tar -xzOf "$ipk" ./control.tar.gz | tar -xzO ./control) || die "no control in ${ipk##*/}"
field() { sed -n "s/^$1: //p" <<<"$control"; }
check "the .ipk depends on more than libc: $(field Depends)" test "$(field Depends)" = libc
libc_version=$(tar -xzOf "$libc_ipk" ./control.tar.gz | tar -xzO ./control | sed -n 's/^Version: //p')
check "the libc .ipk is not labelled with the toolchain's musl ($libc_version)" \
	test "${libc_version%-r*}" = "$(sed -n 's/^LIBC_VERSION=//p' "$toolchain/info.mk")"
check "the .ipk is not for $arch" test "$(field Architecture)" = "$arch"
check "the .ipk holds more than hostq" test "$(tar -xzOf "$ipk" ./data.tar.gz | tar -tz | grep -v '/$')" = ./usr/bin/hostq
bin=$root/usr/bin/hostq
loader=$(cd "$root/lib" && echo ld-musl-*.so.1)
check "the libc .ipk has no loader that is its libc" test "$(readlink "$root/lib/$loader")" = libc.so
check "ELF facts" "$src/tests/elf_test.sh" "$triple-readelf" "$bin" "${elf_facts[@]}" dynamic "loader:/lib/$loader"
echo "${ipk##*/}: $(stat -c %s "$ipk") B; installed: $(field Installed-Size) B; usr/bin/hostq: $(stat -c %s "$bin") B"
echo "${libc_ipk##*/}: $(stat -c %s "$libc_ipk") B; loader /lib/$loader"
check "end-to-end table" "$src/tests/e2e/run.sh" --flavour "$(cat "$toolchain/flavour")" --runner "$qemu -L $root" "$bin"

# The feed's runtime test, with hostq on its PATH (what it must refuse is
# a row of tests/meta/breakages.sh).
mkdir -p "$work/path"
printf '#!/bin/sh\nexec %s -L %s %s "$@"\n' "$qemu" "$root" "$bin" >"$work/path/hostq"
chmod +x "$work/path/hostq"
check "test.sh fails on the package" env PATH="$work/path:$PATH" "${offline[@]}" sh "$package/test.sh" hostq "$version"

# A build that would download: it fails, and nothing is fetched.
clean download.log
rm -f "$top/dl/$dist_name"
download() {
	! compile download.log PKG_HASH="$hash" &&
		grep -E '^(wget: refused: the build is offline|No more mirrors to try - giving up\.)$' "$work/download.log" | sort -u
}
check "a build without its tarball did not try to download it, offline" download
check "a download landed in dl/" test -z "$(downloads)"

# A program that needs libstdc++, a stray std::string planted in the
# tarball's main.cc: OpenWrt's dependency check refuses it.
planted=$work/planted
mkdir -p "$planted"
tar -xzf "$tarball" -C "$planted"
main=$(echo "$planted"/hostq-*/src/main.cc)
sed -i 's/^#include <cstdio>$/&\n#include <string>/; s/^int main(int argc, char \*\*argv)$/static std::string planted_name;\n&/' "$main"
sed -i '0,/^{$/s//{\n\tplanted_name = argv[0];\n\tif (planted_name.size() == 1)\n\t\treturn 1;/' "$main"
grep -q 'planted_name = argv\[0\]' "$main" || die "the std::string was not planted in main.cc"
tar -czf "$top/dl/$dist_name" -C "$planted" "$(basename "$(dirname "$(dirname "$main")")")"
clean libstdcxx.log
libstdcxx() {
	! compile libstdcxx.log PKG_HASH="$(sha256sum <"$top/dl/$dist_name" | cut -c1-64)" &&
		grep -A1 '^Package hostq is missing dependencies for the following libraries:$' "$work/libstdcxx.log"
}
check "a hostq that needs libstdc++ passed OpenWrt's dependency check" libstdcxx

finish
