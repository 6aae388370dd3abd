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

// Name queries, and the numeric ones numeric_cases.tsv has no row for:
// ComposeNumericAddress.Table checks that each of its queries is numeric.
constexpr recognition_case recognition_cases[] = {
	{".", true},           {"99999999999999999999.1", true},
	{"1e5", false},        {"0x7f.0.0.1", false},
	{" 1.2.3.4", false},   {"1.2.3.4 ", false},
	{"-1.2.3.4", false},   {"+1.2.3.4", false},
	{"1-2.3.4", false},    {"a.test", false},
	{"1.2.3.4\n", false},  {"\xb2.1.1.1", false}, // superscript two in Latin-1 is no digit
	{"1.2.3.\xff", false}, {"1/2", false},
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

// From numeric_cases.tsv, which the fuzzer and the end-to-end table read too.
constexpr composition_case composition_cases[] = {
#include "numeric_cases.inc"
};

TEST(ComposeNumericAddress, Table)
{
	for (const auto &c : composition_cases) {
		EXPECT_TRUE(is_numeric_query(c.query)) << '"' << c.query << '"';
		EXPECT_EQ(c.address, compose_numeric_address(c.query)) << '"' << c.query << '"';
	}
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
