/* SPDX-License-Identifier: MIT */
/* libstdc++'s headers ask __GLIBC_PREREQ, which musl does not define. */
#define __GLIBC_PREREQ(major, minor) 0
