# shellcheck shell=bash disable=SC2154 # the caller's src, die, skip and fetch
# SPDX-License-Identifier: MIT
# Buildroot, offline: the release of tables/releases, with what it would
# download taken from the sources its row "uses" (PACKAGE=RELEASE). Sourced
# by tests/buildroot_test.sh and lab/guests.sh, which give src (the source
# tree) and tests/counts.sh's die, skip and fetch.
#
#   buildroot_tree WORK        unpacks it all into WORK; sets br
#   buildroot_configure OUT PROCESSOR DEFCONFIG [LOCAL.MK LINES]
#                              a fresh output folder OUT, its local.mk,
#                              and DEFCONFIG with the processor's toolchain
#                              prefix (tools/buildroot-toolchain)
#   buildroot_make OUT [TARGET...]   make with no network
#   offline_log LOG            true when LOG shows no download
#   downloaded                 what the download folder holds
export FORCE_UNSAFE_CONFIGURE=1 # host-tar's configure, as root
unshare -n true 2>/dev/null && offline=(unshare -n) || offline=(unshare -rn)

buildroot_overrides=''
buildroot_tree() {
	local work=$1 release tarball use package dsc
	release=$("$src/tools/table" releases --names library=buildroot) || die "tables/releases names no Buildroot"
	fetch tarball "$release"
	tar -xf "$tarball" -C "$work" || die "cannot unpack $tarball"
	br=$(echo "$work"/buildroot-*)
	for use in $("$src/tools/table" releases "$release" uses); do
		[ "${use#*=}" != "$use" ] || continue
		package=${use%%=*}
		fetch dsc "${use#*=}"
		dpkg-source -x "$dsc" "$work/src-$package" >"$work/src-$package.log" 2>&1 ||
			die "cannot unpack $dsc (see $work/src-$package.log)"
		package=${package^^}
		buildroot_overrides+="${package//-/_}_OVERRIDE_SRCDIR = $work/src-${use%%=*}"$'\n'
	done
}

buildroot_configure() {
	local out=$1 triple
	triple=$("$src/tools/table" processors "$2" triplet) || die "no processor $2"
	mkdir -p "$out"
	printf '%s%s\n' "$buildroot_overrides" "${4:-}" >"$out/local.mk"
	{
		cat "$3"
		echo "BR2_TOOLCHAIN_EXTERNAL_CUSTOM_PREFIX=\"$triple\""
	} >"$out/hostq_defconfig"
	make -C "$br" O="$out" BR2_EXTERNAL="$src/packaging/buildroot" BR2_DEFCONFIG="$out/hostq_defconfig" \
		defconfig >"$out/make.log" 2>&1 || die "make defconfig of $3 failed (see $out/make.log)"
}

buildroot_make() {
	local out=$1
	shift
	"${offline[@]}" make -C "$br" O="$out" "$@" >>"$out/make.log" 2>&1 && return 0
	tail -n 20 "$out/make.log"
	local fetching
	fetching=$(sed -n 's/^>>> \(.*\) Downloading$/\1/p' "$out/make.log" | head -n 1)
	[ -z "$fetching" ] || die "Buildroot would download $fetching (see $out/make.log)"
	die "make $* failed (see $out/make.log)"
}

# No ">>> PKG VERSION Downloading" and none of wget's own lines, which
# start with "--DATE TIME--". BusyBox's configuration output names its
# wget applet ("wget (38 kb) (WGET) [Y/n/?] y"): that is not a download.
offline_log() { ! grep -E '^>>> .* Downloading|^--[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}-- ' "$1"; }

# Locks aside.
downloaded() { (cd "$br/dl" 2>/dev/null && find . -type f ! -name .lock | sort); }
