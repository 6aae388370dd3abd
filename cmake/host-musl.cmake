# SPDX-License-Identifier: MIT
# The host's processor, musl from Debian's source (tools/build-musl), linked statically.
set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_HOST_SYSTEM_PROCESSOR})
set(HOSTQ_CROSS "")
set(HOSTQ_ELF_ARCH "")
include(${CMAKE_CURRENT_LIST_DIR}/musl.cmake)
