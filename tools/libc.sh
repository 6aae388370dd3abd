# shellcheck shell=bash disable=SC2154 # r_*: tools/table's --shell r
# SPDX-License-Identifier: MIT
# The rules of a C library build, sourced by the scripts that build one
# (tools/build-sysroot, tools/build-musl) and by the end-to-end table
# (tests/e2e/row.sh).

# flavour_name LIBRARY ROLE VERSION: the end-to-end table's name for a
# build of that release: the library alone for the project's static
# builds, which carry its one release of role static;
# LIBRARY-device-VERSION for a device's.
flavour_name() {
	if [ "$2" = static ]; then
		echo "$1"
	else
		echo "$1-device-$3"
	fi
}

# release_fits LIBRARY ROLE, with a row of tables/releases read as r_FIELD
# (tools/table releases RELEASE --shell r): whether it is a release of
# LIBRARY that builds of ROLE (static or device) may link; otherwise says
# why, once.
release_fits() {
	if [ "$r_library" != "$1" ]; then
		echo "tables/releases: $r_release is a release of $r_library, not of $1" >&2
		return 1
	fi
	case $2 in static | device) ;; *)
		echo "tables/releases: no role $2 (static or device)" >&2
		return 1
		;;
	esac
	if [[ " $r_roles " != *" $2 "* ]]; then
		echo "tables/releases: $r_release has no role $2 (its roles: $r_roles)" >&2
		return 1
	fi
}

# lock_libc DIR: waits while another process builds the libc in DIR, then
# keeps others waiting until this shell exits. tools/check builds the
# libcs of the builds to come in the background, and a build's configure
# may ask for one of them meanwhile.
lock_libc() {
	mkdir -p "${1%/*}"
	exec 9>"$1.lock"
	flock 9
}

# orig_tarball DSC: the upstream tarball beside a Debian source package's
# .dsc (its .orig), which the releases built as upstream ships them take.
orig_tarball() {
	echo "$(dirname "$1")/$(awk '/^Files:/ { on = 1; next } on && $3 ~ /\.orig\.tar\.[a-z]+$/ { print $3; exit }' "$1")"
}

# used_release RELEASE LIBRARY: the release of LIBRARY among those
# RELEASE "uses" in tables/releases (not its PACKAGE=RELEASE words).
used_release() {
	local r
	for r in $("$(dirname "${BASH_SOURCE[0]}")/table" releases "$1" uses); do
		[ "$r" = "${r#*=}" ] || continue
		[ "$("$(dirname "${BASH_SOURCE[0]}")/table" releases "$r" library)" != "$2" ] || echo "$r"
	done
}
