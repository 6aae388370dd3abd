// SPDX-License-Identifier: MIT
#include <netdb.h>

#include <gtest/gtest.h>

#include "libc_resolver.h"

namespace
{

// The stand-in entry is named by exactly the address's dotted text, in
// network order; anything else is a real name.
TEST(IsNumericFallback, Table)
{
	const struct {
		const char *name;
		numeric_address address;
		bool fallback;
	} cases[] = {
		{"192.0.2.1", {192, 0, 2, 1}, true},
		{"255.255.255.255", {255, 255, 255, 255}, true},
		{"0.0.0.0", {0, 0, 0, 0}, true},
		{"1.2.0.192", {192, 0, 2, 1}, false},
		{"192.0.2.10", {192, 0, 2, 1}, false},
		{"192.0.2.1.", {192, 0, 2, 1}, false},
		{"192.0.2", {192, 0, 2, 1}, false},
		{"ptr.test", {192, 0, 2, 1}, false},
		{nullptr, {192, 0, 2, 1}, false},
	};
	for (const auto &c : cases) {
		hostent entry{};
		entry.h_name = const_cast<char *>(c.name);
		EXPECT_EQ(c.fallback, is_numeric_fallback(entry, c.address))
			<< (c.name ? c.name : "null");
	}
}

} // namespace
