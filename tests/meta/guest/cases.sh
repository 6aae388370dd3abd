# shellcheck shell=bash
# SPDX-License-Identifier: MIT
# A small end-to-end table, in place of tests/e2e/cases.sh, for the
# recorded consoles of this folder: three rows of the table as a guest
# ran them (the rows the consoles' records are numbered by).
usage='hostq DNS name. Return ip adress or NULL if not resolved\n'
row usage-no-argument none "$usage" --
row resolv-conf-dangling-hosts none '127.0.0.1\n' --resolv dangling -- localhost
row nothing-listening none '' --within 3 -- one.test
