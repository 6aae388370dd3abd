// SPDX-License-Identifier: MIT
#include <cctype>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "numeric_query.h"

namespace
{

struct recognition_case {
	const char *query;
	bool numeric;
};

// Odd inputs first: the rule is "digits and dots only", nothing more.
constexpr recognition_case recognition_cases[] = {
	{"", true},
	{".", true},
	{"....", true},
	{"17", true},
	{"192.0.2.1", true},
	{"1.2.3.4.5", true},
	{"010.001.000.001", true},
	{"99999999999999999999.1", true},
	{"1e5", false},
	{"0x7f.0.0.1", false},
	{" 1.2.3.4", false},
	{"1.2.3.4 ", false},
	{"-1.2.3.4", false},
	{"+1.2.3.4", false},
	{"1-2.3.4", false},
	{"a.test", false},
	{"1.2.3.4\n", false},
	{"\xb2.1.1.1", false}, // superscript two in Latin-1 is no digit
	{"1.2.3.\xff", false},
	{"1/2", false},
	{"1:2", false},
};

TEST(IsNumericQuery, Table)
{
	for (const auto &c : recognition_cases)
		EXPECT_EQ(c.numeric, is_numeric_query(c.query)) << '"' << c.query << '"';
}

// The walk must agree with the C library's digit class, byte for byte.
TEST(IsNumericQuery, AgreesWithIsdigitOnEveryByte)
{
	for (int byte = 1; byte < 256; ++byte) {
		const char query[] = {static_cast<char>(byte), '\0'};
		EXPECT_EQ(std::isdigit(byte) != 0 || byte == '.', is_numeric_query(query)) << byte;
	}
}

struct composition_case {
	const char *query;
	numeric_address address;
};

constexpr composition_case composition_cases[] = {
	{"192.0.2.1", {192, 0, 2, 1}},
	{"255.255.255.255", {255, 255, 255, 255}},
	{"0.0.0.0", {0, 0, 0, 0}},
	// Leading zeros are decimal, never octal.
	{"010.001.000.001", {10, 1, 0, 1}},
	{"0000000000000000000000000001.2.3.4", {1, 2, 3, 4}},
	// Anything after the fourth number is ignored.
	{"1.2.3.4.5", {1, 2, 3, 4}},
	{"1.2.3.4..", {1, 2, 3, 4}},
	// No number is masked to a byte: its high bits go into the byte above.
	{"10.0.0.256", {10, 0, 1, 0}},
	{"2.300.0.1", {3, 44, 0, 1}},
	{"256.1.2.3", {0, 1, 2, 3}},
	{"0.0.0.65536", {0, 1, 0, 0}},
	{"0.0.0.4294967295", {255, 255, 255, 255}},
	// Numbers not read count as 0.
	{"", {0, 0, 0, 0}},
	{"....", {0, 0, 0, 0}},
	{"17", {17, 0, 0, 0}},
	{"1.2", {1, 2, 0, 0}},
	{"1.2.3", {1, 2, 3, 0}},
	{"1..2", {1, 0, 0, 0}},
	{"1.2..3", {1, 2, 0, 0}},
	{".1.2.3", {0, 0, 0, 0}},
	{"1.2.3.", {1, 2, 3, 0}},
	// Too long for an int: 64-bit saturating read, low 32 bits kept.
	{"0.0.0.2147483647", {127, 255, 255, 255}},
	{"0.0.0.2147483648", {128, 0, 0, 0}},
	{"0.0.0.4294967296", {0, 0, 0, 0}},
	{"0.0.0.4294967297", {0, 0, 0, 1}},
	{"0.0.0.9223372036854775806", {255, 255, 255, 254}},
	{"0.0.0.9223372036854775807", {255, 255, 255, 255}},
	{"0.0.0.9223372036854775808", {255, 255, 255, 255}},
	{"0.0.0.18446744073709551617", {255, 255, 255, 255}},
	{"99999999999999999999999999999999999999.0.0.0", {255, 0, 0, 0}},
	{"4294967297.1.1.1", {1, 1, 1, 1}},
	{"1.4294967297.0.0", {1, 1, 0, 0}},
};

TEST(ComposeNumericAddress, Table)
{
	for (const auto &c : composition_cases)
		EXPECT_EQ(c.address, compose_numeric_address(c.query)) << '"' << c.query << '"';
}

// The lookup is handed the address's memory: network order whatever the
// host's byte order, most significant byte first.
TEST(ComposeNumericAddress, BytesInMemoryAreNetworkOrder)
{
	const numeric_address address = compose_numeric_address("192.0.2.1");
	const unsigned char expected[] = {0xC0, 0x00, 0x02, 0x01};
	ASSERT_EQ(sizeof expected, sizeof address);
	EXPECT_EQ(0, std::memcmp(expected, address.data(), sizeof expected));
}

// Megabyte-long runs: leading zeros never saturate, digits do.
TEST(ComposeNumericAddress, HugeQuery)
{
	const std::string zeros(1 << 20, '0');
	const std::string nines(1 << 20, '9');
	const std::string query = "1." + zeros + "2." + nines + "." + zeros + "4";
	EXPECT_TRUE(is_numeric_query(query.c_str()));
	EXPECT_EQ((numeric_address{255, 255, 255, 4}), compose_numeric_address(query.c_str()));
}

} // namespace
