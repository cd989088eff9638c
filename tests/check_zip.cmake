# Builds the Windows zip with CPack in a folder of its own and checks what an
# administrator gets: the launcher, the usage text, the sample INI files, our
# licence and inih's, every text file with CRLF line ends only.
#   cmake -DBUILD_DIR=<windows build tree> -DCPACK=<cpack> -P check_zip.cmake
cmake_minimum_required(VERSION 3.22)
set(work "${BUILD_DIR}/zip-check")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}/unpacked")
execute_process(COMMAND ${CPACK} -G ZIP -B "${work}" --config "${BUILD_DIR}/CPackConfig.cmake"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB zip "${work}/*.zip")
if(failed OR NOT zip)
  message(FATAL_ERROR "cpack made no zip:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${zip}" WORKING_DIRECTORY "${work}/unpacked"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${zip} could not be unpacked")
endif()

# file name in the zip, and a text it must hold
set(expected
  "USAGE.txt|$log_max_files"
  "samples/Esegui_da_qod.ini|[frascombe_a3x]"
  "samples/connettoreclient.ini|[frascombe_a3x]"
  "samples/frascombe_a3x.ini|$log_max_size"
  "LICENSE.txt|MIT License"
  "inih-LICENSE.txt|The \"inih\" library is distributed under the New BSD license")
foreach(entry IN LISTS expected)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 needle)
  set(path "${work}/unpacked/${name}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "the zip lacks ${name}")
  endif()
  file(READ "${path}" text)
  string(FIND "${text}" "${needle}" found)
  if(found LESS 0)
    message(FATAL_ERROR "${name} in the zip does not hold \"${needle}\"")
  endif()
  # Byte by byte (reading text would fold CRLF): every line feed after a carriage return.
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${hex}")
  string(FIND "${bytes}" "0d 0a " crlf)
  string(REPLACE "0d 0a " "" bytes "${bytes}")
  string(FIND "${bytes}" "0a " bare_lf)
  if(crlf LESS 0 OR bare_lf GREATER_EQUAL 0)
    message(FATAL_ERROR "${name} in the zip does not have CRLF line ends throughout")
  endif()
  message(STATUS "${name}: present, CRLF")
endforeach()
if(NOT EXISTS "${work}/unpacked/launcher.exe")
  message(FATAL_ERROR "the zip lacks launcher.exe")
endif()
