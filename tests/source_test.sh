#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tools/source's roads and checks, offline: a web server on loopback, in a
# network namespace of the test's own, stands in for the official sites,
# and serves right, repacked and wrong tarballs, for a release of a table
# of the test's own. Then a file that a Debian package installs, and the
# static builds' uClibc-ng release, where its tarball can be had: served
# as it is, it is taken; served changed, refused.
#
#   tests/source_test.sh
#
# Exits 77 (skipped) where no network namespace can be made, or where the
# real tarball is not at hand (after the other rows have passed).
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${HOSTQ_SOURCE_TEST_INSIDE:-}" != 1 ]; then
	# The real tarball is looked for where the caller keeps it (its folder,
	# its cache: tools/check fetches it before the tests run), with no
	# network: a test never downloads.
	release=$("$top/tools/table" releases --names library=uclibc roles=static) || exit 1
	for how in "unshare -n" "unshare -rn"; do
		if $how true 2>/dev/null; then
			real=$($how "$top/tools/source" "$release" 2>/dev/null) || real=''
			HOSTQ_SOURCE_TEST_INSIDE=1 HOSTQ_REAL_TARBALL=$real HOSTQ_REAL_RELEASE=$release exec $how "$0" "$@"
		fi
	done
	echo "SKIP: no network namespace (unshare -n) on this machine"
	exit 77
fi
ip link set lo up

tmp=$(mktemp -d)
server_pid=''
trap '[ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null; wait; rm -rf "$tmp"' EXIT
site=$tmp/site folder=$tmp/folder
mkdir -p "$site" "$folder" "$tmp/release/demo-1.0/src"
export XDG_CACHE_HOME=$tmp/cache
cache=$XDG_CACHE_HOME/hostq/sources

# A release, and three tarballs of it: the one the table pins, the same
# tree packed otherwise (another order, other times, gzip inside), and
# one whose tree differs by a byte.
printf 'int main(void) { return 0; }\n' >"$tmp/release/demo-1.0/src/main.c"
printf 'demo\n' >"$tmp/release/demo-1.0/README"
(cd "$tmp/release" && tar --sort=name --mtime=@0 -cJf "$tmp/right.tar.xz" demo-1.0)
(cd "$tmp/release" && tar --mtime=@86400 -czf "$tmp/repacked.tar.xz" demo-1.0/README demo-1.0/src)
printf 'int main(void) { return 1; }\n' >"$tmp/release/demo-1.0/src/main.c"
(cd "$tmp/release" && tar --sort=name --mtime=@0 -cJf "$tmp/wrong.tar.xz" demo-1.0)
sha=$(sha256sum <"$tmp/right.tar.xz" | cut -c1-64)
tree=$(mkdir "$tmp/t" && tar -xf "$tmp/right.tar.xz" -C "$tmp/t" && cd "$tmp/t/demo-1.0" &&
	git init -q && git add -A -f && git write-tree)
# The test's tables: the project's own, and in its releases a demo
# release and files a Debian package would install.
export HOSTQ_TABLES=$tmp/tables
mkdir "$HOSTQ_TABLES" && cp "$top/tables/"* "$HOSTQ_TABLES/"
printf 'demo\n' >"$tmp/installed"
row_of() { # row_of RELEASE SOURCE SHA256 TREE URL
	printf '\nrelease: %s\nlibrary: demo\nversion: 1.0\nroles: tool\nsource: %s\nsha256: %s\ntree: %s\nurl: %s\nlacks: -\nuses: -\nfaults: -\n' "$@"
}
{
	row_of demo-1.0 demo-1.0.tar.xz "$sha" "$tree" https://example.invalid/demo-1.0.tar.xz
	row_of installed-1.0 "$tmp/installed" "$(sha256sum <"$tmp/installed" | cut -c1-64)" - -
	row_of installed-2.0 "$tmp/installed" "$sha" - -
	row_of installed-3.0 "$tmp/missing" "$sha" - -
} >>"$HOSTQ_TABLES/releases"

python3 -m http.server --bind 127.0.0.1 --directory "$site" 8080 >/dev/null 2>"$tmp/requests" &
server_pid=$!
for _ in $(seq 50); do
	[ -s "$tmp/requests" ] || (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null && break
	sleep 0.1
done
export HOSTQ_PRIMARY_SITE=http://127.0.0.1:8080

# shellcheck source=tests/counts.sh
. "$top/tests/counts.sh"
# row NAME SERVED IN_FOLDER IN_CACHE STATUS OUT ERR REQUESTS [NAME_ASKED]
#   SERVED, IN_FOLDER, IN_CACHE: right, repacked, wrong or -, what the
#   site, HOSTQ_SOURCES and the cache hold before the run;
#   STATUS: tools/source's exit status; OUT, ERR: extended regular
#   expressions its whole standard output and error must match;
#   REQUESTS: how many downloads it asked the site for.
row() {
	local name=$1 served=$2 in_folder=$3 in_cache=$4 want_status=$5 want_out=$6 want_err=$7 want_requests=$8
	local asked=${9:-demo-1.0} file=demo-1.0.tar.xz
	[ "$asked" = demo-1.0 ] || file=$("$top/tools/table" releases "$asked" source 2>/dev/null) || file=none
	rm -rf "${site:?}"/* "${folder:?}"/* "$XDG_CACHE_HOME"
	[ "$served" = - ] || cp "$tmp/$served.tar.xz" "$site/$file"
	[ "$in_folder" = - ] || { mkdir -p "$folder/sub" && cp "$tmp/$in_folder.tar.xz" "$folder/sub/$file"; }
	[ "$in_cache" = - ] || { mkdir -p "$cache" && cp "$tmp/$in_cache.tar.xz" "$cache/$file"; }
	local before status=0 out err requests problems=()
	before=$(grep -c 'GET ' "$tmp/requests")
	out=$(HOSTQ_SOURCES=$folder "$top/tools/source" "$asked" 2>"$tmp/err") || status=$?
	err=$(cat "$tmp/err")
	requests=$(($(grep -c 'GET ' "$tmp/requests") - before))
	[ "$status" = "$want_status" ] || problems+=("exit status $status, not $want_status")
	[[ $out =~ ^($want_out)$ ]] || problems+=("stdout: '$out'")
	[[ $err =~ ^($want_err)$ ]] || problems+=("stderr: '$err'")
	[ "$requests" = "$want_requests" ] || problems+=("$requests downloads, not $want_requests")
	# What tools/source printed must be the tarball asked for, unchanged,
	# or the installed file itself.
	if [ "$status" = 0 ] && [ -f "$out" ] && [ "$out" != "$file" ] && ! cmp -s "$out" "$tmp/right.tar.xz" && ! cmp -s "$out" "$tmp/repacked.tar.xz"; then
		problems+=("$out is not a tarball of the release")
	fi
	# A refused download never reaches the cache.
	[ "$status" = 0 ] || [ ! -e "$cache/$file" ] || problems+=("a refused tarball is in the cache")
	verdict "$name"
}

f=demo-1.0.tar.xz
refused="tools/source: [^ ]*/$f refused: sha256 [0-9a-f]{64}, tree [0-9a-f]{40}; want sha256 $sha or tree $tree"
skip="SKIP: $f \\(sha256 $sha\\) not found in HOSTQ_SOURCES \\($folder\\) or $cache, nor from $HOSTQ_PRIMARY_SITE/$f: put it in either folder"
row download-right right - - 0 "$cache/$f" '' 1
row download-repacked repacked - - 0 "$cache/$f" '' 1
row download-wrong wrong - - 1 '' "$refused" 1
row nothing-anywhere - - - 77 "$skip" '' 1
row folder-first right right - 0 "$cache/$f" '' 0
row folder-repacked - repacked - 0 "$cache/$f" '' 0
row folder-wrong-then-download right wrong - 0 "$cache/$f" "$refused" 1
row cache-second right - right 0 "$cache/$f" '' 0
row cache-wrong-is-dropped right - wrong 0 "$cache/$f" "$refused" 1
row folder-before-cache - right wrong 0 "$cache/$f" '' 0
row unknown-name - - - 2 '' "tables/releases: no row demo-2.0 \\(rows: .*\\)" 0 demo-2.0

# A file that a Debian package installs: its hash, never a download.
row installed-1.0 - - - 0 "$tmp/installed" '' 0 installed-1.0
row installed-2.0 - - - 1 '' "tools/source: $tmp/installed refused: sha256 [0-9a-f]{64}; want $sha" 0 installed-2.0
row installed-3.0 - - - 77 "SKIP: $tmp/missing not found: .*" '' 0 installed-3.0

# The project's own row, on the real release: served, it is taken (by
# its hash or its tree); a byte changed in one of its files, refused.
if [ -n "${HOSTQ_REAL_TARBALL:-}" ]; then
	r=$HOSTQ_REAL_RELEASE
	cp "$HOSTQ_REAL_TARBALL" "$tmp/right.tar.xz"
	mkdir "$tmp/real" && tar -xf "$HOSTQ_REAL_TARBALL" -C "$tmp/real"
	echo '/* changed */' >>"$(echo "$tmp"/real/*/libc/inet/resolv.c)"
	(cd "$tmp/real" && tar -cJf "$tmp/wrong.tar.xz" ./*)
	real_file=$("$top/tools/table" releases "$r" source)
	row "$r-served" right - - 0 "$cache/$real_file" '' 1 "$r"
	row "$r-changed" wrong - - 1 '' "tools/source: [^ ]*/$real_file refused: sha256 [0-9a-f]{64}, tree [0-9a-f]{40}; want sha256 $("$top/tools/table" releases "$r" sha256) or tree $("$top/tools/table" releases "$r" tree)" 1 "$r"
fi

finish || exit 1
if [ -z "${HOSTQ_REAL_TARBALL:-}" ]; then
	echo "SKIP: the tarball of $HOSTQ_REAL_RELEASE is neither in HOSTQ_SOURCES nor in the cache (tools/source $HOSTQ_REAL_RELEASE fetches it): its rows were not run"
	exit 77
fi
