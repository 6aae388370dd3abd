// SPDX-License-Identifier: MIT
#include "address_output.h"

#include <cstdio>

#include <netdb.h>

void print_address_list(const hostent *entry)
{
	// An entry without addresses is still a resolved name: it gets its
	// line, an empty one, so that a script can tell it from a failure.
	if (entry->h_addr_list[0] == nullptr) {
		std::putchar('\n');
		return;
	}
	for (char **address = entry->h_addr_list; *address != nullptr; ++address) {
		// The bytes are unsigned: 255 must not print as -1.
		const auto *bytes = reinterpret_cast<const unsigned char *>(*address);
		std::printf("%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
		std::putchar('\n');
	}
}
