// SPDX-License-Identifier: MIT
// Tells a numeric query from a name query and turns a numeric query into
// the IPv4 address it spells. Both are pure: they read the query only.
#pragma once

#include <array>
#include <cstdint>

// An IPv4 address as 4 bytes in network byte order, most significant first.
using numeric_address = std::array<std::uint8_t, 4>;

// The C library's digit class in the default locale, which the tool never
// leaves: exactly '0' to '9'.
constexpr bool is_query_digit(char c) noexcept
{
	return '0' <= c && c <= '9';
}

// A query made only of digits and dots, the empty query included, is
// numeric; any other byte makes it a name.
constexpr bool is_numeric_query(const char *query) noexcept
{
	for (; *query != '\0'; ++query) {
		if (!is_query_digit(*query) && *query != '.')
			return false;
	}
	return true;
}

// Reads the query the way sscanf(query, "%d.%d.%d.%d", ...) reads it on
// the target's C library, without its undefined behaviour:
//  - numbers are decimal, whatever their leading zeros;
//  - a number too long for an int is read as a 64-bit value that saturates
//    at 2^63-1, and its low 32 bits are kept;
//  - reading stops at the first byte that does not fit the format, and a
//    number that was not read counts as 0;
// then composes (a << 24 | b << 16 | c << 8 | d) in 32 bits, so the high
// bits of a number above 255 land in the byte above its own.
constexpr numeric_address compose_numeric_address(const char *query) noexcept
{
	constexpr std::uint64_t saturated = INT64_MAX;
	// Compared without dividing at run time: a 64-bit division would pull
	// a libgcc helper into a 32-bit target for one digit.
	constexpr std::uint64_t last_safe = saturated / 10;
	constexpr std::uint64_t last_digit = saturated % 10;
	std::uint32_t value = 0;
	const char *p = query;
	for (int i = 0; i < 4; ++i) {
		if (i > 0) {
			if (*p != '.')
				break;
			++p;
		}
		if (!is_query_digit(*p))
			break;
		std::uint64_t number = 0;
		for (; is_query_digit(*p); ++p) {
			const auto digit = static_cast<std::uint64_t>(*p - '0');
			const bool overflows =
				number > last_safe || (number == last_safe && digit > last_digit);
			number = overflows ? saturated : number * 10 + digit;
		}
		value |= static_cast<std::uint32_t>(number) << (24 - 8 * i);
	}
	return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
		static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}
