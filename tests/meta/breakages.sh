# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# The planted breakages: what each check must refuse, and the line it
# refuses it with. Sourced by tests/meta/run.sh, which says what a row is.
# Each row costs seconds: no C library is built and nothing is booted.

# The list of builds: tools/check must not pass on none.
breakage presets-unreadable \
	--plant "sed -i '0,/{/s//{{/' CMakePresets.json" \
	--run 'tools/check' --says 'check: no list of builds \(tools/presets failed\)'
breakage presets-empty \
	--plant 'printf "#!/bin/sh\n" >tools/presets' \
	--run 'tools/check' --says 'check: no build to run'
breakage releases-unreadable \
	--plant "sed -i 's/^fields:/felds:/' tables/releases" \
	--run 'tools/check host' --says 'tables/releases: no fields: line before its first row'

# What a build ran, judged from its JUnit file and its declared labels.
judged=tests/meta/judged-build
judge="tools/judge-build host $judged"
breakage build-without-junit --sound \
	--plant "rm $judged/junit.xml" \
	--run "$judge" --says 'wrote no JUnit file'
breakage build-ran-no-test --sound \
	--plant "sed -i '/<testcase/,/<\/testcase>/d' $judged/junit.xml" \
	--run "$judge" --says 'ran no test'
breakage build-lost-a-label --sound \
	--plant "sed -i '/<testcase name=\"lint\"/,/<\/testcase>/d' $judged/junit.xml" \
	--run "$judge" --says 'ran no test labelled lint'
breakage build-gained-a-label --sound \
	--plant "sed -i 's/ lint$//' $judged/CMakeCache.txt" \
	--run "$judge" --says 'ran tests labelled lint, which it does not declare'
breakage build-ran-a-test-without-label --sound \
	--plant "sed -i '/PROPERTIES LABELS \"e2e\"/d' $judged/CTestTestfile.cmake" \
	--run "$judge" --says 'ran e2e, which has no label'
breakage build-declares-nothing --sound \
	--plant "sed -i '/^HOSTQ_LABELS/d' $judged/CMakeCache.txt" \
	--run "$judge" --says 'declares no labels \(HOSTQ_LABELS in CMakePresets.json\)'
breakage presets-declare-no-labels \
	--plant "sed -i 's/\"HOSTQ_LABELS\": \"[^\"]*\", //' CMakePresets.json && ! grep -q HOSTQ_LABELS CMakePresets.json" \
	--run 'cmake --preset host -B build/host >/dev/null && tools/judge-build host build/host' \
	--says 'declares no labels \(HOSTQ_LABELS in CMakePresets.json\)'

# The end-to-end table's runner.
breakage e2e-no-table \
	--plant 'rm tests/e2e/cases.sh' \
	--run 'tests/e2e/run.sh /bin/true' --says 'run.sh: no table \(.*/tests/e2e/cases.sh\)'
breakage e2e-no-row \
	--plant ': >tests/e2e/cases.sh' \
	--run 'tests/e2e/run.sh /bin/true' --says 'FAIL: no check ran'
breakage e2e-only-selects-nothing \
	--plant 'true' \
	--run "tests/e2e/run.sh --only 'no-such-row' /bin/true" --says "FAIL: --only: 'no-such-row' selects no row"

# A test script of checks (the Buildroot test, the boot test) whose
# checks all went.
breakage checks-none-ran \
	--plant 'true' \
	--run '. tests/counts.sh && finish' --says 'FAIL: no check ran'

# The campaign: given no run, and given stand-ins for hostq that each
# break one rule, which it must count as that kind of fault (KINDS, in
# tests/campaign.py's order) in each of 3 runs, or in the one run named.
# The stand-ins ask no name server, but two, which ask and print what no
# A record carried: the first 4 bytes of the question, or the data of a
# record of class HS.
breakage campaign-no-run \
	--plant 'true' \
	--run 'tools/campaign --runs 0 /bin/true' --says 'campaign: tested nothing: 0 runs, 0 replies'
campaign_counts() { # NAME KINDS BODY [RUN]: 3 runs, or that one run
	local says=faults kind runs="--runs 3" times=3
	[ -z "${4:-}" ] || runs="--first $4 --runs 1" times=1
	for kind in $2; do
		says+="( [a-z-]+ [0-9]+)* $kind $times"
	done
	breakage "campaign-counts-$1" \
		--plant "printf '#!/bin/sh\n%s\n' $(printf %q "$3") >standin && chmod +x standin" \
		--run "tools/campaign $runs --runner '' --out out standin" --says "$says( [a-z-]+ [0-9]+)*"
}
campaign_counts status status 'exit 1'
campaign_counts signal signal 'kill -SEGV $$'
campaign_counts stderr stderr 'echo oops >&2'
campaign_counts format format "printf '10.0.0.1'"
campaign_counts address-from-nowhere 'foreign-address printed-without-answer' 'echo 203.0.113.7'
# A stand-in that asks for its argument as a C library would, then prints
# PRINT (python), for the two below.
ask="exec /usr/bin/python3 -c 'import socket, sys; a = sys.argv[1]; r = a.replace(\".\", \"\").isdigit(); n = \".\".join(a.split(\".\")[::-1]) + \".in-addr.arpa\" if r else a; q = bytes.fromhex(\"123401000001000000000000\") + b\"\".join(bytes([len(x)]) + x.encode() for x in n.split(\".\")) + (b\"\\0\\0\\x0c\" if r else b\"\\0\\0\\1\") + b\"\\0\\1\"; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(2); s.sendto(q, (\"127.0.0.1\", 53)); s.recv(4096); print(PRINT)' \"\$1\""
campaign_counts address-from-the-question foreign-address "${ask/PRINT/\".\".join(str(b) for b in q[12:16])}"
# Run 178 of seed 1 answers with one A record of class HS: a C library
# that reads the type's low byte alone, and no class, prints its address.
campaign_counts address-of-no-a-record foreign-address "${ask/PRINT/\"197.229.104.7\"}" 178
campaign_counts slow slow 'sleep 4'

# The fuzz runner: with no seeds, and with a fuzzer that read none.
breakage fuzz-no-seeds \
	--plant "sed -i '/^[0-9]/d' tests/numeric_cases.tsv" \
	--run 'fuzz/run_fuzz.sh /bin/true tests/numeric_cases.tsv 1' --says 'FAIL: run_fuzz: no queries in tests/numeric_cases.tsv'
# shellcheck disable=SC2016 # the stand-in fuzzer's own $@
fuzzer='printf "#!/bin/bash\necho \"INFO: seed corpus: files: \$(ls \"\${@: -1}\" | wc -l)\"\n" >fuzzer && chmod +x fuzzer'
breakage fuzz-read-no-seed --sound \
	--plant "$fuzzer && sed -i 's/files: .*/files: 0\"/' fuzzer" \
	--run "{ [ -x fuzzer ] || $fuzzer; } && fuzz/run_fuzz.sh ./fuzzer tests/numeric_cases.tsv 1" \
	--says 'FAIL: run_fuzz: the fuzzer read 0 of the [0-9]+ seeds'

# The sources test with no network and nothing at hand: it skips, saying
# so, and never downloads.
# shellcheck disable=SC2016 # $PWD: the scratch copy's, where the row runs
breakage sources-offline-empty-cache \
	--plant 'true' --status 77 \
	--run 'env -u HOSTQ_SOURCES XDG_CACHE_HOME="$PWD/empty-cache" unshare -n tests/source_test.sh' \
	--says 'SKIP: the tarball of uclibc-[0-9.]+ is neither in HOSTQ_SOURCES nor in the cache .*'

# The ELF facts of a dynamic binary, on the host's own: one built with a
# library path of its own, and a loader that is not the one named.
elf_host="printf 'int main(void) { return 0; }\\n' | gcc -x c - -o elf.bin"
breakage elf-rpath --sound \
	--plant "$elf_host -Wl,-rpath,/opt/lib" \
	--run "{ [ -f elf.bin ] || $elf_host; } && tests/elf_test.sh readelf elf.bin dynamic" \
	--says 'FAIL: has a library path of its own'
breakage elf-other-loader \
	--plant "$elf_host" \
	--run 'tests/elf_test.sh readelf elf.bin dynamic loader:/lib/ld-musl-aarch64.so.1' \
	--says 'FAIL: its interpreter is not /lib/ld-musl-aarch64.so.1'

# The OpenWrt feed's runtime test, on a hostq whose usage line changed.
# shellcheck disable=SC2016 # $PWD and $PATH: the row's own shell's
breakage openwrt-test-sh-usage-changed \
	--plant "mkdir bin && printf '#!/bin/sh\\necho usage: hostq QUERY\\n' >bin/hostq && chmod +x bin/hostq" \
	--run 'PATH=$PWD/bin:$PATH sh packaging/openwrt/hostq/test.sh hostq 1.0' \
	--says "hostq --version printed 'usage: hostq QUERY', not the usage line"

# An OpenWrt tree or apk-tools tarball that is not the pinned one, where
# the real one is not at hand: the sources table refuses it, saying what
# it wanted.
# shellcheck disable=SC2016,SC2154 # run in the scratch copy; src: run.sh's
for pinned in $("$src/tools/table" releases --names library=openwrt) $("$src/tools/table" releases --names library=apk-tools); do
	breakage "$pinned-not-pinned" --status 77 \
		--plant "d=other/$pinned && mkdir -p \$d && echo another >\$d/version &&
			tar -cJf other/\$(tools/table releases $pinned source) -C other \${d#other/}" \
		--run "HOSTQ_SOURCES=\$PWD/other XDG_CACHE_HOME=\$PWD/empty-cache unshare -n tools/source $pinned" \
		--says "tools/source: .*/${pinned}[^ ]* refused: sha256 [0-9a-f]{64}, tree [0-9a-f]{40}; want sha256 [0-9a-f]{64} or tree [0-9a-f]{40}"
done

# The OpenWrt test, given nothing to build for, or a release that is not
# OpenWrt's.
openwrt=$("$src/tools/table" releases --names library=openwrt | head -n 1)
musl=$("$src/tools/table" releases --names library=musl | head -n 1)
breakage openwrt-test-no-processor \
	--plant 'true' \
	--run "tests/openwrt_test.sh . work $openwrt" --says 'FAIL: no processor to build for'
breakage openwrt-test-not-openwrt \
	--plant 'true' \
	--run "tests/openwrt_test.sh . work $musl aarch64" \
	--says "FAIL: tables/releases: $musl is not an OpenWrt release"

# Soft float on MIPS: the float check on Debian's libgcc, whose helpers
# are hard-float, on a core without an FPU; the ELF fact on a hard-float
# binary.
breakage float-hard-libgcc \
	--plant 'true' \
	--run 'tests/float/test.sh mipsel-linux-gnu-gcc "qemu-mipsel -cpu 24Kc"' \
	--says 'FAIL: soft float: the probe exited 132 under qemu-mipsel -cpu 24Kc: an illegal instruction, an FPU one on a core without'
breakage elf-hard-float \
	--plant "printf 'double f(double a, double b) { return a * b; }\\nint main(void) { return (int)f(2, 3); }\\n' | mipsel-linux-gnu-gcc -x c - -o elf.bin" \
	--run 'tests/elf_test.sh mipsel-linux-gnu-readelf elf.bin lsb softfloat' \
	--says "FAIL: not soft-float, or uses the FPU's registers"

# The documents' links: to a page that is gone, to a heading that is.
breakage readme-links-a-missing-page \
	--plant "rm doc/booted.md" \
	--run 'tests/lint.sh . build' --says 'FAIL: README.md: doc/booted.md: no such file'
breakage doc-links-none-read \
	--plant "sed -i 's/](/] (/g' README.md HACKING.md doc/*.md" \
	--run 'tests/doc_examples.py .' --says 'FAIL: read 0 links; the reading above no longer finds them'
breakage doc-links-a-missing-heading \
	--plant "sed -i 's/^## What a device.s own C library keeps$/## Devices/' doc/c-libraries.md" \
	--run 'tests/doc_examples.py .' \
	--says 'FAIL: doc/openwrt.md: c-libraries.md#what-a-devices-own-c-library-keeps: no such heading in doc/c-libraries.md'

# How much the tests hold (tables/tests): a row, a guest's row, a planted
# breakage or a planted fault dropped.
counts() { # NAME WHAT PLANT
	breakage "tests-drop-$1" --plant "$3" --run tests/table_test.sh \
		--says "FAIL: tables/tests: $2: [0-9]+, not [0-9]+"
}
counts an-e2e-row e2e-rows "sed -i '/^row one-a-record /d' tests/e2e/cases.sh"
counts a-guest-row guest-rows "sed -i 's/^\tnone | dnsmasq | /\tnone | /' tests/boot/table.sh"
counts a-breakage breakages "sed -i '/^breakage checks-none-ran /,/--says/d' tests/meta/breakages.sh"
counts a-fault faults "sed -i '/(\"digit class loses 9\"/d' tools/plant-faults"
breakage tests-table-lost-a-count \
	--plant "sed -i '/^what: faults$/,\$d' tables/tests" --run tests/table_test.sh \
	--says 'FAIL: tables/tests: 3 counts, not the 4 the test counts'

# This table's own runner.
breakage meta-no-table \
	--plant 'rm tests/meta/breakages.sh' \
	--run 'tests/meta/run.sh .' --says 'meta: no table \(.*/tests/meta/breakages.sh\)'
breakage meta-no-row \
	--plant ': >tests/meta/breakages.sh' \
	--run 'tests/meta/run.sh .' --says 'FAIL: no check ran'

# A booted guest's console, judged on the host: a recorded one
# (tests/meta/guest/), against the table cut down to the rows its records
# are numbered by, in their order.
guest=tests/meta/guest
cut_table() { # ROW...: tests/e2e/cases.sh with only these rows
	local rows
	rows=$(IFS='|' && echo "$*")
	echo "grep -E '^[a-z_]+=|^row ($rows) ' tests/e2e/cases.sh >cut && mv cut tests/e2e/cases.sh"
}
judge_seeded="$(cut_table usage-no-argument resolv-conf-dangling-hosts nothing-listening) &&
	lab/guest/results.py $guest/arm64-16k.console decoded &&
	tests/boot/table.sh seeded arm64-16k decoded $guest/binaries"
breakage guest-dropped-a-row --sound \
	--plant "sed -i '/^@r uclibc-static table 0003 /,/^@z/d' $guest/arm64-16k.console" \
	--run "$judge_seeded" --says 'arm64-16k: uclibc-static: table: FAIL: nothing-listening: no result from the guest'
breakage guest-ran-no-binary --sound \
	--plant ": >$guest/binaries" \
	--run "$judge_seeded" --says "FAIL: arm64-16k: no binary in $guest/binaries"
breakage guest-4k-kernel-in-the-16k-slot --sound \
	--plant "sed -i 's/^@f page-size 16 kB$/@f page-size 4 kB/' $guest/arm64-16k.console" \
	--run "$judge_seeded" --says "FAIL: arm64-16k: the kernel's pages are not of 16 KiB \(page-size 4 kB\)"
# A console the guest left garbled gives no result. The recorded one has
# CRLF lines and a kernel line inside a record, which must not matter.
console16k=$guest/arm64-16k.console
decode="lab/guest/results.py $console16k decoded"
breakage console-cut-short --sound \
	--plant "head -n -2 $console16k >cut && mv cut $console16k" \
	--run "$decode" --says '@r uclibc-static table 0003 0 10 0 0 0 0: cut short'
breakage console-byte-count-off --sound \
	--plant "sed -i 's/^@r uclibc-static table 0001 0 10 57 /@r uclibc-static table 0001 0 10 56 /' $console16k" \
	--run "$decode" --says '@r uclibc-static table 0001 0 10 56 0 0 0: out has 57 bytes, not 56'
breakage console-garbled-hex --sound \
	--plant "sed -i 's/^@o 7265736f6c7665640a$/@o 7265736f6c76x5640a/' $console16k" \
	--run "$decode" --says '@r uclibc-static table 0001: garbled line @o 7265736f6c76x5640a'
breakage console-garbled-head --sound \
	--plant "sed -i 's/^@r uclibc-static boot 0002 .*/@r uclibc-static boot 0002 0/' $console16k" \
	--run "$decode" --says "a record's head is garbled: @r uclibc-static boot 0002 0"
breakage console-no-end --sound \
	--plant "sed -i '/^@end$/d' $console16k" \
	--run "$decode" --says 'the guest never said it had finished'
judge_unseeded="$(cut_table query-ids-unpredictable) &&
	lab/guest/results.py $guest/malta-unseeded.console decoded &&
	tests/boot/table.sh unseeded malta-unseeded decoded $guest/unseeded-binaries musl-static"
console=$guest/malta-unseeded.console
breakage guest-pool-seeded-before-the-first-run --sound \
	--plant "sed -i 's/^\\(@f pool musl-static unready .*\\) unready unready$/\\1 ready ready/' $console" \
	--run "$judge_unseeded" \
	--says 'FAIL: malta-unseeded: musl-static: the pool was ready before the first run began: nothing was tested'
breakage guest-pool-readied-between-runs --sound \
	--plant "sed -i -E 's/^(@f pool musl-static unready 0001 (9|1[0-6])) unready unready$/\\1 ready ready/' $console" \
	--run "$judge_unseeded" \
	--says 'FAIL: malta-unseeded: musl-static: the pool came ready before row 0001 run 9, not in a run of the binary'
breakage guest-run-not-probed --sound \
	--plant "sed -i '/^@f pool musl-static unready 0001 16 /d' $console" \
	--run "$judge_unseeded" \
	--says 'FAIL: malta-unseeded: musl-static: unready 0001: 16 runs, 15 probed'
breakage guest-pool-not-ready-after-the-wait --sound \
	--plant "sed -i 's/^\\(@f pool musl-static ready 0001 5\\) ready ready$/\\1 unready unready/' $console" \
	--run "$judge_unseeded" \
	--says 'FAIL: malta-unseeded: musl-static: row 0001 run 5 after the wait: the pool was not ready'
breakage guest-kernel-disagrees-with-the-probe --sound \
	--plant "sed -i 's/^@f crng .*/@f crng 1.5/' $console" \
	--run "$judge_unseeded" \
	--says 'FAIL: malta-unseeded: musl-static: the kernel said the pool was ready at 1.5 s, before the last run ended'
