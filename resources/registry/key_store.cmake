# Writes the key store from the template beside this script, with the system-information program
# that System Info starts (KELVOR_SYSINFO_PROGRAM): a full path, or a bare name the game looks
# for on the PATH. The template names Debian's /usr/bin/hardinfo, so that with that program the
# store is the template byte for byte. The output is written only when its content changes.
#
#   cmake -D program=PROGRAM -D output=FILE -P key_store.cmake
cmake_minimum_required(VERSION 3.25)
set(template "${CMAKE_CURRENT_LIST_DIR}/registry.reg")
set(line "\"PATH\"=\"/usr/bin/hardinfo\"")

# A path relative to a folder ("bin/hardinfo") would be relative to wherever the game was
# started, and the format has no line breaks in a value.
if(program STREQUAL "" OR program MATCHES "[\n\r\t]"
   OR (program MATCHES "/" AND NOT program MATCHES "^/"))
  message(FATAL_ERROR "KELVOR_SYSINFO_PROGRAM must be a full path or a bare program name found "
                      "on the PATH, on one line, not \"${program}\"")
endif()

file(READ "${template}" store)
string(FIND "${store}" "\n${line}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${template} has no line ${line}")
endif()
# The export format's two escapes in a string: \\ and \".
string(REPLACE "\\" "\\\\" value "${program}")
string(REPLACE "\"" "\\\"" value "${value}")
string(REPLACE "\n${line}" "\n\"PATH\"=\"${value}\"" store "${store}")
if(EXISTS "${output}")
  file(READ "${output}" written)
  if(written STREQUAL store)
    return()
  endif()
endif()
file(WRITE "${output}" "${store}")
