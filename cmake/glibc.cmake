# SPDX-License-Identifier: MIT
# A processor of tables/processors (cache variable HOSTQ_PROCESSOR) with
# Debian's cross gcc and its own glibc, linked dynamically.
include(${CMAKE_CURRENT_LIST_DIR}/table.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HOSTQ_PROCESSOR)
set(HOSTQ_PROCESSOR "" CACHE STRING "processor of tables/processors")
hostq_table(processors ${HOSTQ_PROCESSOR} processor)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${processor_cmake})
set(CMAKE_CXX_COMPILER ${processor_triplet}-g++)
set(CMAKE_C_COMPILER ${processor_triplet}-gcc)
set(CMAKE_CXX_FLAGS_INIT "${processor_flags}")
set(CMAKE_FIND_ROOT_PATH /usr/${processor_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${processor_qemu} -L /usr/${processor_triplet})
set(HOSTQ_READELF ${processor_triplet}-readelf CACHE STRING "" FORCE)
set(HOSTQ_ELF_FACTS "${processor_elf} dynamic" CACHE STRING "" FORCE)
# Debian ships GoogleTest as source: build it for the target.
set(HOSTQ_GTEST_SOURCE /usr/src/googletest CACHE PATH "" FORCE)
