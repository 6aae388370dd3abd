// SPDX-License-Identifier: MIT
// pool_probe: exits 0 when the kernel's entropy pool is ready, 1 when it
// is not yet, 2 when getrandom() fails otherwise. A booted guest asks it
// around each run made before the pool is ready. GRND_NONBLOCK answers
// EAGAIN and leaves the pool alone: a read of /dev/urandom would make the
// kernel ready it on the spot. Built static with Debian's cross glibc,
// whose start-up takes AT_RANDOM and reads no random bytes.
#include <cerrno>

#include <sys/random.h>

int main()
{
	unsigned char byte = 0;
	if (getrandom(&byte, 1, GRND_NONBLOCK) == 1)
		return 0;
	return errno == EAGAIN ? 1 : 2;
}
