# SPDX-License-Identifier: MIT
# Debian's musl for the compiler's machine. Set HOSTQ_CROSS (and, for a
# target, HOSTQ_ARCH_FLAGS, HOSTQ_EMULATOR and HOSTQ_ELF_ARCH) before
# including.
execute_process(COMMAND ${HOSTQ_CROSS}gcc -dumpmachine OUTPUT_VARIABLE machine
                OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REPLACE "-gnu" "-musl" machine ${machine})
set(HOSTQ_LIBC musl)
set(HOSTQ_LIBC_INCLUDE /usr/include/${machine})
set(HOSTQ_LIBC_LIB /usr/lib/${machine})
if(NOT EXISTS ${HOSTQ_LIBC_LIB}/libc.a)
  message(FATAL_ERROR "no musl in ${HOSTQ_LIBC_LIB}: tools/install-deps")
endif()
set(HOSTQ_LINKAGE static CACHE STRING "musl builds link statically" FORCE)
include(${CMAKE_CURRENT_LIST_DIR}/libc-toolchain.cmake)
string(APPEND CMAKE_CXX_FLAGS_INIT " -include ${CMAKE_CURRENT_LIST_DIR}/musl-glibc-prereq.h")
# GoogleTest as Debian ships it is built against glibc's libstdc++.
set(CMAKE_DISABLE_FIND_PACKAGE_GTest TRUE)
