#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What a packager gets: warnings fail only the project's own builds, the
# caller's flags reach the compiler as given, and the release tarball is
# reproducible and builds and installs with plain CMake.
#
#   tests/packaging_test.sh SOURCE_DIR
set -u
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/counts.sh
. "$src/tests/counts.sh"

# The tarball, twice from one commit: the same bytes.
"$src/tools/dist" "$work/a" >"$work/a.out" 2>/dev/null
"$src/tools/dist" "$work/b" >"$work/b.out" 2>/dev/null
tarball=$(head -n 1 "$work/a.out")
check "tools/dist prints the tarball and its SHA-256" \
	test "$(sha256sum <"$tarball" | cut -c1-64)" = "$(sed -n 2p "$work/a.out")"
check "the same commit gives the same tarball" cmp "$tarball" "$(head -n 1 "$work/b.out")"

# Unpacked with no git around it: a plain configure, build and DESTDIR install.
mkdir "$work/unpacked"
tar -xzf "$tarball" -C "$work/unpacked"
tree=$(echo "$work"/unpacked/hostq-*)
plain() { cmake -S "$1" -B "$2" -DBUILD_TESTING=OFF "${@:3}" && cmake --build "$2" -j2; }
check "the tarball builds with plain CMake" plain "$tree" "$work/tar-build" -DCMAKE_INSTALL_PREFIX=/usr
check "and installs under DESTDIR" env DESTDIR="$work/root" cmake --install "$work/tar-build"
for f in usr/bin/hostq usr/share/man/man1/hostq.1 usr/share/doc/hostq/LICENSE usr/share/doc/hostq/README.md \
	usr/share/doc/hostq/doc/c-libraries.md; do
	check "installed: $f" test -s "$work/root/$f"
done
check "the installed binary runs" test "$("$work/root/usr/bin/hostq")" = \
	"hostq DNS name. Return ip adress or NULL if not resolved"

# A warning planted in a copy: an error in a preset build, a warning in a plain one.
sed -i 's/^\tconst char \*query = argv\[1\];/&\n\tint planted_unused = 0;/' "$tree/src/main.cc"
check "the warning is planted" grep -q planted_unused "$tree/src/main.cc"
check "a plain build passes over a warning" plain "$tree" "$work/warn-plain"
check "a preset configures the copy" bash -c "cd '$tree' && cmake --preset host -DBUILD_TESTING=OFF"
# Fails, and for the planted warning made an error, not for another reason.
werror() {
	! (cd "$tree" && LC_ALL=C cmake --build --preset host --target hostq) >"$work/werror.log" 2>&1 &&
		grep -q "error: unused variable 'planted_unused' \[-Werror=unused-variable\]" "$work/werror.log"
}
check "a preset build fails on the warning, as an error" werror

# A caller's flags reach every compile line unchanged, and no optimisation
# level of the project's own follows them.
flags="-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=2"
check "a caller's flags configure" plain "$src" "$work/flags" -DCMAKE_CXX_FLAGS="$flags"
check "a caller's flags reach the compile lines as given" \
	grep -q -- " $flags .*-fno-exceptions -fno-rtti" "$work/flags/compile_commands.json"
no_later_level() { grep -q -- " $flags " "$1" && ! grep -q -- "$flags.* -O[0-9sgz]" "$1"; }
check "nothing after them overrides the optimisation level" no_later_level "$work/flags/compile_commands.json"

# A toolchain file's own flags, with no optimisation level among them and
# no build type given: still an optimised build.
echo 'set(CMAKE_CXX_FLAGS_INIT "-fno-plt")' >"$work/toolchain.cmake"
check "a toolchain file with flags configures" plain "$src" "$work/toolchain" \
	-DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake"
check "and builds optimised" grep -q -- "-fno-plt .*-O3" "$work/toolchain/compile_commands.json"

finish
