# SPDX-License-Identifier: MIT
# hostq_table(TABLE NAME PREFIX): sets PREFIX_FIELD to each field of row
# NAME of tables/TABLE ("-" becomes empty), through tools/table, whose one
# line stops the configure where the table, the row or a field is
# missing.
function(hostq_table table name prefix)
  if(name STREQUAL "")
    message(FATAL_ERROR "tables/${table}: no row asked for (a preset names it)")
  endif()
  execute_process(COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/table ${table} ${name} --cmake
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${err}")
  endif()
  string(REPLACE "\n" ";" lines "${out}")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([a-z0-9_]+)=(.*)$" matched "${line}")
    if(CMAKE_MATCH_2 STREQUAL "-")
      set(CMAKE_MATCH_2 "")
    endif()
    set(${prefix}_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
  endforeach()
endfunction()
