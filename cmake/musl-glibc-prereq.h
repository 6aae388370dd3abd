/* SPDX-License-Identifier: MIT */
/* Debian's libstdc++ headers are configured for glibc: they ask
 * __GLIBC_PREREQ, which musl does not define, and <string> names glibc's
 * __locale_t, musl's locale_t. */
#define __GLIBC_PREREQ(major, minor) 0
#include <locale.h>
typedef locale_t __locale_t;
