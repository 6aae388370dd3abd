# SPDX-License-Identifier: MIT
# ARMv7-A, hard-float EABI, Thumb-2, musl from Debian's source
# (tools/build-musl), linked statically.
set(HOSTQ_ARCH armhf)
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
set(HOSTQ_EMULATOR ${HOSTQ_QEMU})
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
