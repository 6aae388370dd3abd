# shellcheck shell=bash disable=SC2154 # $here and $world are run.sh's
# SPDX-License-Identifier: MIT
# The end-to-end table, one row a case (see row in run.sh). Sourced inside
# the test's namespaces. The world's resolv.conf names 127.0.0.1 with
# "options timeout:1" and "options attempts:1" on two lines. Where the C
# libraries differ, a row says per flavour which does what, as measured:
# the differences are doc/c-libraries.md's tables. A device's release
# keeps faults that the project's static builds mend: a row says what
# each shows, under the fault's name (tables/releases).

long_name=$(printf 'a%.0s' $(seq 1 63)).$(printf 'b%.0s' $(seq 1 63)).$(printf 'c%.0s' $(seq 1 63)).$(printf 'd%.0s' $(seq 1 63)).$(printf 'e%.0s' $(seq 1 40)).test
huge=$((128 * 1024 - 1)) # the kernel's limit for one argument
huge_name=$(head -c "$huge" /dev/zero | tr '\0' a)
huge_number=$(head -c "$huge" /dev/zero | tr '\0' 9)
big_set=$(for i in $(seq 1 60); do printf '10.6.0.%s\\n' "$i"; done)
numeric_cases=$here/../numeric_cases.tsv
awk -F'\t' '!/^#/ && $1 != "0.0.0.0" {print $1, "numeric.test"}' "$numeric_cases" | sort -u >"$world/extra-hosts"

# --- usage: the first argument missing or starting with '-'; no lookup -----
usage='hostq DNS name. Return ip adress or NULL if not resolved\n'
row usage-no-argument none "$usage" --
row usage-hyphen none "$usage" -- -
row usage-h none "$usage" -- -h
row usage-help none "$usage" -- --help
row usage-double-hyphen none "$usage" -- --
row usage-negative-number none "$usage" -- -1 one.test
row usage-hyphen-quad dnsmasq "$usage" --not-sent 'query[' -- -192.0.2.1 one.test
row usage-stdout-closed none '' --stdout closed -- -h
row usage-stdout-full none '' --stdout full -- -h
row usage-stdout-dead-pipe none '' --stdout pipe -- -h

# --- name road -------------------------------------------------------------
row one-a-record dnsmasq '10.0.0.1\n' --sent 'query[A] one.test ' -- one.test
row three-a-records dnsmasq 'set:10.0.0.1\n10.0.0.2\n10.0.0.3\n' -- three.test
row zone-order nsd '10.0.0.3\n10.0.0.1\n10.0.0.2\n10.0.0.13\n' -- ordered.test
# The UDP answer holds 30 of the 60 records; musl since 1.2.4 asks again
# over TCP and keeps MAXADDRS (48) of them.
row sixty-a-records-tcp dnsmasq "set:$big_set" --uclibc:expect "subset:$big_set" --musl:expect "subset:$big_set" --uclibc:lines 30 --musl:lines 48 --tcp-after-truncation:lines 30 -- big.test
row cname-chain dnsmasq '10.0.0.11\n' -- chain-start.test
row aaaa-only dnsmasq '' -- v6only.test
row nxdomain dnsmasq '' --sent 'query[A] missing.test ' -- missing.test
row hosts-only dnsmasq '10.0.0.9\n' --not-sent 'hostsonly' -- hostsonly.test
row hosts-before-dns dnsmasq '10.0.0.8\n' --not-sent 'both.test' -- both.test
row hosts-two-lines dnsmasq '10.0.0.5\n10.0.0.6\n' --uclibc:expect '10.0.0.5\n' -- twice.test
row localhost-from-hosts dnsmasq '127.0.0.1\n' -- localhost
row hyphen-after-first-byte dnsmasq '10.0.0.4\n' -- with-hyphen.test
row first-argument-only dnsmasq '10.0.0.1\n' --not-sent 'three.test' -- one.test three.test -h
row name-300-bytes dnsmasq '' -- "$long_name"
row name-128k dnsmasq '' -- "$huge_name"

# --- numeric road: the PTR query names the composed address ----------------
# Every case of numeric_cases.tsv; dnsmasq serves a PTR record for each
# address but 0.0.0.0.
row ptr-miss dnsmasq '' --sent 'query[PTR] 99.2.0.192.in-addr.arpa ' -- 192.0.2.99
row ptr-from-hosts dnsmasq '10.1.0.3\n' --not-sent 'query[' -- 010.001.000.003
row number-128k dnsmasq '255.0.0.0\n' --sent 'query[PTR] 0.0.0.255.in-addr.arpa ' -- "$huge_number"
while IFS=$'\t' read -r address query; do
	[ "${address#\#}" = "$address" ] || continue
	expected="$address\n"
	[ "$address" != 0.0.0.0 ] || expected=''
	IFS=. read -r a b c d <<<"$address"
	row "numeric:$query" dnsmasq "$expected" --sent "query[PTR] $d.$c.$b.$a.in-addr.arpa " \
		--not-sent 'query[A]' -- "$query"
done <"$numeric_cases"

# --- looks numeric, is a name: never a PTR query ---------------------------
row exponent dnsmasq '' --not-sent 'query[PTR]' --sent 'query[A] 1e5 ' -- 1e5
row hex dnsmasq '' --not-sent 'query[PTR]' --glibc:sent 'query[A] 0x7f.0.0.1 ' --uclibc:sent 'query[A] 0x7f.0.0.1 ' --musl:expect '127.0.0.1\n' --musl:not-sent 'query[' -- 0x7f.0.0.1
row hyphen-in-digits dnsmasq '' --not-sent 'query[PTR]' --sent 'query[A] 1-2 ' -- 1-2
row leading-space dnsmasq '' --not-sent 'query[PTR]' --uclibc:sent 'query[A]' --musl:sent 'query[A]' --glibc:not-sent 'query[' -- ' 1.2.3.4'
row high-byte dnsmasq '' --not-sent 'query[PTR]' -- $'\xb2.1.1.1'
row digits-then-high-byte dnsmasq '' --not-sent 'query[PTR]' -- $'1.2.3.4\xff'

# --- /etc/hosts as real files hold it: every row its own file --------------
# Names from DNS differ (dnsmasq knows none of these), so an answer tells
# that /etc/hosts gave it.
aliases=$(for i in $(seq 1 12); do printf ' alias%s.test' "$i"; done)
long_line="10.7.0.99 $(head -c 980 /dev/zero | tr '\0' x).test"
row hosts-canonical-name dnsmasq '10.7.0.1\n' --hosts '10.7.0.1 canon.test first.test second.test\n' -- canon.test
row hosts-third-name dnsmasq '10.7.0.1\n' --hosts '10.7.0.1 canon.test first.test second.test\n' -- second.test
row hosts-twelfth-alias dnsmasq '10.7.0.2\n' --hosts "10.7.0.2 many.test$aliases\n" --hosts-every-name-of-a-line:expect '' -- alias12.test
row hosts-case-differs dnsmasq '10.7.0.3\n' --hosts '10.7.0.3 MixedCase.Test\n' --hosts-every-line-that-names-the-host:expect '' --hosts-every-line-that-names-the-host:sent 'query[A] mIXEDcASE.tEST ' -- mIXEDcASE.tEST
row hosts-comment-after dnsmasq '10.7.0.4\n' --hosts '10.7.0.4 commented.test # and a note\n' -- commented.test
row hosts-comment-touching dnsmasq '10.7.0.4\n' --hosts '10.7.0.4 commented.test#note\n' -- commented.test
row hosts-comment-line dnsmasq '' --hosts '# 10.7.0.5 commented-out.test\n' --sent 'query[A] commented-out.test ' -- commented-out.test
row hosts-tabs-and-spaces dnsmasq '10.7.0.6\n' --hosts '10.7.0.6\t \t  spaced.test  \t  other.test \t\n' -- other.test
row hosts-indented-line dnsmasq '10.7.0.14\n' --hosts '\t  10.7.0.14 indented.test\n' --hosts-every-line-that-names-the-host:expect '' -- indented.test
row hosts-no-final-newline dnsmasq '10.7.0.13\n' --hosts '127.0.0.1 localhost\n10.7.0.13 last.test' --hosts-every-line-that-names-the-host:expect '' -- last.test
row hosts-crlf dnsmasq '10.7.0.7\n' --hosts '127.0.0.1 localhost\r\n10.7.0.7 crlf.test\r\n' --hosts-every-name-of-a-line:expect '' --hosts-every-name-of-a-line:sent 'query[A] crlf.test ' -- crlf.test
row hosts-blank-line dnsmasq '10.7.0.8\n' --hosts '127.0.0.1 localhost\n\n   \n10.7.0.8 after-blank.test\n' -- after-blank.test
row hosts-after-long-line dnsmasq '10.7.0.9\n' --hosts "$long_line\n10.7.0.9 after-long.test\n" -- after-long.test
row hosts-ipv6-line-first dnsmasq '10.7.0.10\n' --hosts '2001:db8::10 dual.test\n10.7.0.10 dual.test\n' --not-sent 'query[' -- dual.test
row hosts-ipv6-only dnsmasq '' --hosts '2001:db8::11 v6line.test\n' --glibc:sent 'query[A] v6line.test ' --uclibc:not-sent 'query[' --musl:not-sent 'query[' -- v6line.test
row hosts-reverse-several-names dnsmasq '10.7.0.12\n' --hosts '10.7.0.12 one.name.test two.name.test three.name.test\n' --not-sent 'query[' -- 10.7.0.12

# --- the resolver configuration is read on every run -----------------------
row without-search dnsmasq '' --sent 'query[A] one ' -- one
row with-search dnsmasq '10.0.0.1\n' --resolv 'nameserver 127.0.0.1\nsearch test\n' --sent 'query[A] one.test ' -- one
row search-several dnsmasq '10.0.0.1\n' --resolv 'nameserver 127.0.0.1\nsearch a.test test\n' --sent 'query[A] one.a.test ' -- one
row domain-line dnsmasq '10.0.0.1\n' --resolv 'nameserver 127.0.0.1\ndomain test\n' --sent 'query[A] one.test ' -- one
row search-dotted-name dnsmasq '10.0.0.30\n' --resolv 'nameserver 127.0.0.1\nsearch test\n' --not-sent 'deep.sub.test' -- deep.sub
row search-trailing-dot dnsmasq '10.0.0.1\n' --resolv 'nameserver 127.0.0.1\nsearch a.test\n' --not-sent 'one.test.a.test' -- one.test.
row search-ndots-2 dnsmasq '10.0.0.31\n' --resolv 'nameserver 127.0.0.1\nsearch test\noptions ndots:2\n' --resolv-conf-ndots-and-maxns:expect '10.0.0.30\n' -- deep.sub
row resolv-conf-empty dnsmasq '10.0.0.1\n' --resolv '\n' -- one.test
row resolv-conf-comments-only dnsmasq '10.0.0.1\n' --resolv '# nameserver 127.0.0.2\n; nameserver 127.0.0.3\n' -- one.test
row nameservers-malformed-first dnsmasq@127.0.0.2 '10.9.0.2\n' --resolv 'nameserver\nnameserver localhost\nnameserver 127.0.0.300\nnameserver 127.0.0.2\noptions timeout:1\n' --within 2 -- where.test
row nameservers-four dnsmasq '' --resolv 'nameserver 127.0.0.2\nnameserver 127.0.0.3\nnameserver 127.0.0.4\nnameserver 127.0.0.1\noptions timeout:1\noptions attempts:1\n' --within 2 --resolv-conf-ndots-and-maxns:expect '10.0.0.1\n' -- one.test
row resolv-conf-dangling-hosts none '127.0.0.1\n' --resolv dangling -- localhost
row resolv-conf-dangling-dns none '' --resolv dangling --within 2 --musl:within 6 -- one.test

# --- the time-outs and servers of resolv.conf, on every C library ---------
one_line='nameserver 127.0.0.1\noptions timeout:1 attempts:1\n'
two_servers='nameserver 127.0.0.1\nnameserver 127.0.0.2\noptions timeout:1\noptions attempts:1\n'
row server-drops fault:drop '' --within 2 -- one.test
row server-drops-quad fault:drop '' --within 2 -- 192.0.2.1
row options-on-one-line fault:drop '' --resolv "$one_line" --within 2 --uclibc:within 4 -- one.test
row options-on-one-line-quad fault:drop '' --resolv "$one_line" --within 2 --uclibc:within 4 -- 192.0.2.1
row second-server-answers fault:drop+dnsmasq@127.0.0.2 '10.9.0.2\n' --resolv "$two_servers" --within 3 -- where.test
row second-server-answers-quad fault:drop+dnsmasq@127.0.0.2 '10.9.0.2\n' --resolv "$two_servers" --within 3 -- 10.9.0.2
row ipv6-server dnsmasq@::1 '10.9.6.6\n' --resolv 'nameserver ::1\n' --within 2 -- where.test
row ipv6-server-quad dnsmasq@::1 '10.9.6.6\n' --resolv 'nameserver ::1\n' --within 2 -- 10.9.6.6
# A kernel without IPv6 (lab/syscall_fails.py no-ipv6), as small routers
# are often built, under a resolv.conf that names IPv6 servers: with
# nothing but those, no query can leave and the lookup fails at once,
# well inside the time-out; an IPv4 server after them answers, except on
# glibc and musl 1.2.3, which give the lookup up when they cannot open
# the first one's socket.
v6_only='nameserver ::1\nnameserver ::1\nnameserver ::1\noptions timeout:4 attempts:1\n'
v6_then_v4='nameserver ::1\nnameserver 127.0.0.1\noptions timeout:4 attempts:1\n'
row no-ipv6-servers-only none '' --resolv "$v6_only" --fails no-ipv6 --within 2 --dns-ipv6-fallback-every-server:within 6 -- one.test
# The same before a server that never answers: the time-out, no more.
v6_then_silent='nameserver ::1\nnameserver 127.0.0.1\noptions timeout:2\noptions attempts:1\n'
row no-ipv6-then-silent-ipv4 fault:drop '' --resolv "$v6_then_silent" --fails no-ipv6 --within 4 -- one.test
row no-ipv6-then-ipv4 dnsmasq '10.0.0.1\n' --resolv "$v6_then_v4" --fails no-ipv6 --within 2 --glibc:expect '' --musl-device-1.2.3:expect '' -- one.test

# --- faults: empty, quick, no crash ----------------------------------------
row nothing-listening none '' --within 3 -- one.test
row servfail fault:servfail '' --within 3 -- one.test
row refused fault:refused '' --within 3 -- one.test
row reply-too-short fault:short '' --within 2 -- one.test
row truncated-no-tcp fault:truncated '' --within 3 -- one.test
row answer-count-lies fault:lying-count '' --musl:expect '10.0.0.1\n' --within 3 -- one.test
row record-cut-short fault:cut-record '' --dns-parse-stay-inside-the-reply:expect 'like:10\.0\.[0-9]+\.[0-9]+\n' --within 3 -- one.test
# From the reply-mutation campaign, seed 1, run 252: the second of three
# A records cut 2 bytes short, behind a lying authority count. A device's
# musl without its dns_parse mend prints that record too, its last 2 bytes
# from past the reply.
cut_252=9fe0850000010003ffff00000472323532036d757404746573740000010001c00c000100010000003c0004c75abf74c00c000100010000003c0004b185
row campaign-cut-record "fault:replay=$cut_252" '' --musl:expect '199.90.191.116\n' --dns-parse-stay-inside-the-reply:expect 'like:199\.90\.191\.116\n177\.133\.[0-9]+\.[0-9]+\n' --within 3 -- r252.mut.test
# A record whose type is not A (257: A's low byte), or an A record of
# another class than IN, with 4 bytes of data and no A record beside it.
row record-type-257 fault:type-257 '' --dns-record-type-and-class:expect '6.6.6.6\n' --within 3 -- one.test
row record-class-chaos fault:class-chaos '' --resolv-class-in:expect '6.6.6.6\n' --dns-record-type-and-class:expect '6.6.6.6\n' --within 3 -- one.test
row a-record-of-5-bytes fault:a-len5 '' --resolv-address-length:expect '10.0.0.1\n' --within 3 -- one.test
# From the campaign, seed 1, run 1270: an A record of 2 bytes ending the
# reply. A device's uClibc-ng prints it, its last 2 bytes from past the
# reply.
short_a_1270=a1f985800001000100000000057231323730036d757404746573740000010001c00c000100010000003c0002c7b2
row campaign-short-a-record "fault:replay=$short_a_1270" '' --resolv-address-length:expect 'like:199\.178\.[0-9]+\.[0-9]+\n' --within 3 -- r1270.mut.test
row compression-loop fault:loop '' --musl:expect '10.0.0.1\n' --within 3 -- one.test

# --- query IDs: an off-path attacker must not be able to guess them --------
# Random 16-bit IDs pass with a probability above 1 - 1e-5 (dns_tool.py).
# A name without a dot and three search domains: four queries a run.
row query-ids-unpredictable fault:nxdomain '' --resolv 'nameserver 127.0.0.1\nsearch a.test b.test c.test\n' --fresh-names 16 --resolv-random-query-ids:ids counted -- id
# At boot: the entropy pool not ready (a wait for it kills the run), and
# a kernel without getrandom().
row query-ids-pool-not-ready fault:nxdomain '' --resolv 'nameserver 127.0.0.1\nsearch a.test b.test c.test\n' --fails getrandom-eagain --fresh-names 16 --resolv-random-query-ids:ids counted -- id
row query-ids-no-getrandom fault:nxdomain '' --resolv 'nameserver 127.0.0.1\nsearch a.test b.test c.test\n' --fails getrandom-enosys --fresh-names 16 --resolv-random-query-ids:ids counted -- id

# --- nowhere to write on the lookup road -----------------------------------
row stdout-closed dnsmasq '' --stdout closed -- one.test
row stdout-full dnsmasq '' --stdout full -- one.test
row stdout-dead-pipe dnsmasq '' --stdout pipe -- three.test
