# SPDX-License-Identifier: MIT
# Shared part of the uClibc-ng toolchain files: Debian's MIPS cross g++ for
# the compiler and the C++ headers, uClibc-ng (built by tools/build-sysroot)
# for libc, and no libstdc++ at all. Set before including:
#   HOSTQ_ARCH     mipsel or mips
# Cache variables:
#   HOSTQ_SYSROOT  the uClibc-ng sysroot; built (or found in the cache) when empty
#   HOSTQ_LINKAGE  static (default) or shared
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(triple ${HOSTQ_ARCH}-linux-gnu)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_C_COMPILER ${triple}-gcc)

set(HOSTQ_LINKAGE static CACHE STRING "static or shared linking against uClibc-ng")
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
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's cross gcc searches the cross glibc's headers whatever the
# sysroot says: name every include folder, in the driver's own order.
execute_process(COMMAND ${triple}-g++ -E -x c++ - -v INPUT_FILE /dev/null
                ERROR_VARIABLE search OUTPUT_QUIET)
string(REGEX MATCH "search starts here:\n(.*)\nEnd of search list" search "${search}")
string(REGEX MATCHALL "[^\n ]+" search "${CMAKE_MATCH_1}")
set(includes "")
foreach(dir IN LISTS search)
  # Only the compiler's own and the C++ library's: libc's come from uClibc-ng.
  if(dir MATCHES "/c\\+\\+/" OR dir MATCHES "/gcc-cross/[^/]+/[^/]+/include(-fixed)?$")
    get_filename_component(dir ${dir} REALPATH)
    string(APPEND includes " -isystem ${dir}")
  endif()
endforeach()
string(APPEND includes " -isystem ${HOSTQ_SYSROOT}/usr/include")
set(CMAKE_CXX_FLAGS_INIT "-march=mips32r2 -nostdinc${includes}")
set(CMAKE_C_FLAGS_INIT "-march=mips32r2 -nostdinc${includes}")

# Link through the driver with -nostdlib: never its implicit -lstdc++ and
# -lm, which would pick up glibc's. uClibc-ng's start files and libc, and
# libgcc for the few helpers the compiler calls.
foreach(file crtbegin.o crtbeginT.o crtend.o)
  execute_process(COMMAND ${triple}-gcc -print-file-name=${file}
                  OUTPUT_VARIABLE gcc_${file} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
set(lib ${HOSTQ_SYSROOT}/usr/lib)
if(HOSTQ_LINKAGE STREQUAL "shared")
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbegin.o}")
  set(link "-nostdlib -no-pie -Wl,--dynamic-linker=/lib/ld-uClibc.so.1")
  set(libs "-L${lib} -lc -lgcc ${gcc_crtend.o} ${lib}/crtn.o")
else()
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbeginT.o}")
  set(link "-nostdlib -static -no-pie")
  set(libs "-L${lib} -Wl,--start-group -lc -lgcc -Wl,--end-group ${gcc_crtend.o} ${lib}/crtn.o")
endif()
string(APPEND CMAKE_CXX_FLAGS_INIT " -fno-pie")
string(APPEND CMAKE_C_FLAGS_INIT " -fno-pie")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link} ${start}")
set(CMAKE_CXX_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)
set(CMAKE_C_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)

# Under emulation: a shared build finds its loader and libc in the sysroot,
# which has no etc/ to shadow the test's /etc.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${HOSTQ_ARCH} -L ${HOSTQ_SYSROOT})
set(HOSTQ_LIBC uclibc CACHE STRING "" FORCE)
set(HOSTQ_READELF ${triple}-readelf CACHE STRING "" FORCE)
if(HOSTQ_ARCH STREQUAL "mipsel")
  set(facts "lsb mips32r2")
else()
  set(facts "msb mips32r2")
endif()
if(HOSTQ_LINKAGE STREQUAL "shared")
  string(APPEND facts " dynamic")
else()
  string(APPEND facts " static")
endif()
set(HOSTQ_ELF_FACTS ${facts} CACHE STRING "" FORCE)
