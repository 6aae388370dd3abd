# SPDX-License-Identifier: MIT
# uClibc-ng, from the sysroot tools/build-sysroot builds. Set HOSTQ_ARCH
# (cmake/processor.cmake) before including.
# Cache variables:
#   HOSTQ_UCLIBC_VERSION  the release to build: 1.0.57 (default) or 1.0.35
#   HOSTQ_SYSROOT  the uClibc-ng sysroot; built (or found in the cache) when empty
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_ARCH HOSTQ_SYSROOT HOSTQ_LINKAGE HOSTQ_UCLIBC_VERSION)
set(HOSTQ_UCLIBC_VERSION 1.0.57 CACHE STRING "uClibc-ng release to build: 1.0.57 or 1.0.35")
include(${CMAKE_CURRENT_LIST_DIR}/built-libc.cmake)
hostq_built_libc(HOSTQ_SYSROOT build-sysroot ${HOSTQ_ARCH} ${HOSTQ_UCLIBC_VERSION}
                 "uClibc-ng sysroot (built when empty)")
set(CMAKE_SYSROOT ${HOSTQ_SYSROOT})

set(HOSTQ_LIBC uclibc)
# The release the sysroot holds, from its own headers.
file(STRINGS ${HOSTQ_SYSROOT}/usr/include/bits/uClibc_config.h release
     REGEX "^#define __UCLIBC_(MAJOR|MINOR|SUBLEVEL)__ ")
string(REGEX REPLACE "[^;]* ([0-9]+);[^;]* ([0-9]+);[^;]* ([0-9]+)" "\\1.\\2.\\3" HOSTQ_LIBC_VERSION "${release}")
set(HOSTQ_LIBC_INCLUDE ${HOSTQ_SYSROOT}/usr/include)
set(HOSTQ_LIBC_LIB ${HOSTQ_SYSROOT}/usr/lib)
set(HOSTQ_LOADER /lib/ld-uClibc.so.1)
if(HOSTQ_ARCH STREQUAL "armhf")
  # Its thread cancellation points carry ARM unwind tables, whose
  # personality routines live in libgcc_eh.
  set(HOSTQ_LIBC_EXTRA_LIBS -lgcc_eh)
endif()
# A shared build finds its loader and libc in the sysroot, which has no
# etc/ to shadow the test's /etc.
set(HOSTQ_EMULATOR ${HOSTQ_QEMU} -L ${HOSTQ_SYSROOT})
include(${CMAKE_CURRENT_LIST_DIR}/libc-toolchain.cmake)
