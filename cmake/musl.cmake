# SPDX-License-Identifier: MIT
# musl built from Debian's source with the project's patches
# (tools/build-musl), for HOSTQ_ARCH or, when that is unset, the host. Set
# HOSTQ_CROSS (and, for a target, HOSTQ_ARCH, HOSTQ_ARCH_FLAGS,
# HOSTQ_EMULATOR and HOSTQ_ELF_ARCH) before including.
# Cache variables:
#   HOSTQ_MUSL_VERSION  the release to build: 1.2.5 (default) or 1.2.3
#   HOSTQ_MUSL  that musl; built (or found in the cache) when empty
#   HOSTQ_LINKAGE  static (default) or shared
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_ARCH HOSTQ_MUSL HOSTQ_LINKAGE HOSTQ_MUSL_VERSION)
set(arch host)
if(HOSTQ_ARCH)
  set(arch ${HOSTQ_ARCH})
endif()
set(HOSTQ_MUSL_VERSION 1.2.5 CACHE STRING "musl release to build: 1.2.5 or 1.2.3")
include(${CMAKE_CURRENT_LIST_DIR}/built-libc.cmake)
hostq_built_libc(HOSTQ_MUSL build-musl ${arch} ${HOSTQ_MUSL_VERSION}
                 "musl from tools/build-musl (built when empty)")
set(HOSTQ_LIBC musl)
# musl's headers do not say its release: tools/build-musl writes it down.
if(EXISTS ${HOSTQ_MUSL}/version)
  file(STRINGS ${HOSTQ_MUSL}/version HOSTQ_LIBC_VERSION LIMIT_COUNT 1)
else()
  set(HOSTQ_LIBC_VERSION ${HOSTQ_MUSL_VERSION})
endif()
set(HOSTQ_LIBC_INCLUDE ${HOSTQ_MUSL}/usr/include)
set(HOSTQ_LIBC_LIB ${HOSTQ_MUSL}/usr/lib)
file(GLOB loader RELATIVE ${HOSTQ_MUSL} ${HOSTQ_MUSL}/lib/ld-musl-*.so.1)
set(HOSTQ_LOADER /${loader})
if(HOSTQ_LINKAGE STREQUAL "shared")
  # The loader and libc from the build's own folder.
  list(APPEND HOSTQ_EMULATOR -L ${HOSTQ_MUSL})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/libc-toolchain.cmake)
string(APPEND CMAKE_CXX_FLAGS_INIT " -include ${CMAKE_CURRENT_LIST_DIR}/musl-glibc-prereq.h")
# GoogleTest as Debian ships it is built against glibc's libstdc++.
set(CMAKE_DISABLE_FIND_PACKAGE_GTest TRUE)
