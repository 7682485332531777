# The uninstall target: removes what the last cmake --install of this build folder wrote, as
# its record has it (install_folders.cmake.in): every file, then the folders the install made,
# deepest first, once they are empty. Folders that were there before stay, and so does a key
# store (the record's config file) that the administrator changed.
#
#   cmake -D record=FILE -D config_source=FILE -P uninstall.cmake
#
# config_source is the key store as the install copied it.
if(NOT EXISTS "${record}")
  message(STATUS "Nothing to uninstall: this build folder records no install")
  return()
endif()
file(STRINGS "${record}" files REGEX "^(file|config) ")
file(STRINGS "${record}" folders REGEX "^folder ")
list(TRANSFORM folders REPLACE "^folder " "")

foreach(entry IN LISTS files)
  string(REGEX REPLACE "^[a-z]+ " "" file "${entry}")
  if(NOT EXISTS "${file}" AND NOT IS_SYMLINK "${file}")
    continue()
  endif()
  if(entry MATCHES "^config " AND NOT IS_SYMLINK "${file}")
    file(SHA256 "${file}" installed)
    file(SHA256 "${config_source}" shipped)
    if(NOT installed STREQUAL shipped)
      message(STATUS "Kept: ${file}, changed since it was installed")
      continue()
    endif()
  endif()
  message(STATUS "Removing: ${file}")
  file(REMOVE "${file}")
endforeach()

# Deepest first: a folder sorts after every folder above it. rmdir removes a folder only while
# it is empty, which no check before it could make sure of.
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    execute_process(COMMAND rmdir -- "${folder}" RESULT_VARIABLE status ERROR_QUIET)
    if(status EQUAL 0)
      message(STATUS "Removing: ${folder}/")
    endif()
  endif()
endforeach()
file(REMOVE "${record}")
