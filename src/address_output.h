// SPDX-License-Identifier: MIT
// Writes a host entry's IPv4 addresses to standard output, one per line.
#pragma once

struct hostent;

// Reads only h_addr_list, exactly 4 bytes at each pointer, whatever the
// entry's h_addrtype and h_length say. An empty list gives one empty line.
void print_address_list(const hostent *entry);
