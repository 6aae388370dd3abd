# SPDX-License-Identifier: MIT
# The toolchain of every build that links a C library the project builds
# itself, uClibc-ng or musl: Debian's g++ for the compiler and the C++
# headers, that libc for everything else, and no libstdc++ at all. A
# preset gives, as cache variables:
#   HOSTQ_PROCESSOR  a processor of tables/processors (host: this machine)
#   HOSTQ_LIBC       uclibc or musl
#   HOSTQ_LINKAGE    static: the libc the static builds carry, its release
#                    of role static in tables/releases, with the project's
#                    patches; shared: a device's, as firmware builds it
#   HOSTQ_RELEASE    for a shared build, the device's release of
#                    tables/releases
#   HOSTQ_LIBC_DIR   that libc; built (or found in the cache) when empty
# The build's flavour, for the end-to-end table, is the one its libc's
# tool wrote down (tools/libc.sh).
include(${CMAKE_CURRENT_LIST_DIR}/table.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_PROCESSOR HOSTQ_LIBC HOSTQ_RELEASE HOSTQ_LINKAGE
     HOSTQ_LIBC_DIR)
set(HOSTQ_PROCESSOR "" CACHE STRING "processor of tables/processors")
set(HOSTQ_LIBC "" CACHE STRING "uclibc or musl")
set(HOSTQ_LINKAGE static CACHE STRING "static (the project's libc) or shared (a device's)")
set(HOSTQ_RELEASE "" CACHE STRING "for a shared build, the device's release of tables/releases")
set(HOSTQ_LIBC_DIR "" CACHE PATH "the C library (built when empty)")
if(HOSTQ_LIBC STREQUAL "uclibc")
  set(tool build-sysroot)
elseif(HOSTQ_LIBC STREQUAL "musl")
  set(tool build-musl)
else()
  message(FATAL_ERROR "HOSTQ_LIBC is '${HOSTQ_LIBC}': uclibc or musl")
endif()
hostq_table(processors "${HOSTQ_PROCESSOR}" processor)
if(HOSTQ_LINKAGE STREQUAL "static")
  set(role static)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/table releases --names library=${HOSTQ_LIBC} roles=static
                  OUTPUT_VARIABLE release ERROR_VARIABLE err RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0 OR release MATCHES "\n")
    message(FATAL_ERROR "tables/releases: not one release of ${HOSTQ_LIBC} has role static: ${err}${release}")
  endif()
elseif(HOSTQ_LINKAGE STREQUAL "shared")
  set(role device)
  set(release ${HOSTQ_RELEASE})
else()
  message(FATAL_ERROR "HOSTQ_LINKAGE is '${HOSTQ_LINKAGE}': static or shared")
endif()
hostq_table(releases "${release}" release)

set(CMAKE_SYSTEM_NAME Linux)
if(HOSTQ_PROCESSOR STREQUAL "host")
  set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_HOST_SYSTEM_PROCESSOR})
  set(cross "")
else()
  set(CMAKE_SYSTEM_PROCESSOR ${processor_cmake})
  set(cross ${processor_triplet}-)
endif()
set(CMAKE_CXX_COMPILER ${cross}g++)
set(CMAKE_C_COMPILER ${cross}gcc)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The libc, built by its tool or found in its cache, at every configure:
# a changed patch or configuration is never met by the libc built before
# it. Where the tool cannot have the source, its "SKIP: " line stops the
# configure, and tools/check reports the build as one this machine cannot
# make.
if(NOT HOSTQ_LIBC_DIR OR HOSTQ_LIBC_DIR STREQUAL "${HOSTQ_LIBC_DIR_BUILT}")
  set(command ${tool} ${HOSTQ_PROCESSOR} ${release} ${role})
  list(JOIN command " " said)
  message(STATUS "Building or finding: tools/${said}")
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../tools/${command}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  set(command ${said})
  if(status EQUAL 77)
    message(STATUS "${path}")
    message(FATAL_ERROR "tools/${command}: no source to build from (the SKIP line above)")
  elseif(NOT status EQUAL 0)
    message(FATAL_ERROR "tools/${command} failed")
  endif()
  set(HOSTQ_LIBC_DIR ${path} CACHE PATH "the C library (built when empty)" FORCE)
  set(HOSTQ_LIBC_DIR_BUILT ${path} CACHE INTERNAL "")
endif()
set(libc ${HOSTQ_LIBC_DIR})
file(STRINGS ${libc}/flavour flavour LIMIT_COUNT 1)

set(emulator ${processor_qemu})
set(extra_libs "")
if(tool STREQUAL "build-sysroot")
  set(CMAKE_SYSROOT ${libc})
  set(loader /lib/ld-uClibc.so.1)
  set(extra_libs ${processor_uclibc_libs})
  # A shared build finds its loader and libc in the sysroot, which has no
  # etc/ to shadow the test's /etc.
  list(APPEND emulator -L ${libc})
else()
  file(GLOB loader RELATIVE ${libc} ${libc}/lib/ld-musl-*.so.1)
  set(loader /${loader})
  if(HOSTQ_LINKAGE STREQUAL "shared")
    list(APPEND emulator -L ${libc})
  endif()
endif()

# Debian's gcc searches its own libc's headers whatever the sysroot says:
# name every include folder, in the driver's own order, but its libc's.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -E -x c++ - -v INPUT_FILE /dev/null
                ERROR_VARIABLE search OUTPUT_QUIET)
string(REGEX MATCH "search starts here:\n(.*)\nEnd of search list" search "${search}")
string(REGEX MATCHALL "[^\n ]+" search "${CMAKE_MATCH_1}")
set(includes "")
foreach(dir IN LISTS search)
  if(dir MATCHES "/c\\+\\+/" OR dir MATCHES "/gcc(-cross)?/[^/]+/[^/]+/include(-fixed)?$")
    get_filename_component(dir ${dir} REALPATH)
    string(APPEND includes " -isystem ${dir}")
  endif()
endforeach()
string(APPEND includes " -isystem ${libc}/usr/include")
set(flags "${processor_flags} -nostdinc${includes} -fno-pie")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
set(CMAKE_C_FLAGS_INIT "${flags}")
if(tool STREQUAL "build-musl")
  # libstdc++'s headers ask __GLIBC_PREREQ, which musl lacks.
  string(APPEND CMAKE_CXX_FLAGS_INIT " -include ${CMAKE_CURRENT_LIST_DIR}/musl-glibc-prereq.h")
  # GoogleTest as Debian ships it is built against glibc's libstdc++.
  set(CMAKE_DISABLE_FIND_PACKAGE_GTest TRUE)
endif()

# Link through the driver with -nostdlib: never its implicit -lstdc++ and
# -lm, which would pick up the compiler's own libc. The libc's start files
# and libc, and libgcc for the few helpers the compiler calls.
foreach(file crtbegin.o crtbeginT.o crtend.o)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=${file}
                  OUTPUT_VARIABLE gcc_${file} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
set(lib ${libc}/usr/lib)
if(HOSTQ_LINKAGE STREQUAL "shared")
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbegin.o}")
  set(link "-nostdlib -no-pie -Wl,--dynamic-linker=${loader}")
  set(libs "-L${lib} -lc -lgcc ${gcc_crtend.o} ${lib}/crtn.o")
  set(facts "${processor_elf} dynamic")
else()
  set(start "${lib}/crt1.o ${lib}/crti.o ${gcc_crtbeginT.o}")
  set(link "-nostdlib -static -no-pie ${processor_link_flags}")
  set(libs "-L${lib} -Wl,--start-group -lc -lgcc ${extra_libs} -Wl,--end-group ${gcc_crtend.o} ${lib}/crtn.o")
  set(facts "${processor_elf} static")
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link} ${start}")

# The _INIT flags reach the cache once, at the first configure; a libc
# rebuilt since (a new patch, a new release) lies in another folder, so
# point the build's cached flags at it.
if(DEFINED CACHE{HOSTQ_LIBC_DIR_USED} AND NOT HOSTQ_LIBC_DIR_USED STREQUAL libc)
  foreach(var CMAKE_CXX_FLAGS CMAKE_C_FLAGS CMAKE_EXE_LINKER_FLAGS)
    if(DEFINED CACHE{${var}})
      string(REPLACE "${HOSTQ_LIBC_DIR_USED}" "${libc}" value "$CACHE{${var}}")
      set(${var} "${value}" CACHE STRING "" FORCE)
    endif()
  endforeach()
endif()
set(HOSTQ_LIBC_DIR_USED ${libc} CACHE INTERNAL "")
set(CMAKE_CXX_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)
set(CMAKE_C_STANDARD_LIBRARIES "${libs}" CACHE STRING "" FORCE)

set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator})
string(STRIP "${facts}" facts)
set(HOSTQ_FLAVOUR ${flavour} CACHE STRING "" FORCE)
# A device's release keeps its faults; the static builds' patches mend them.
set(faults "")
if(role STREQUAL "device")
  set(faults "${release_faults}")
endif()
set(HOSTQ_FAULTS "${faults}" CACHE STRING "" FORCE)
set(HOSTQ_READELF ${cross}readelf CACHE STRING "" FORCE)
set(HOSTQ_ELF_FACTS ${facts} CACHE STRING "" FORCE)
