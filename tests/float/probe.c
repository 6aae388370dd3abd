// SPDX-License-Identifier: MIT
// Double and single precision arithmetic through libgcc's helpers alone:
// no C library, so a wrong result is the compiler's or libgcc's. Each
// operand comes through a volatile, so that nothing is folded at compile
// time; each result is printed as its bits, in hex, after its name.
// MIPS o32 only: the two system calls below are its.

typedef unsigned long long u64;

static long mips_syscall(long number, long a, long b, long c)
{
	register long v0 __asm__("$2") = number;
	register long a0 __asm__("$4") = a;
	register long a1 __asm__("$5") = b;
	register long a2 __asm__("$6") = c;
	register long a3 __asm__("$7");
	__asm__ volatile("syscall"
			 : "+r"(v0), "=r"(a3)
			 : "r"(a0), "r"(a1), "r"(a2)
			 : "$1", "$3", "$8", "$9", "$10", "$11", "$12", "$13", "$14", "$15", "$24",
			   "$25", "hi", "lo", "memory");
	return v0;
}

static char line[64];

static void put(const char *name, u64 bits, int digits)
{
	int n = 0;
	while (*name)
		line[n++] = *name++;
	line[n++] = ' ';
	for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
		line[n++] = "0123456789abcdef"[(bits >> shift) & 15];
	line[n++] = '\n';
	mips_syscall(4004, 1, (long)line, n); // write
}

// A float's value is exact as a double: one routine prints both.
static u64 bits_of(double d)
{
	u64 bits;
	__builtin_memcpy(&bits, &d, sizeof bits);
	return bits;
}

static volatile double one_and_a_half = 1.5, two_and_a_quarter = 2.25, minus_two_and_a_half = -2.5,
		       one = 1.0, three = 3.0, tenth = 0.1, fifth = 0.2, three_tenths = 0.3,
		       minus_seven_point_nine = -7.9, a_quadrillion = 1e15;
static volatile float one_and_a_half_f = 1.5f, one_f = 1.0f, three_f = 3.0f;
static volatile int minus_seven = -7;
static volatile unsigned four_billion = 4000000000u;

void __start(void)
{
	put("add", bits_of(one_and_a_half + two_and_a_quarter), 16);
	put("multiply", bits_of(one_and_a_half * minus_two_and_a_half), 16);
	put("divide", bits_of(one / three), 16);
	put("subtract", bits_of(tenth - three_tenths), 16);
	put("from-int", bits_of((double)minus_seven), 16);
	put("from-unsigned", bits_of((double)four_billion), 16);
	put("to-int", (unsigned)(int)minus_seven_point_nine, 8);
	put("to-long-long", (u64)(long long)a_quadrillion, 16);
	put("greater", tenth + fifth > three_tenths, 1);
	put("less", minus_two_and_a_half < minus_seven_point_nine, 1);
	put("float-multiply", bits_of(one_and_a_half_f * three_f), 16);
	put("float-to-double", bits_of((double)(one_f / three_f)), 16);
	mips_syscall(4001, 0, 0, 0); // exit
	for (;;)
		;
}
