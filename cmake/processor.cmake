# SPDX-License-Identifier: MIT
# The router processors hostq is built for: Debian's cross compiler, the
# code it generates, the emulator that runs it and what tests/elf_test.sh
# expects of the binary. Set HOSTQ_ARCH (mipsel, mips, armhf or aarch64)
# before including. HOSTQ_ARCH_LINK_FLAGS is for static links. Run as a
# script it prints HOSTQ_ARCH_FLAGS, with which tools/build-sysroot builds
# uClibc-ng:
#
#   cmake -DHOSTQ_ARCH=ARCH -P cmake/processor.cmake
if(HOSTQ_ARCH MATCHES "^mips(el)?$")
  set(CMAKE_SYSTEM_PROCESSOR mips)
  set(HOSTQ_CROSS ${HOSTQ_ARCH}-linux-gnu-)
  set(HOSTQ_ARCH_FLAGS "-march=mips32r2")
  set(HOSTQ_QEMU qemu-${HOSTQ_ARCH})
  if(HOSTQ_ARCH STREQUAL "mipsel")
    set(HOSTQ_ELF_ARCH "lsb mips32r2")
  else()
    set(HOSTQ_ELF_ARCH "msb mips32r2")
  endif()
elseif(HOSTQ_ARCH STREQUAL "armhf")
  # Cortex-A7, A9 and A15 class routers: ARMv7-A with the VFPv3-D16 unit
  # all of them have (NEON is optional on the A9), the hard-float EABI,
  # and Thumb-2, which every ARMv7-A core runs at full speed: the static
  # uClibc-ng binary has 36 KB of code against 50 KB in ARM's encoding.
  # Debian's armhf baseline is the same.
  set(CMAKE_SYSTEM_PROCESSOR arm)
  set(HOSTQ_CROSS arm-linux-gnueabihf-)
  set(HOSTQ_ARCH_FLAGS "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard -mthumb")
  set(HOSTQ_QEMU qemu-arm)
  set(HOSTQ_ELF_ARCH "lsb armv7hf")
elseif(HOSTQ_ARCH STREQUAL "aarch64")
  # Cortex-A53 class: ARMv8.0-A. Inline atomics, not gcc 12's calls into
  # libgcc, whose helpers need __getauxval from the libc (uClibc-ng has
  # none).
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(HOSTQ_CROSS aarch64-linux-gnu-)
  set(HOSTQ_ARCH_FLAGS "-march=armv8-a -mno-outline-atomics")
  # Segments stay 64 KiB-aligned, so the binary loads on kernels with 4,
  # 16 or 64 KiB pages, but ld ends RELRO on such a boundary, padding the
  # file by up to 64 KiB. Neither uClibc-ng nor musl write-protects RELRO
  # in a static binary (no mprotect at start), so it protects nothing.
  set(HOSTQ_ARCH_LINK_FLAGS "-Wl,-z,norelro")
  set(HOSTQ_QEMU qemu-aarch64)
  set(HOSTQ_ELF_ARCH "aarch64 pages64k")
else()
  message(FATAL_ERROR "unknown HOSTQ_ARCH '${HOSTQ_ARCH}': mipsel, mips, armhf or aarch64")
endif()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${HOSTQ_ARCH_FLAGS}")
endif()
