# SPDX-License-Identifier: MIT
# Shared part of the toolchain files that link against a C library other
# than the compiler's own (uClibc-ng, musl): Debian's g++ for the compiler
# and the C++ headers, that libc for everything else, and no libstdc++ at
# all. Set before including:
#   HOSTQ_CROSS         compiler prefix (mipsel-linux-gnu-), empty for the host
#   HOSTQ_ARCH_FLAGS    the target's code generation flags (cmake/processor.cmake)
#   HOSTQ_ARCH_LINK_FLAGS  its flags for a static link
#   HOSTQ_LIBC          uclibc or musl, for the tests' expectations
#   HOSTQ_LIBC_VERSION  its release, likewise
#   HOSTQ_LIBC_INCLUDE  the libc's headers
#   HOSTQ_LIBC_LIB      its start files and libraries
#   HOSTQ_ELF_ARCH      what tests/elf_test.sh checks besides static/dynamic
#   HOSTQ_EMULATOR      command prefix that runs a target binary (a list)
#   HOSTQ_LOADER        the dynamic loader, for HOSTQ_LINKAGE shared
#   HOSTQ_LIBC_EXTRA_LIBS  what else that libc's static archive calls into
# Cache variable:
#   HOSTQ_LINKAGE       static (default) or shared
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${HOSTQ_CROSS}g++)
set(CMAKE_C_COMPILER ${HOSTQ_CROSS}gcc)
set(HOSTQ_LINKAGE static CACHE STRING "static or shared linking against the C library")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's gcc searches its own libc's headers whatever the sysroot says:
# name every include folder, in the driver's own order.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -E -x c++ - -v INPUT_FILE /dev/null
                ERROR_VARIABLE search OUTPUT_QUIET)
string(REGEX MATCH "search starts here:\n(.*)\nEnd of search list" search "${search}")
string(REGEX MATCHALL "[^\n ]+" search "${CMAKE_MATCH_1}")
set(includes "")
foreach(dir IN LISTS search)
  # Only the compiler's own and the C++ library's: libc's come from HOSTQ_LIBC_INCLUDE.
  if(dir MATCHES "/c\\+\\+/" OR dir MATCHES "/gcc(-cross)?/[^/]+/[^/]+/include(-fixed)?$")
    get_filename_component(dir ${dir} REALPATH)
    string(APPEND includes " -isystem ${dir}")
  endif()
endforeach()
string(APPEND includes " -isystem ${HOSTQ_LIBC_INCLUDE}")
set(flags "${HOSTQ_ARCH_FLAGS} -nostdinc${includes} -fno-pie")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
set(CMAKE_C_FLAGS_INIT "${flags}")

# Link through the driver with -nostdlib: never its implicit -lstdc++ and
# -lm, which would pick up the compiler's own libc. The libc's start files
# and libc, and libgcc for the few helpers the compiler calls.
foreach(file crtbegin.o crtbeginT.o crtend.o)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=${file}
                  OUTPUT_VARIABLE gcc_${file} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
set(lib ${HOSTQ_LIBC_LIB})
if(HOSTQ_LINKAGE STREQUAL "shared")
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbegin.o}")
  set(link "-nostdlib -no-pie -Wl,--dynamic-linker=${HOSTQ_LOADER}")
  set(libs "-L${lib} -lc -lgcc ${gcc_crtend.o} ${lib}/crtn.o")
  set(facts "${HOSTQ_ELF_ARCH} dynamic")
else()
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbeginT.o}")
  set(link "-nostdlib -static -no-pie ${HOSTQ_ARCH_LINK_FLAGS}")
  set(libs "-L${lib} -Wl,--start-group -lc -lgcc ${HOSTQ_LIBC_EXTRA_LIBS} -Wl,--end-group ${gcc_crtend.o} ${lib}/crtn.o")
  set(facts "${HOSTQ_ELF_ARCH} static")
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link} ${start}")

# The _INIT flags reach the cache once, at the first configure; a libc
# rebuilt since (a new patch, a new release) lies in another folder, so
# point the build's cached flags at it.
foreach(dir INCLUDE LIB)
  set(used HOSTQ_LIBC_${dir}_USED)
  if(DEFINED CACHE{${used}} AND NOT ${used} STREQUAL HOSTQ_LIBC_${dir})
    foreach(var CMAKE_CXX_FLAGS CMAKE_C_FLAGS CMAKE_EXE_LINKER_FLAGS)
      if(DEFINED CACHE{${var}})
        string(REPLACE "${${used}}" "${HOSTQ_LIBC_${dir}}" value "$CACHE{${var}}")
        set(${var} "${value}" CACHE STRING "" FORCE)
      endif()
    endforeach()
  endif()
  set(${used} ${HOSTQ_LIBC_${dir}} CACHE INTERNAL "")
endforeach()
set(CMAKE_CXX_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)
set(CMAKE_C_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)

set(CMAKE_CROSSCOMPILING_EMULATOR ${HOSTQ_EMULATOR})
set(HOSTQ_LIBC ${HOSTQ_LIBC} CACHE STRING "" FORCE)
set(HOSTQ_LIBC_VERSION ${HOSTQ_LIBC_VERSION} CACHE STRING "" FORCE)
set(HOSTQ_READELF ${HOSTQ_CROSS}readelf CACHE STRING "" FORCE)
set(HOSTQ_ELF_FACTS ${facts} CACHE STRING "" FORCE)
