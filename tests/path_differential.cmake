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
execute_process(COMMAND "${NATIVE_TOOL}" --compare "${WORK}/paths-native.txt" "${WORK}/paths-wine.txt"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the native path helpers do not answer as Wine's")
endif()
