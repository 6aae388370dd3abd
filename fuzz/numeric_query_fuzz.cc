// SPDX-License-Identifier: MIT
// Differential fuzzing of the numeric query reading against a plain model
// of its rules, and against the C library's own sscanf where that is
// defined (no number longer than 9 digits).
#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "numeric_query.h"

namespace
{

bool model_is_numeric(const std::string &query)
{
	for (const unsigned char c : query) {
		if (std::isdigit(c) == 0 && c != '.')
			return false;
	}
	return true;
}

// The digit runs that "%d.%d.%d.%d" reads: a run, then a dot and a run,
// at most four times; stop at the first thing that does not fit.
std::vector<std::string> model_runs(const std::string &query)
{
	std::vector<std::string> runs;
	std::size_t at = 0;
	while (runs.size() < 4) {
		if (!runs.empty()) {
			if (at >= query.size() || query[at] != '.')
				break;
			++at;
		}
		const std::size_t start = at;
		while (at < query.size() &&
		       std::isdigit(static_cast<unsigned char>(query[at])) != 0)
			++at;
		if (at == start)
			break;
		runs.push_back(query.substr(start, at - start));
	}
	return runs;
}

// Exact over any number of digits: at or above 2^63-1 the value is
// 2^63-1, whose low 32 bits are all ones; below it, the value mod 2^32.
std::uint32_t model_number(std::string digits)
{
	const std::string limit = "9223372036854775807";
	digits.erase(0, digits.find_first_not_of('0'));
	if (digits.size() > limit.size() || (digits.size() == limit.size() && digits >= limit))
		return 0xFFFFFFFFU;
	std::uint32_t low = 0;
	for (const char c : digits)
		low = low * 10U + static_cast<std::uint32_t>(c - '0');
	return low;
}

numeric_address model_compose(const std::string &query)
{
	std::array<std::uint32_t, 4> n{};
	const std::vector<std::string> runs = model_runs(query);
	for (std::size_t i = 0; i < runs.size(); ++i)
		n[i] = model_number(runs[i]);
	const std::uint32_t v = n[0] << 24U | n[1] << 16U | n[2] << 8U | n[3];
	return {static_cast<std::uint8_t>(v >> 24U), static_cast<std::uint8_t>(v >> 16U),
		static_cast<std::uint8_t>(v >> 8U), static_cast<std::uint8_t>(v)};
}

void check(bool ok, const char *what, const std::string &query)
{
	if (!ok) {
		std::fprintf(stderr, "mismatch in %s for \"%s\"\n", what, query.c_str());
		std::abort();
	}
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	// The query is a C string: it ends at the first NUL.
	const std::string query(reinterpret_cast<const char *>(data),
				std::find(data, data + size, 0) - data);
	const bool numeric = is_numeric_query(query.c_str());
	check(numeric == model_is_numeric(query), "is_numeric_query", query);
	if (!numeric)
		return 0;
	const numeric_address address = compose_numeric_address(query.c_str());
	check(address == model_compose(query), "compose_numeric_address vs model", query);

	bool short_runs = true;
	for (const std::string &run : model_runs(query))
		short_runs = short_runs && run.size() <= 9;
	if (short_runs) {
		int a = 0;
		int b = 0;
		int c = 0;
		int d = 0;
		// NOLINTNEXTLINE(cert-err34-c): no run overflows, by the test above.
		std::sscanf(query.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
		const auto u = [](int x) { return static_cast<std::uint32_t>(x); };
		const std::uint32_t v = u(a) << 24U | u(b) << 16U | u(c) << 8U | u(d);
		const numeric_address expected = {
			static_cast<std::uint8_t>(v >> 24U), static_cast<std::uint8_t>(v >> 16U),
			static_cast<std::uint8_t>(v >> 8U), static_cast<std::uint8_t>(v)};
		check(address == expected, "compose_numeric_address vs sscanf", query);
	}
	return 0;
}
