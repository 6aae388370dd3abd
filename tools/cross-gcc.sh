# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# Debian's cross gcc 12 as the compiler of an external toolchain folder,
# sourced by tools/buildroot-toolchain and tools/openwrt-toolchain.
# Debian's gcc is configured with --with-sysroot=/, and it searches its
# own folder /usr/TRIPLET (glibc's headers and libraries) before any
# --sysroot: so the folder gets gcc's own files, less the target
# libraries, which belong to the C library's side, and scripts that move
# gcc's folder there (GCC_EXEC_PREFIX) and give it the sysroot.

# need_cross_gcc TRIPLET WHO: Debian's gcc and g++ for TRIPLET are here,
# or WHO stops, saying so.
need_cross_gcc() {
	local tool
	for tool in "$1-gcc-12" "$1-g++-12"; do
		command -v "$tool" >/dev/null || {
			echo "$2: $tool missing (tools/install-deps)" >&2
			exit 1
		}
	done
}

# cross_gcc_folder TRIPLET DIR [LIBGCC]: DIR/lib/gcc-cross/TRIPLET/12,
# a link to each of gcc's files but the target libraries; with LIBGCC (a
# folder of tools/soft-float-libgcc), its libgcc and start files in place
# of Debian's, which are hard-float. And Debian's C++ headers and
# binutils where gcc looks for them.
cross_gcc_folder() {
	local triple=$1 dir=$2 libgcc=${3:-} f
	local to=$dir/lib/gcc-cross/$triple/12
	mkdir -p "$to" "$dir/$triple/include"
	for f in "/usr/lib/gcc-cross/$triple/12"/* ${libgcc:+"$libgcc"/*}; do
		case ${f##*/} in
		libstdc++* | libsupc++.a | libatomic* | libgomp* | libcc1.so | libssp_nonshared.a) continue ;;
		libgcc* | crtbegin*.o | crtend*.o | crtfastmath.o | crtprec*.o)
			[ -z "$libgcc" ] || [ "${f%/*}" = "$libgcc" ] || continue
			;;
		esac
		ln -s "$f" "$to/"
	done
	ln -s "/usr/$triple/include/c++" "$dir/$triple/include/c++"
	ln -s "/usr/$triple/bin" "$dir/$triple/bin"
}

# cross_gcc_script TRIPLET TOOL DIR PREFIX SYSROOT FLAGS [AFTER]: writes
# DIR/bin/PREFIXTOOL, which runs Debian's TRIPLET-TOOL-12 with its folder
# in DIR, the SYSROOT and FLAGS, and tells that sysroot when asked (-v).
# AFTER, shell text, runs once the compiler has succeeded; without it the
# compiler is the script's last word.
cross_gcc_script() {
	local triple=$1 tool=$2 dir=$3 prefix=$4 sysroot=$5 flags=$6 after=${7:-}
	local run="/usr/bin/$triple-$tool-12 --sysroot=$sysroot${flags:+ $flags} \"\$@\""
	{
		cat <<-SCRIPT
		#!/bin/sh
		# Debian's $triple-$tool-12, with its own folder and its sysroot here.
		export GCC_EXEC_PREFIX=$dir/lib/gcc-cross/
		if [ "\$#" = 1 ] && [ "\$1" = -v ]; then
			/usr/bin/$triple-$tool-12 -v 2>&1 | sed 's|--with-sysroot=/ |--with-sysroot=$sysroot |' >&2
			exit 0
		fi
		SCRIPT
		if [ -z "$after" ]; then
			echo "exec $run"
		else
			echo "$run || exit"
			echo "$after"
		fi
	} >"$dir/bin/$prefix$tool"
	chmod +x "$dir/bin/$prefix$tool"
}

# cross_binutils TRIPLET DIR PREFIX: DIR/bin/PREFIX* for the rest of
# Debian's cross tools: the archivers as gcc's wrappers (Buildroot's
# TARGET_AR is gcc-ar, which BusyBox's link uses), the others as links.
cross_binutils() {
	local triple=$1 dir=$2 prefix=$3 tool f
	for tool in ar nm ranlib; do
		ln -s "/usr/bin/$triple-gcc-$tool-12" "$dir/bin/${prefix}gcc-$tool"
	done
	for f in /usr/bin/"$triple"-*; do
		tool=${f#/usr/bin/"$triple"-}
		case $tool in gcc* | g++* | cpp* | c++* | *-12) continue ;; esac
		ln -s "$f" "$dir/bin/$prefix$tool"
	done
}
