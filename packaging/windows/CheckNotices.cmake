# The Windows kit's notices against what the kit holds: every DLL and plugin
# in it has an entry in its THIRD-PARTY-NOTICES.txt, every entry names a file
# the kit ships, says what it is (component, version, licence, source) and
# finds the source\ files it points to there, and the file has Windows' line
# ends. Each mismatch is named, and the check fails.
#
#   cmake -DKIT=FOLDER -P CheckNotices.cmake
#
# KitPreBuild.cmake runs it on the staged kit before CPack builds the
# installer or the ZIP, so neither is made from notices that do not match.

function(calvenori_check_notices kit)
  set(notices "${kit}/THIRD-PARTY-NOTICES.txt")
  if(NOT EXISTS "${notices}")
    message(FATAL_ERROR "${notices} is missing")
  endif()
  # file(READ) drops the CR of each CR LF: as many bytes are missing as
  # there are line ends that have one.
  file(READ "${notices}" text)
  file(SIZE "${notices}" size)
  string(LENGTH "${text}" length)
  string(REPLACE "\n" "" single "${text}")
  string(LENGTH "${single}" single_length)
  set(problems "")
  math(EXPR bare "(${length} - ${single_length}) - (${size} - ${length})")
  if(NOT bare EQUAL 0)
    list(APPEND problems "${bare} of its line ends are not CR LF")
  endif()
  string(FIND "${text}" "\nLicence texts and notices\n" end)
  if(end LESS 0)
    list(APPEND problems "it has no \"Licence texts and notices\" heading after its entries")
    string(LENGTH "${text}" end)
  endif()
  string(SUBSTRING "${text}" 0 ${end} head)

  # An entry is a "File:" line and the field lines after it.
  string(REGEX MATCHALL "(^|\n)File:[^\n]*(\n[A-Za-z]+:[^\n]*)*" blocks "${head}")
  set(listed "")
  foreach(block ${blocks})
    string(REGEX MATCH "File: *([^\n]*[^ \n])" _ "${block}")
    string(REPLACE "\\" "/" file "${CMAKE_MATCH_1}")
    if(file STREQUAL "")
      list(APPEND problems "an entry names no file")
      continue()
    endif()
    list(APPEND listed "${file}")
    if(NOT EXISTS "${kit}/${file}" OR IS_DIRECTORY "${kit}/${file}")
      list(APPEND problems "its entry for ${file} names a file the kit does not ship")
    endif()
    foreach(field Component Version Licence Source)
      if(NOT block MATCHES "\n${field}: *[^ \n]")
        list(APPEND problems "its entry for ${file} says no ${field}")
      endif()
    endforeach()
    string(REGEX MATCHALL "source\\\\[^ ,;:()\n]+" sources "${block}")
    foreach(source ${sources})
      string(REPLACE "\\" "/" source "${source}")
      if(NOT EXISTS "${kit}/${source}")
        list(APPEND problems "its entry for ${file} points to ${source}, which the kit does not ship")
      endif()
    endforeach()
  endforeach()

  file(GLOB_RECURSE shipped LIST_DIRECTORIES false RELATIVE "${kit}" "${kit}/*")
  list(FILTER shipped INCLUDE REGEX "\\.[dD][lL][lL]$")
  foreach(file ${shipped})
    list(FIND listed "${file}" at)
    if(at LESS 0)
      list(APPEND problems "${file} is shipped but has no entry")
    endif()
  endforeach()

  if(problems)
    list(JOIN problems "\n  " said)
    message(FATAL_ERROR "${notices} does not match the kit:\n  ${said}")
  endif()
  list(LENGTH listed count)
  message(STATUS "THIRD-PARTY-NOTICES.txt: an entry for each of the kit's ${count} DLLs and plugins")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT KIT)
    message(FATAL_ERROR "usage: cmake -DKIT=FOLDER -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  calvenori_check_notices("${KIT}")
endif()
