#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# hostq as an OpenWrt user gets it: the release's own package flow builds
# packaging/openwrt, a copy added as a src-link feed, from the release
# tarball (tools/dist), offline, for each processor's target in one tree,
# with tools/openwrt-toolchain. A release that "uses" apk (tables/releases)
# signs an index, and apk add installs hostq from it; an older one's .ipk
# files are unpacked. What is installed must show the ELF facts of
# OpenWrt's ABI and pass the whole end-to-end table and the package's
# test.sh under qemu-user, on a core without an FPU where the ABI is
# soft-float, where the toolchain's libgcc must compute right. Then what
# OpenWrt must refuse, on the first processor: a tarball that is not
# PKG_HASH's, a build that would download, a program that needs
# libstdc++, an index signed by another key; on the first soft-float one,
# a hard-float libgcc.
#
#   tests/openwrt_test.sh SOURCE_DIR WORK_DIR RELEASE PROCESSOR...
#
# What a user takes away stays in WORK_DIR/out/ARCH, and is what the root
# was installed from: packages/ (hostq's) and target/ (the libc's), with
# their signed indexes, the build's public-key.pem, and root/. Exits 77,
# saying why, where a source or a network namespace cannot be had.
set -u
src=$(cd "$1" && pwd) work=$2 release=$3
shift 3
processors=("$@")
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"
# shellcheck source=tools/libc.sh
. "$src/tools/libc.sh"
[ ${#processors[@]} -gt 0 ] || die "no processor to build for"
unshare -n true 2>/dev/null && offline=(unshare -n) || offline=(unshare -rn)
"${offline[@]}" true 2>/dev/null || skip "no network namespace (unshare -n) on this machine: OpenWrt is not run"
table() { "$src/tools/table" "$@" || die "tools/table $*"; }
[ "$(table releases "$release" library)" = openwrt ] || die "tables/releases: $release is not an OpenWrt release"
version=$("$src/tools/dist" --version) || die "tools/dist --version failed"
package=$src/packaging/openwrt/hostq
[ "$(sed -n 's/^PKG_VERSION:=//p' "$package/Makefile")" = "$version" ] ||
	die "PKG_VERSION in packaging/openwrt/hostq/Makefile is not the release's $version"
pkg_release=$(sed -n 's/^PKG_RELEASE:=//p' "$package/Makefile")
# The packages the tree builds from releases of the table, in place of
# what it would download: apk and lua for a tree that uses apk.
uses() { table releases "$release" uses | tr ' ' '\n' | sed -n "s/^$1=//p"; }
apk_release=$(uses apk) lua_release=$(uses lua)

tarball='' apk='' dsc='' kept=()
fetch tarball "$release"
rm -rf "$work" && mkdir -p "$work/out"
work=$(cd "$work" && pwd)
tar -xf "$tarball" -C "$work" || die "cannot unpack $tarball"
top=$work/openwrt-$(table releases "$release" version)
[ -d "$top" ] || die "$tarball does not unpack to ${top##*/}"
mkdir -p "$top/dl"
if [ -n "$apk_release" ]; then
	fetch apk "$apk_release"
	fetch dsc "$lua_release"
	cp "$apk" "$top/dl/"
	cp "$(orig_tarball "$dsc")" "$top/dl/lua-$(table releases "$lua_release" version).tar.gz"
fi

# The host programs OpenWrt would build for itself, as Debian's; and
# downloaders that refuse, should anything try (wget must say it is GNU's
# to pass the prerequisite check).
host=$top/staging_dir/host
mkdir -p "$host/bin"
tools=(fakeroot ninja flock libdeflate-gzip patchelf)
[ -z "$apk_release" ] || tools+=(sed pkg-config cmake openssl /usr/bin/python3 meson.py=/usr/bin/meson)
for tool in "${tools[@]}"; do
	name=${tool%%=*} path=${tool#*=}
	[ "$name" != "$path" ] || path=$(command -v "$tool") || die "no $tool on this machine (tools/install-deps)"
	[ -x "$path" ] || die "no $path on this machine (tools/install-deps)"
	ln -s "$path" "$host/bin/${name##*/}"
done
if [ -n "$apk_release" ]; then
	mkdir -p "$host/lib/meson"
	cp "$top"/tools/meson/files/openwrt-*.txt.in "$host/lib/meson/"
fi
for tool in wget curl; do
	# shellcheck disable=SC2016 # the refusing program's own $1
	printf '#!/bin/sh\n[ "$1" != --version ] || echo "GNU %s (refuses)"\necho "%s: refused: the build is offline" >&2\nexit 1\n' \
		"$tool" "$tool" >"$host/bin/$tool"
	chmod +x "$host/bin/$tool"
done

# openwrt LOG ARGS...: make in the tree; in_tree: with no network, and
# Debian's programs found first (the prerequisite check links the first
# python3 on PATH into the tree; the host apk's meson needs Debian's).
in_tree() { (cd "$top" && PATH=/usr/bin:$PATH "${offline[@]}" "$@"); }
openwrt() { in_tree make "${@:2}" >"$work/$1" 2>&1; }

# The feed: a copy of the package folder, whose PKG_HASH is pinned below
# as a feed's maintainer pins it, by OpenWrt's own fixup.
cp -r "$src/packaging/openwrt" "$work/feed"
makefile=$work/feed/hostq/Makefile
echo "src-link hostq $work/feed" >"$top/feeds.conf"
start=$SECONDS
{ in_tree ./scripts/feeds update hostq && in_tree ./scripts/feeds install hostq; } >"$work/feeds.log" 2>&1 ||
	die "the src-link feed failed (see $work/feeds.log)"
echo "feeds update and install took $((SECONDS - start)) s"

# The release tarball, where OpenWrt keeps downloads.
"$src/tools/dist" "$work/dist" >"$work/dist.out" 2>/dev/null || die "tools/dist failed"
dist=$(head -n 1 "$work/dist.out") hash=$(sed -n 2p "$work/dist.out")
dist_name=${dist##*/}
cp "$dist" "$top/dl/"
downloads() { (cd "$top/dl" && find . -type f | sort); }
given=$(downloads)
# pin HASH: the copy's PKG_HASH, written by make package/hostq/check
# FIXUP=1 from the tarball in dl/, which must have HASH.
pin() {
	openwrt fixup.log package/hostq/check FIXUP=1 V=s || die "make package/hostq/check FIXUP=1 failed (see $work/fixup.log)"
	grep -qx "PKG_HASH:=$1" "$makefile" || die "make package/hostq/check FIXUP=1 did not pin $1 (see $work/fixup.log)"
}

# compile LOG: build the package; clean LOG: forget it; refuses LOG ERE:
# the build fails, and says a line that ERE matches.
compile() { openwrt "$1" package/hostq/compile V=s; }
refuses() { ! compile "$1" && grep -m1 -E "$2" "$work/$1"; }
clean() { openwrt "$1.clean" package/hostq/clean V=s || die "make package/hostq/clean failed (see $work/$1.clean)"; }

# configure PROCESSOR: the tree, for the processor's target.
configure() {
	local prefix
	read -r target arch < <(table processors "$1" openwrt)
	[ -n "${arch:-}" ] || die "tables/processors: $1 has no OpenWrt target"
	prefix=$(table processors "$1" triplet)
	prefix=${prefix%%-*}-openwrt-linux-musl-
	toolchain=$work/toolchain-$arch
	cat >"$top/.config" <<-CONFIG
	CONFIG_TARGET_${target%/*}=y
	CONFIG_TARGET_${target/\//_}=y
	CONFIG_DEVEL=y
	CONFIG_EXTERNAL_TOOLCHAIN=y
	CONFIG_TOOLCHAIN_ROOT="$toolchain"
	CONFIG_TOOLCHAIN_PREFIX="$prefix"
	CONFIG_TARGET_NAME="${prefix%-}"
	CONFIG_EXTERNAL_TOOLCHAIN_LIBC_USE_MUSL=y
	CONFIG_EXTERNAL_GCC_VERSION="$("$(table processors "$1" triplet)-gcc" -dumpfullversion)"
	CONFIG_TOOLCHAIN_BIN_PATH="./bin"
	CONFIG_USE_STRIP=y
	CONFIG_PACKAGE_hostq=y
	CONFIG
	local start=$SECONDS line status=0
	openwrt "defconfig-$arch.log" defconfig || die "make defconfig failed (see $work/defconfig-$arch.log)"
	for line in "CONFIG_TARGET_ARCH_PACKAGES=\"$arch\"" CONFIG_EXTERNAL_TOOLCHAIN=y CONFIG_PACKAGE_hostq=y \
		"CONFIG_TOOLCHAIN_ROOT=\"$toolchain\""; do
		grep -qxF "$line" "$top/.config" || die "make defconfig dropped $line"
	done
	echo "$arch: make defconfig took $((SECONDS - start)) s"
	said=$("$src/tools/openwrt-toolchain" "$top" "$1" "$toolchain") || status=$?
	[ "$status" -ne 77 ] || skip "${said#SKIP: }"
	[ "$status" -eq 0 ] || die "tools/openwrt-toolchain $top $1 failed"
	# What make toolchain/install does for an external toolchain, which
	# the package flow does not need otherwise: its info.mk, which labels
	# the libc package, into the folder named by CONFIG_TARGET_NAME.
	mkdir -p "$top/staging_dir/toolchain-${prefix%-}"
	cp "$toolchain/info.mk" "$top/staging_dir/toolchain-${prefix%-}/"
	read -r -a abi < <(table processors "$1" openwrt_abi)
	soft=''
	[[ " ${abi[*]} " != *" softfloat "* ]] || soft=1
	gcc=$toolchain/bin/${prefix}gcc
}

# What a package manager does, by the release's: package, the path of
# the package just built; install ROOT KEY, hostq as a device installs it
# into the empty ROOT, from the copies in out/ARCH (apk add from the
# signed indexes of feed, hostq's folder, and target, the target's
# packages, trusting KEY; or the .ipk files unpacked); installed,
# NAME-VERSION of each package in the root; files, what the package
# installs, bar the package manager's own; field NAME, from the package's
# own metadata (a list's items on one line), and the names of its
# depends, arch and installed-size fields. pkg: the package in out/ARCH.
apk() { "$host/bin/apk" "$@"; }
if [ -n "$apk_release" ]; then
	package() { echo "$top/bin/packages/$arch/hostq/hostq-$version-r$pkg_release.apk"; }
	install() {
		mkdir -p "$1/etc/apk/keys" && cp "$2" "$1/etc/apk/keys/"
		apk add --root "$1" --initdb --no-scripts --no-network --arch "$arch" \
			--repositories-file /dev/null --repository "file://$feed/packages.adb" \
			--repository "file://$out/target/packages.adb" hostq
	}
	installed() { apk --root "$root" info -v | sed 's/-r[0-9]*$//' | sort; }
	files() { apk --root "$root" info -L hostq | sed '1d; /^$/d; \|^lib/apk/|d'; }
	field() {
		apk adbdump "$pkg" | awk -v f="$1" '
			/^[^ ]/ { info = ($0 == "info:") }
			info && /^  [a-z-]+:/ { on = ($1 == f ":"); v = substr($0, length($1) + 4); if (on && v !~ /^#/) out = v; next }
			info && on && /^    - / { out = out (out == "" ? "" : " ") substr($0, 7) }
			END { print out }'
	}
	fields=(depends arch installed-size)
else
	package() { echo "$top/bin/packages/$arch/hostq/hostq_$version-r${pkg_release}_$arch.ipk"; }
	install() {
		local p
		mkdir -p "$1"
		for p in "$pkg" "$out/target/libc_"*"_$arch.ipk"; do
			tar -xzOf "$p" ./data.tar.gz | tar -xz -C "$1" || return 1
		done
	}
	control() { tar -xzOf "$1" ./control.tar.gz | tar -xzO ./control; }
	installed() {
		local p
		for p in "$pkg" "$out/target/libc_"*"_$arch.ipk"; do
			control "$p" | sed -n 's/^Package: //p; s/^Version: \(.*\)-r[0-9]*$/\1/p' | paste -sd-
		done | sort
	}
	files() { tar -xzOf "$pkg" ./data.tar.gz | tar -tz | sed '\|/$|d; s|^\./||'; }
	field() { control "$pkg" | sed -n "s/^$1: //p"; }
	fields=(Depends Architecture Installed-Size)
fi

# built PROCESSOR: the package of the first build, kept in out/ARCH with
# the target's packages (and their signed indexes and the build's key),
# installed from there and run.
built() {
	local p=$1 qemu key=$top/public-key.pem bin cpu want
	info() { sed -n "s/^$1=//p" "$toolchain/info.mk"; }
	out=$work/out/$arch root=$work/out/$arch/root feed=$work/out/$arch/packages
	[ -f "$(package)" ] || die "no $(package)"
	[ -z "$apk_release" ] ||
		openwrt "index-$arch.log" package/index V=s || die "make package/index failed (see $work/index-$arch.log)"
	mkdir -p "$out"
	cp -r "$(dirname "$(package)")" "$feed"
	cp -r "$top/bin/targets/$target/packages" "$out/target"
	pkg=$feed/$(basename "$(package)")
	kept+=("$pkg" "$root/usr/bin/hostq")
	want="hostq-$version libc-$(info LIBC_VERSION)"
	if [ -n "$apk_release" ]; then
		cp "$key" "$out/"
		kept+=("$feed/packages.adb" "$out/target/packages.adb" "$out/public-key.pem")
		# apk pulls in what libc depends on: the toolchain's libgcc.
		want+=" libgcc1-$(info GCC_VERSION)"
	fi
	install "$root" "$key" >"$work/install-$arch.log" 2>&1 || {
		cat "$work/install-$arch.log"
		die "hostq could not be installed from the package"
	}
	check "the package depends on more than libc: $(field "${fields[0]}")" test "$(field "${fields[0]}")" = libc
	check "the package is not for $arch: $(field "${fields[1]}")" test "$(field "${fields[1]}")" = "$arch"
	check "the package holds more than hostq: $(files)" test "$(files)" = usr/bin/hostq
	check "installed are not hostq and a libc labelled with the toolchain's musl: $(installed | tr '\n' ' ')" \
		test "$(installed | tr '\n' ' ')" = "$want "
	installed=$(field "${fields[2]}")
	bin=$root/usr/bin/hostq
	[ -f "$bin" ] || die "nothing installed usr/bin/hostq"
	check "ELF facts" "$src/tests/elf_test.sh" "$(table processors "$p" triplet)-readelf" "$bin" "${abi[@]}" dynamic
	loader=$(printf '%s\n' "${abi[@]}" | sed -n 's|^loader:/||p')
	check "the root has no $loader that is its libc" test "$(readlink "$root/$loader")" = libc.so
	# OpenWrt has stripped it.
	echo "$arch: ${pkg#"$work/"}: $(stat -c %s "$pkg") B; installed: $installed B;" \
		"usr/bin/hostq: $(stat -c %s "$bin") B, xz -9 $(xz -9c "$bin" | wc -c) B"
	qemu=$(table processors "$p" qemu)
	[ -z "$soft" ] || {
		cpu=$(table processors "$p" nofpu_cpu)
		[ "$cpu" != - ] || die "tables/processors: $p is soft-float on OpenWrt, and has no nofpu_cpu"
		qemu+=" -cpu $cpu"
		check "the toolchain's libgcc computes wrong" "$src/tests/float/test.sh" "$gcc" "$qemu"
	}
	check "$arch: end-to-end table" "$src/tests/e2e/run.sh" --flavour "$(cat "$toolchain/flavour")" --runner "$qemu -L $root" "$bin"
	# The feed's runtime test, with hostq on its PATH (what it must refuse
	# is a row of tests/meta/breakages.sh).
	mkdir -p "$work/path-$arch"
	printf '#!/bin/sh\nexec %s -L %s %s "$@"\n' "$qemu" "$root" "$bin" >"$work/path-$arch/hostq"
	chmod +x "$work/path-$arch/hostq"
	check "$arch: test.sh fails on the package" env PATH="$work/path-$arch:$PATH" "${offline[@]}" sh "$package/test.sh" hostq "$version"
}

# What OpenWrt must refuse, once a tree.
refusals() {
	# A build that would download: it fails, and nothing is fetched.
	clean download
	rm -f "$top/dl/$dist_name"
	check "a build without its tarball did not try to download it, offline" \
		refuses download.log '^(wget: refused: the build is offline|No more mirrors to try - giving up\.)$'
	check "a download landed in dl/" test "$(downloads)" = "$(grep -vxF "./$dist_name" <<<"$given")"
	cp "$dist" "$top/dl/"

	# A program that needs libstdc++, a stray std::string planted in the
	# tarball's main.cc: OpenWrt's dependency check refuses it.
	local planted=$work/planted main
	mkdir -p "$planted"
	tar -xzf "$dist" -C "$planted"
	main=$(echo "$planted"/hostq-*/src/main.cc)
	sed -i 's/^#include <cstdio>$/&\n#include <string>/; s/^int main(int argc, char \*\*argv)$/static std::string planted_name;\n&/' "$main"
	sed -i '0,/^{$/s//{\n\tplanted_name = argv[0];\n\tif (planted_name.size() == 1)\n\t\treturn 1;/' "$main"
	grep -q 'planted_name = argv\[0\]' "$main" || die "the std::string was not planted in main.cc"
	tar -czf "$top/dl/$dist_name" -C "$planted" "$(basename "$(dirname "$(dirname "$main")")")"
	pin "$(sha256sum <"$top/dl/$dist_name" | cut -c1-64)"
	clean libstdcxx
	check "a hostq that needs libstdc++ passed OpenWrt's dependency check" \
		refuses libstdcxx.log '^Package hostq is missing dependencies for the following libraries:$'
	check "the dependency check did not name libstdc++" grep -qx 'libstdc++.so.6' "$work/libstdcxx.log"
	cp "$dist" "$top/dl/"
	pin "$hash"
	clean rebuilt

	# An index signed by another key: apk refuses it, and installs nothing.
	[ -z "$apk_release" ] || {
		local other=$work/other-key
		mkdir -p "$other/index"
		cp "$pkg" "$other/index/"
		openssl ecparam -name prime256v1 -genkey -noout -out "$other/private-key.pem" 2>/dev/null
		(cd "$other/index" && apk mkndx --allow-untrusted --sign "$other/private-key.pem" \
			--output packages.adb "${pkg##*/}") >"$other/mkndx.log" 2>&1 ||
			die "apk mkndx with another key failed (see $other/mkndx.log)"
		untrusted() {
			! feed=$other/index install "$other/root" "$top/public-key.pem" >"$other/add.log" 2>&1 &&
				[ ! -e "$other/root/usr/bin/hostq" ] && grep -m1 'UNTRUSTED signature' "$other/add.log"
		}
		check "apk add took an index signed by another key" untrusted
	}
}

# A hard-float libgcc on a soft-float target: the build fails, naming the
# binary, and leaves no package.
hard_float() {
	local triple gcc_dir
	triple=$(table processors "$1" triplet)
	gcc_dir=$toolchain/lib/gcc-cross/$triple/12
	clean hard-float
	ln -sf "/usr/lib/gcc-cross/$triple/12"/{libgcc.a,crtbeginS.o,crtendS.o} "$gcc_dir/"
	check "a hard-float libgcc on $arch did not fail loudly" \
		refuses hard-float.log "is not soft-float \(it links hard-float code\), and this target's ABI is: removed"
	check "a hard-float libgcc on $arch gave a package" test ! -e "$(package)"
	"$src/tools/openwrt-toolchain" "$top" "$1" "$toolchain" >/dev/null || die "cannot make the toolchain again"
}

first=1 hard_planted=''
for p in "${processors[@]}"; do
	configure "$p"
	if [ -n "$first" ]; then
		# The package as it is in the project, whose PKG_HASH no tarball
		# has: the build stops, naming both hashes. The tarball stays in
		# dl/ (scripts/download.pl dies before it deletes it).
		intree=$(sed -n 's/^PKG_HASH:=//p' "$makefile")
		check "a tarball that is not PKG_HASH's was built" \
			refuses unhashed.log "Hash of the local file $dist_name does not match \(file: $hash, requested: $intree\)"
		check "the tarball that is not PKG_HASH's left dl/" test -f "$top/dl/$dist_name"
		cp "$dist" "$top/dl/"
		pin "$hash"
	fi
	start=$SECONDS
	compile "build-$arch.log" || {
		tail -n 30 "$work/build-$arch.log"
		die "make package/hostq/compile failed for $arch (see $work/build-$arch.log)"
	}
	echo "$arch: make package/hostq/compile took $((SECONDS - start)) s"
	check "$arch: a download was tried" test -z "$(grep -E '(wget|curl): refused' "$work/build-$arch.log")"
	check "$arch: something else landed in dl/" test "$(downloads)" = "$given"
	built "$p"
	[ -z "$first" ] || refusals
	if [ -n "$soft" ] && [ -z "$hard_planted" ]; then
		hard_float "$p"
		hard_planted=1
	fi
	first=''
done
# What a user takes away, still there after the refusals.
for file in "${kept[@]}"; do
	check "${file#"$work/"} is gone" test -f "$file"
done
finish
