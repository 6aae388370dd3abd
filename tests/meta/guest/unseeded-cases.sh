# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# The query ID row, in place of tests/e2e/cases.sh, for the recorded
# console of an unseeded boot (malta-unseeded.console).
row query-ids-unpredictable fault:nxdomain '' --resolv 'nameserver 127.0.0.1\nsearch a.test b.test c.test\n' --fresh-names 16 --resolv-random-query-ids:ids counted -- id
