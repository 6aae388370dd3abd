# SPDX-License-Identifier: MIT
# MIPS32r2, big-endian, uClibc-ng.
set(HOSTQ_ARCH mips)
include(${CMAKE_CURRENT_LIST_DIR}/uclibc.cmake)
