# SPDX-License-Identifier: MIT
# AArch64 (ARMv8.0-A), musl from Debian's source (tools/build-musl), linked statically.
set(HOSTQ_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
set(HOSTQ_EMULATOR ${HOSTQ_QEMU})
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
