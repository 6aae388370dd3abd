# SPDX-License-Identifier: MIT
# MIPS32r2, little-endian, Debian's cross glibc, linked dynamically.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_FLAGS_INIT "-march=mips32r2")
set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L /usr/mipsel-linux-gnu)
set(HOSTQ_READELF mipsel-linux-gnu-readelf CACHE STRING "" FORCE)
set(HOSTQ_ELF_FACTS "lsb mips32r2 dynamic" CACHE STRING "" FORCE)
# Debian ships GoogleTest as source: build it for the target.
set(HOSTQ_GTEST_SOURCE /usr/src/googletest CACHE PATH "" FORCE)
