# SPDX-License-Identifier: MIT
# uClibc-ng, from the sysroot tools/build-sysroot builds. Set HOSTQ_ARCH
# (cmake/processor.cmake) before including.
# Cache variable:
#   HOSTQ_SYSROOT  the uClibc-ng sysroot; built (or found in the cache) when empty
include(${CMAKE_CURRENT_LIST_DIR}/processor.cmake)
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

set(HOSTQ_LIBC uclibc)
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
