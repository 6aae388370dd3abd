# SPDX-License-Identifier: MIT
# uClibc-ng for MIPS32r2, from the sysroot tools/build-sysroot builds. Set
# HOSTQ_ARCH (mipsel or mips) before including.
# Cache variable:
#   HOSTQ_SYSROOT  the uClibc-ng sysroot; built (or found in the cache) when empty
set(CMAKE_SYSTEM_PROCESSOR mips)
set(HOSTQ_SYSROOT "" CACHE PATH "uClibc-ng sysroot (built when empty)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_ARCH HOSTQ_SYSROOT HOSTQ_LINKAGE)
if(NOT HOSTQ_SYSROOT)
  message(STATUS "Building or finding the uClibc-ng sysroot for ${HOSTQ_ARCH}")
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/build-sysroot ${HOSTQ_ARCH}
                  OUTPUT_VARIABLE sysroot OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "tools/build-sysroot ${HOSTQ_ARCH} failed")
  endif()
  set(HOSTQ_SYSROOT ${sysroot} CACHE PATH "uClibc-ng sysroot (built when empty)" FORCE)
endif()
set(CMAKE_SYSROOT ${HOSTQ_SYSROOT})

set(HOSTQ_CROSS ${HOSTQ_ARCH}-linux-gnu-)
set(HOSTQ_LIBC uclibc)
set(HOSTQ_LIBC_INCLUDE ${HOSTQ_SYSROOT}/usr/include)
set(HOSTQ_LIBC_LIB ${HOSTQ_SYSROOT}/usr/lib)
set(HOSTQ_LOADER /lib/ld-uClibc.so.1)
# A shared build finds its loader and libc in the sysroot, which has no
# etc/ to shadow the test's /etc.
set(HOSTQ_EMULATOR qemu-${HOSTQ_ARCH} -L ${HOSTQ_SYSROOT})
if(HOSTQ_ARCH STREQUAL "mipsel")
  set(HOSTQ_ELF_ARCH "lsb mips32r2")
else()
  set(HOSTQ_ELF_ARCH "msb mips32r2")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/libc-toolchain.cmake)
