// SPDX-License-Identifier: MIT
#include "address_output.h"

#include <cstdio>

#include <netdb.h>

void print_address_list(const hostent *entry)
{
	for (char **address = entry->h_addr_list; *address != nullptr; ++address) {
		if (address != entry->h_addr_list)
			std::putchar('\n');
		// The bytes are unsigned: 255 must not print as -1.
		const auto *bytes = reinterpret_cast<const unsigned char *>(*address);
		std::printf("%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
	}
	std::putchar('\n');
}
