# SPDX-License-Identifier: MIT
# ARMv7-A, hard-float EABI, Thumb-2, uClibc-ng.
set(HOSTQ_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/uclibc.cmake)
