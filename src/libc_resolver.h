// SPDX-License-Identifier: MIT
// Where a C library's resolver would make hostq break its contract, and
// what hostq does about it. The contract is the same on every libc: the
// system's resolver configuration obeyed, a failed lookup printing nothing.
#pragma once

#include <features.h>

#include "numeric_query.h"

struct hostent;

// uClibc-ng's res_init() installs a hook that overwrites the time-out and
// tries read from resolv.conf with 5 s and 4 before every lookup, so a
// silent name server costs 20 s whatever the administrator set. Without
// the call, the first lookup of a fresh process reads resolv.conf itself,
// which is the reload hostq wants.
#ifdef __UCLIBC__
inline constexpr bool libc_res_init_obeys_config = false;
#else
inline constexpr bool libc_res_init_obeys_config = true;
#endif

// musl's gethostbyaddr() makes up an entry for an IPv4 address it found
// no name for (no PTR record, no answer at all): one named by the
// address's own text, so it never fails. musl has no macro of its own;
// glibc has __GLIBC__, and uClibc-ng defines it too.
#ifdef __GLIBC__
inline constexpr bool libc_reverse_lookup_invents_entry = false;
#else
inline constexpr bool libc_reverse_lookup_invents_entry = true;
#endif

// True when the entry is named by the dotted text of the address itself:
// the stand-in a libc makes up when the reverse lookup found no name.
bool is_numeric_fallback(const hostent &entry, const numeric_address &address) noexcept;
