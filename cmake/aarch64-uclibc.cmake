# SPDX-License-Identifier: MIT
# AArch64 (ARMv8.0-A), uClibc-ng.
set(HOSTQ_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/uclibc.cmake)
