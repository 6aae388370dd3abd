// SPDX-License-Identifier: MIT
// hostq QUERY: prints the IPv4 addresses of a host, one per line.
#include <csignal>
#include <cstdio>

#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

#include "address_output.h"
#include "libc_resolver.h"
#include "numeric_query.h"

int main(int argc, char **argv)
{
	// Scripts rely on status 0 even when their reader has gone away.
	std::signal(SIGPIPE, SIG_IGN);

	if (argc < 2 || argv[1][0] == '-') {
		// "adress" stays misspelt: scripts match this line byte for byte.
		std::puts("hostq DNS name. Return ip adress or NULL if not resolved");
		return 0;
	}
	const char *query = argv[1];

	// Load the system's resolver configuration afresh, whatever libc cached.
	if constexpr (libc_res_init_obeys_config)
		res_init();

	const hostent *entry = nullptr;
	if (is_numeric_query(query)) {
		const numeric_address address = compose_numeric_address(query);
		entry = gethostbyaddr(address.data(), address.size(), AF_INET);
		if constexpr (libc_reverse_lookup_invents_entry) {
			if (entry != nullptr && is_numeric_fallback(*entry, address))
				entry = nullptr;
		}
	} else {
		entry = gethostbyname(query);
	}
	if (entry != nullptr)
		print_address_list(entry);
	return 0;
}
