#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Runs a command on a kernel that lacks what a router's may lack.

  lab/syscall_fails.py getrandom-eagain|getrandom-enosys|no-ipv6 COMMAND ARG...

getrandom-eagain: the entropy pool is not ready yet (kernels before 5.4,
early in boot): a non-blocking getrandom() fails with EAGAIN, and a call
that would wait for the pool kills the process with SIGSYS, since at
boot it would hang for minutes. A call for 0 bytes only probes, and
fails with EAGAIN.
getrandom-enosys: the kernel has no getrandom() (before 3.17): every
call fails with ENOSYS.
no-ipv6: a kernel built without IPv6 (CONFIG_IPV6=n, or booted with
ipv6.disable=1): socket(AF_INET6, ...) fails with EAFNOSUPPORT.

A seccomp filter on this process and all it runs, qemu-user included:
qemu passes a target's getrandom() and socket() on to the host's,
flags and family unchanged.
qemu's own start-up draws from a blocking getrandom() too: it is given
-seed, a fixed seed for what qemu itself makes up (the target's
AT_RANDOM), which leaves the target's own calls and /dev/urandom alone.
"""
import ctypes
import errno
import os
import platform
import struct
import sys

# The host's audit architecture and its numbers of getrandom, seccomp and
# socket.
ARCHES = {"x86_64": (0xC000003E, 318, 317, 41), "aarch64": (0xC00000B7, 278, 277, 198)}
MODES = ("getrandom-eagain", "getrandom-enosys", "no-ipv6")
AF_INET6 = 10
GRND_NONBLOCK = 1
PR_SET_NO_NEW_PRIVS = 38
SECCOMP_SET_MODE_FILTER = 1
SECCOMP_RET_ALLOW = 0x7FFF0000
SECCOMP_RET_KILL_PROCESS = 0x80000000
SECCOMP_RET_ERRNO = 0x00050000
# struct seccomp_data: nr at 0, arch at 4, args[i] at 16 + 8 * i (low half first).
LD_W_ABS, JEQ, JSET, RET = 0x20, 0x15, 0x45, 0x06


def insn(code, jt, jf, k):
    return struct.pack("HBBI", code, jt, jf, k)


def program(mode):
    audit_arch, nr_getrandom, _, nr_socket = ARCHES[platform.machine()]
    code = [
        insn(LD_W_ABS, 0, 0, 4),
        insn(JEQ, 1, 0, audit_arch),
        insn(RET, 0, 0, SECCOMP_RET_KILL_PROCESS),
        insn(LD_W_ABS, 0, 0, 0),
    ]
    if mode == "no-ipv6":
        return b"".join(code + [
            insn(JEQ, 1, 0, nr_socket),
            insn(RET, 0, 0, SECCOMP_RET_ALLOW),
            insn(LD_W_ABS, 0, 0, 16),  # family
            insn(JEQ, 1, 0, AF_INET6),
            insn(RET, 0, 0, SECCOMP_RET_ALLOW),
            insn(RET, 0, 0, SECCOMP_RET_ERRNO | errno.EAFNOSUPPORT),
        ])
    fail = SECCOMP_RET_ERRNO | (errno.EAGAIN if mode == "getrandom-eagain" else errno.ENOSYS)
    code += [
        insn(JEQ, 1, 0, nr_getrandom),
        insn(RET, 0, 0, SECCOMP_RET_ALLOW),
    ]
    if mode == "getrandom-eagain":
        code += [
            insn(LD_W_ABS, 0, 0, 16 + 8 * 2),  # flags
            insn(JSET, 3, 0, GRND_NONBLOCK),
            insn(LD_W_ABS, 0, 0, 16 + 8 * 1),  # count
            insn(JEQ, 1, 0, 0),
            insn(RET, 0, 0, SECCOMP_RET_KILL_PROCESS),
        ]
    code.append(insn(RET, 0, 0, fail))
    return b"".join(code)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in MODES:
        sys.exit(f"usage: syscall_fails.py {'|'.join(MODES)} COMMAND ARG...")
    if platform.machine() not in ARCHES:
        sys.exit(f"syscall_fails.py: no system call table for {platform.machine()}")
    filt = program(sys.argv[1])
    buf = ctypes.create_string_buffer(filt)
    fprog = struct.pack("HxxxxxxP", len(filt) // 8, ctypes.addressof(buf))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.syscall.restype = ctypes.c_long
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0:
        sys.exit("syscall_fails.py: prctl: " + os.strerror(ctypes.get_errno()))
    nr_seccomp = ARCHES[platform.machine()][2]
    if libc.syscall(nr_seccomp, SECCOMP_SET_MODE_FILTER, 0, ctypes.c_char_p(fprog)) != 0:
        sys.exit("syscall_fails.py: seccomp: " + os.strerror(ctypes.get_errno()))
    command = sys.argv[2:]
    if os.path.basename(command[0]).startswith("qemu-"):
        command[1:1] = ["-seed", "1"]
    os.execvp(command[0], command)


if __name__ == "__main__":
    main()
