# SPDX-License-Identifier: MIT
# MIPS32r2, little-endian, musl from Debian's source (tools/build-musl), linked statically.
set(HOSTQ_ARCH mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
set(HOSTQ_EMULATOR ${HOSTQ_QEMU})
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
