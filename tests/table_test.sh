#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# tools/table: every row of the project's own tables reads, and a table
# that is broken, or a question it cannot answer, stops the reader with
# one line that names the table.
#
#   tests/table_test.sh
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# shellcheck source=tests/counts.sh
. "$top/tests/counts.sh"
result() { # result NAME PROBLEM
	local problems=()
	[ -z "$2" ] || problems=("$2")
	verdict "$1"
}

# The project's tables, each row whole.
tables=0
for table in "$top"/tables/*; do
	table=${table##*/} rows=0 problem=''
	for name in $("$top/tools/table" "$table" --names); do
		"$top/tools/table" "$table" "$name" --cmake >/dev/null || problem+=" $name"
		rows=$((rows + 1))
	done
	[ "$rows" -gt 0 ] || problem=' no rows'
	result "tables/$table ($rows rows)" "${problem:+unreadable:$problem}"
	tables=$((tables + 1))
done
[ "$tables" -ge 2 ] || result "the project's tables" "only $tables found in tables/"

# How much the tests hold, counted as it stands, against tables/tests.
counted=0
for what in $("$top/tools/table" tests --names); do
	case $what in
	e2e-rows) now=$("$top/tests/boot/table.sh" count glibc | cut -d' ' -f2) ;;
	guest-rows) now=$("$top/tests/boot/table.sh" count glibc | cut -d' ' -f1) ;;
	breakages) now=$("$top/tests/meta/run.sh" --list "$top" | wc -l) ;;
	faults) now=$("$top/tools/plant-faults" --list | wc -l) ;;
	*) now="nothing: no way to count it" ;;
	esac
	want=$("$top/tools/table" tests "$what" count)
	result "tables/tests: $what" "$([ "$now" = "$want" ] || echo "$now, not $want")"
	counted=$((counted + 1))
done
[ "$counted" -eq 4 ] || result "tables/tests" "$counted counts, not the 4 the test counts"

export HOSTQ_TABLES=$tmp
good='fields: name colour size\n\nname: a\ncolour: red\nsize: -\n\n# a note\nname: b\ncolour: red blue\nsize: 2\n'
# name | table text (printf %b) | arguments | status | standard output | standard error (ERE)
while IFS='|' read -r name text args want_status want_out want_err; do
	printf '%b' "$text" >"$tmp/t"
	read -r -a argv <<<"$args"
	status=0
	out=$("$top/tools/table" "${argv[@]}" 2>"$tmp/err") || status=$?
	err=$(cat "$tmp/err")
	problem=''
	[ "$status" = "$want_status" ] || problem+=" status $status, not $want_status;"
	[ "$out" = "$(printf '%b' "$want_out")" ] || problem+=" stdout '$out';"
	[[ $err =~ ^($want_err)$ ]] || problem+=" stderr '$err';"
	result "$name" "$problem"
done <<CASES
a field|$good|t b colour|0|red blue|
none is "-"|$good|t a size|0|-|
for eval|$good|t b --shell x|0|x_name='b'\nx_colour='red blue'\nx_size='2'|
for cmake|$good|t a --cmake|0|name=a\ncolour=red\nsize=-|
every name|$good|t --names|0|a\nb|
names by a word|$good|t --names colour=blue|0|b|
names by two|$good|t --names colour=red size=2|0|b|
no such table|$good|nope a colour|2||tables/nope: no such table .*
no such row|$good|t c colour|2||tables/t: no row c [(]rows: a b[)]
no such field|$good|t a weight|2||tables/t: no field weight
no row selected|$good|t --names colour=green|2||tables/t: no row with colour=green
select by no field|$good|t --names weight=2|2||tables/t: no field weight to select rows by
a row lacks a field|fields: name colour size\n\nname: a\ncolour: red\n|t a colour|2||tables/t: row a lacks field size
a field too many|fields: name colour\n\nname: a\ncolour: red\nsize: 2\n|t a colour|2||tables/t: row a has field size, which is not one of the table's fields
a row twice|fields: name\n\nname: a\n\nname: a\n|t a name|2||tables/t: row a twice
a field twice|fields: name colour\n\nname: a\ncolour: red\ncolour: blue\n|t a colour|2||tables/t: row a has field colour twice
an empty field|fields: name colour\n\nname: a\ncolour:\n|t a colour|2||tables/t: line 4: field colour is empty [(]write - for none[)]
not a field line|fields: name\n\nname: a\njust words\n|t a name|2||tables/t: line 4 is not "field: value"
no fields line|name: a\n|t a name|2||tables/t: no fields: line before its first row
a row without its name|fields: name colour\n\ncolour: red\nname: a\n|t a name|2||tables/t: line 3: a row starts with its name, not colour
no rows|fields: name\n|t --names|2||tables/t: no rows
CASES
finish
