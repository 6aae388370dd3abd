// SPDX-License-Identifier: MIT
#include <cstdio>
#include <string>
#include <vector>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "address_output.h"

namespace
{

// Runs print_address_list with standard output sent to a temporary file
// and returns exactly the bytes written.
std::string printed(const hostent &entry)
{
	std::fflush(stdout);
	FILE *capture = std::tmpfile();
	const int saved = dup(STDOUT_FILENO);
	dup2(fileno(capture), STDOUT_FILENO);
	print_address_list(&entry);
	std::fflush(stdout);
	dup2(saved, STDOUT_FILENO);
	close(saved);

	std::string bytes;
	std::rewind(capture);
	for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture))
		bytes.push_back(static_cast<char>(c));
	std::fclose(capture);
	return bytes;
}

TEST(PrintAddressList, Table)
{
	const struct {
		std::vector<std::vector<unsigned char>> addresses;
		std::string output;
	} cases[] = {
		{{{192, 0, 2, 1}}, "192.0.2.1\n"},
		{{{192, 0, 2, 1}, {198, 51, 100, 7}}, "192.0.2.1\n198.51.100.7\n"},
		{{{10, 0, 0, 3}, {10, 0, 0, 1}, {10, 0, 0, 2}}, "10.0.0.3\n10.0.0.1\n10.0.0.2\n"},
		{{}, "\n"},
		{{{0, 0, 0, 0}}, "0.0.0.0\n"},
		{{{255, 255, 255, 255}}, "255.255.255.255\n"},
		{{{128, 129, 200, 254}}, "128.129.200.254\n"},
	};
	for (auto c : cases) {
		std::vector<char *> list;
		for (auto &address : c.addresses)
			list.push_back(reinterpret_cast<char *>(address.data()));
		list.push_back(nullptr);
		hostent entry{};
		entry.h_addrtype = AF_INET;
		entry.h_length = 4;
		entry.h_addr_list = list.data();
		EXPECT_EQ(c.output, printed(entry));
	}
}

// Only 4 bytes are read at each pointer, whatever the entry claims.
TEST(PrintAddressList, ReadsFourBytesWhateverTheEntrySays)
{
	unsigned char address[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
	char *list[] = {reinterpret_cast<char *>(address), nullptr};
	hostent entry{};
	entry.h_addrtype = AF_INET6;
	entry.h_length = 16;
	entry.h_addr_list = list;
	EXPECT_EQ("1.2.3.4\n", printed(entry));
}

} // namespace
