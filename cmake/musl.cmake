# SPDX-License-Identifier: MIT
# musl built from Debian's source with the project's patches
# (tools/build-musl), for HOSTQ_ARCH or, when that is unset, the host. Set
# HOSTQ_CROSS (and, for a target, HOSTQ_ARCH, HOSTQ_ARCH_FLAGS,
# HOSTQ_EMULATOR and HOSTQ_ELF_ARCH) before including.
# Cache variable:
#   HOSTQ_MUSL  that musl; built (or found in the cache) when empty
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_ARCH HOSTQ_MUSL)
set(arch host)
if(HOSTQ_ARCH)
  set(arch ${HOSTQ_ARCH})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/built-libc.cmake)
hostq_built_libc(HOSTQ_MUSL build-musl ${arch} "musl from tools/build-musl (built when empty)")
set(HOSTQ_LIBC musl)
set(HOSTQ_LIBC_INCLUDE ${HOSTQ_MUSL}/usr/include)
set(HOSTQ_LIBC_LIB ${HOSTQ_MUSL}/usr/lib)
set(HOSTQ_LINKAGE static CACHE STRING "musl builds link statically" FORCE)
include(${CMAKE_CURRENT_LIST_DIR}/libc-toolchain.cmake)
string(APPEND CMAKE_CXX_FLAGS_INIT " -include ${CMAKE_CURRENT_LIST_DIR}/musl-glibc-prereq.h")
# GoogleTest as Debian ships it is built against glibc's libstdc++.
set(CMAKE_DISABLE_FIND_PACKAGE_GTest TRUE)
