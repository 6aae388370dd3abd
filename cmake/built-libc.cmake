# SPDX-License-Identifier: MIT
# A C library the project builds itself (tools/build-sysroot,
# tools/build-musl): unless the cache variable VAR names one of the
# caller's own, run TOOL ARCH VERSION, which builds it or finds it in its
# cache and prints its path, and keep that path in VAR. The tool runs at
# every configure, so that a changed patch or configuration is never met
# by the libc built before it. Where the tool cannot have the libc's
# source, the configure prints the tool's own "SKIP: " line and stops,
# and tools/check reports the build as one this machine cannot make.
function(hostq_built_libc var tool arch version doc)
  set(${var} "" CACHE PATH "${doc}")
  if(NOT ${var} OR ${var} STREQUAL "${${var}_BUILT}")
    message(STATUS "Building or finding ${tool} ${arch} ${version}")
    execute_process(COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/${tool} ${arch} ${version}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status)
    if(status EQUAL 77)
      # One line, as the tool wrote it, for tools/check to find.
      message(STATUS "${path}")
      message(FATAL_ERROR "tools/${tool} ${arch} ${version}: no source to build from (the SKIP line above)")
    elseif(NOT status EQUAL 0)
      message(FATAL_ERROR "tools/${tool} ${arch} ${version} failed")
    endif()
    set(${var} ${path} CACHE PATH "${doc}" FORCE)
    set(${var}_BUILT ${path} CACHE INTERNAL "")
  endif()
endfunction()
