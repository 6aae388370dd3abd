# SPDX-License-Identifier: MIT
# MIPS32r2, little-endian, Debian's musl (musl-dev:mipsel), linked statically.
set(HOSTQ_ARCH mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
set(HOSTQ_EMULATOR ${HOSTQ_QEMU})
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
