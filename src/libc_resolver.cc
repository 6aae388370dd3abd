// SPDX-License-Identifier: MIT
#include "libc_resolver.h"

#include <cstdio>
#include <cstring>

#include <netdb.h>

bool is_numeric_fallback(const hostent &entry, const numeric_address &address) noexcept
{
	if (entry.h_name == nullptr)
		return false;
	char text[sizeof "255.255.255.255"];
	std::snprintf(text, sizeof text, "%d.%d.%d.%d", address[0], address[1], address[2],
		      address[3]);
	return std::strcmp(entry.h_name, text) == 0;
}
