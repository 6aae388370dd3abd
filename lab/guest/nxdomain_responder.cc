// SPDX-License-Identifier: MIT
// nxdomain_responder ADDRESS IDS READY: answers every DNS query on
// ADDRESS port 53 (UDP) with NXDOMAIN and appends its ID, in decimal, to
// the file IDS; creates READY once it listens. The lab's "nxdomain"
// responder for a booted guest, where there is no Python. Built static
// with Debian's cross glibc; it reads no random bytes, so it leaves the
// kernel's entropy pool as the boot left it.
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	if (argc != 4) {
		std::fputs("usage: nxdomain_responder ADDRESS IDS READY\n", stderr);
		return 2;
	}
	sockaddr_in self{};
	self.sin_family = AF_INET;
	self.sin_port = htons(53);
	const int fd = socket(AF_INET, SOCK_DGRAM, 0);
	if (fd < 0 || inet_pton(AF_INET, argv[1], &self.sin_addr) != 1 ||
	    bind(fd, reinterpret_cast<sockaddr *>(&self), sizeof self) != 0) {
		std::perror("nxdomain_responder");
		return 1;
	}
	const int ids = open(argv[2], O_WRONLY | O_CREAT | O_APPEND, 0644);
	const int ready = open(argv[3], O_WRONLY | O_CREAT, 0644);
	if (ids < 0 || ready < 0) {
		std::perror("nxdomain_responder");
		return 1;
	}
	close(ready);
	for (;;) {
		unsigned char query[512];
		sockaddr_in peer{};
		socklen_t peer_length = sizeof peer;
		const ssize_t length = recvfrom(fd, query, sizeof query, 0,
						reinterpret_cast<sockaddr *>(&peer), &peer_length);
		if (length < 12)
			continue;
		char line[8];
		const int n = std::snprintf(line, sizeof line, "%u\n", query[0] << 8 | query[1]);
		if (write(ids, line, static_cast<size_t>(n)) != n)
			return 1;
		// The reply: the query's header and question, nothing after.
		ssize_t end = 12;
		while (end < length && query[end] != 0)
			end += 1 + query[end];
		end += 5;
		if (end > length)
			continue;
		query[2] = static_cast<unsigned char>(0x80 | (query[2] & 0x01));
		query[3] = 0x83; // RA, NXDOMAIN
		const unsigned char counts[8] = {0, 1, 0, 0, 0, 0, 0, 0};
		std::memcpy(query + 4, counts, sizeof counts);
		sendto(fd, query, static_cast<size_t>(end), 0, reinterpret_cast<sockaddr *>(&peer),
		       peer_length);
	}
}
