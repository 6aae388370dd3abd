# SPDX-License-Identifier: MIT
# MIPS32r2, little-endian, Debian's musl (musl-dev:mipsel), linked statically.
set(CMAKE_SYSTEM_PROCESSOR mips)
set(HOSTQ_CROSS mipsel-linux-gnu-)
set(HOSTQ_EMULATOR qemu-mipsel)
set(HOSTQ_ELF_ARCH "lsb mips32r2")
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
