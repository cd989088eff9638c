# Joins the same generated (folder, file) pairs with the native build's path
# helpers and with the Windows build's under Wine, and fails on the first pair
# whose answers differ.
#   cmake -DNATIVE_TOOL=<native pathvectors> -DEMULATOR=<wine> -DWINDOWS_TOOL=<pathvectors.exe>
#         -DWORK=<folder> -P path_differential.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT EXISTS "${NATIVE_TOOL}")
  message(FATAL_ERROR "${NATIVE_TOOL} is missing: build the native preset first")
endif()
execute_process(COMMAND "${NATIVE_TOOL}" OUTPUT_FILE "${WORK}/paths-native.txt" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the native path tool failed: ${failed}")
endif()
execute_process(COMMAND "${EMULATOR}" "${WINDOWS_TOOL}" OUTPUT_FILE "${WORK}/paths-wine.txt" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the Windows path tool failed under Wine: ${failed}")
endif()
# Both outputs line by line, carriage returns ignored; the first pair that
# differs is named.
foreach(side native wine)
  file(READ "${WORK}/paths-${side}.txt" text)
  string(REPLACE "\r" "" text "${text}")
  string(REPLACE ";" "\\;" text "${text}")
  # Each line keeps its line feed, so that no backslash ends an element.
  string(REPLACE "\n" "\n;" ${side} "${text}")
endforeach()
list(LENGTH native count)
if(count LESS 2)
  message(FATAL_ERROR "the native path tool printed no pairs")
endif()
if(NOT native STREQUAL wine)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last})
    list(GET native ${index} a)
    list(GET wine ${index} b)
    if(NOT a STREQUAL b)
      message(FATAL_ERROR "the native path helpers do not answer as Wine's:\n  native: ${a}  wine:   ${b}")
    endif()
  endforeach()
  message(FATAL_ERROR "the native path helpers do not answer as Wine's: Wine printed more lines")
endif()
math(EXPR pairs "${count} - 1")
message(STATUS "pathvectors: ${pairs} pairs, all answers equal")
