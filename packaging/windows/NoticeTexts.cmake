# Reading licence texts and Debian's facts about them, for the notices the
# Windows kit ships (ThirdPartyNotices.cmake, QtSource.cmake). Every text is
# taken from a file of the build machine as it stands; a part of a larger file
# is found by markers, and a marker that is not there stops the build rather
# than ship a cut that no longer holds what it says.

# `out` is the text of `path`, with Unix line ends.
function(calvenori_read_text path out)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} is missing: the kit's notices are taken from it")
  endif()
  file(READ "${path}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# `out` is the part of `text` (read from `origin`) from `start` up to and
# including `end`. An empty `end` means the end of the paragraph `start` opens
# (its next blank line, or the end of the text).
function(calvenori_cut text origin start end out)
  string(FIND "${text}" "${start}" from)
  if(from LESS 0)
    message(FATAL_ERROR "${origin} no longer holds \"${start}\": check what the kit's notices cut from it")
  endif()
  string(SUBSTRING "${text}" ${from} -1 rest)
  if(end STREQUAL "")
    string(FIND "${rest}" "\n\n" length)
    if(length LESS 0)
      string(LENGTH "${rest}" length)
    endif()
  else()
    string(FIND "${rest}" "${end}" length)
    if(length LESS 0)
      message(FATAL_ERROR "${origin} no longer holds \"${end}\" after \"${start}\": check what the kit's notices "
                          "cut from it")
    endif()
    string(LENGTH "${end}" end_length)
    math(EXPR length "${length} + ${end_length}")
  endif()
  string(SUBSTRING "${rest}" 0 ${length} part)
  string(REGEX REPLACE "\n+$" "" part "${part}")
  string(APPEND part "\n")
  set(${out} "${part}" PARENT_SCOPE)
endfunction()

# `out` is the Debian package that installed `path`.
function(calvenori_package_of path out)
  execute_process(COMMAND dpkg-query -S "${path}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT owner MATCHES "^([^:, ]+)(:[^:, ]+)?: ")
    message(FATAL_ERROR "${path} comes from no Debian package: the kit's notices cannot say where its source is")
  endif()
  set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

# The installed Debian package `package`: its version, its source package and
# the source's version, and the sources it was built with (Built-Using) as
# "name=version" items.
function(calvenori_package_facts package)
  execute_process(COMMAND dpkg-query -W "-f=\${Version}|\${source:Package}|\${source:Version}|\${Built-Using}"
                          "${package}"
                  OUTPUT_VARIABLE facts RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT facts MATCHES "^([^|]+)\\|([^|]+)\\|([^|]+)\\|(.*)$")
    message(FATAL_ERROR "The Debian package ${package} is not installed")
  endif()
  set(version "${CMAKE_MATCH_1}")
  set(source "${CMAKE_MATCH_2}")
  set(source_version "${CMAKE_MATCH_3}")
  set(built_using "${CMAKE_MATCH_4}")
  string(REGEX REPLACE " *\\(= *([^)]+)\\)" "=\\1" built_using "${built_using}")
  string(REGEX REPLACE " *, *" " " built_using "${built_using}")
  set(${package}_VERSION "${version}" PARENT_SCOPE)
  set(${package}_SOURCE "${source}" PARENT_SCOPE)
  set(${package}_SOURCE_VERSION "${source_version}" PARENT_SCOPE)
  set(${package}_BUILT_USING "${built_using}" PARENT_SCOPE)
endfunction()
