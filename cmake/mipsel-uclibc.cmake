# SPDX-License-Identifier: MIT
# MIPS32r2, little-endian, uClibc-ng: the target. -DHOSTQ_LINKAGE=shared
# for a dynamically linked build.
set(HOSTQ_ARCH mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/uclibc.cmake)
