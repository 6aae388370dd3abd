/* SPDX-License-Identifier: MIT */
/* The floor of this libc path: the same libc calls as hostq, nothing else,
 * on every C library (see src/libc_resolver.h for why they differ). */
#include <netdb.h>
#include <resolv.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>

int main(int argc, char **argv)
{
	unsigned a = 0, b = 0, c = 0, d = 0;
	unsigned char addr[4];
	struct hostent *h;
	char **p;

	signal(SIGPIPE, SIG_IGN);
	if (argc < 2 || argv[1][0] == '-')
		return puts("usage"), 0;
#ifndef __UCLIBC__
	res_init();
#endif
	if (strspn(argv[1], "0123456789.") == strlen(argv[1])) {
		sscanf(argv[1], "%u.%u.%u.%u", &a, &b, &c, &d);
		addr[0] = a, addr[1] = b, addr[2] = c, addr[3] = d;
		h = gethostbyaddr(addr, 4, AF_INET);
#ifndef __GLIBC__
		{
			char text[16];
			snprintf(text, sizeof text, "%u.%u.%u.%u", addr[0], addr[1], addr[2],
				 addr[3]);
			if (h && h->h_name && strcmp(h->h_name, text) == 0)
				h = NULL;
		}
#endif
	} else {
		h = gethostbyname(argv[1]);
	}
	for (p = h ? h->h_addr_list : NULL; p && *p; p++)
		printf("%u.%u.%u.%u\n", (unsigned char)(*p)[0], (unsigned char)(*p)[1],
		       (unsigned char)(*p)[2], (unsigned char)(*p)[3]);
	return 0;
}
