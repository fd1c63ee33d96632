# What Explorer shows of each Windows program (its Details tab, the taskbar,
# the Start menu): the icon and a version resource. The copyright and the
# licence terms come from the Debian copyright file, so the installer's
# licence page, the installed copyright.txt and the programs' Details tab
# say the same.
set(CALVENORI_COPYRIGHT_FILE ${CMAKE_CURRENT_LIST_DIR}/../debian/copyright)
file(READ ${CALVENORI_COPYRIGHT_FILE} copyright_text)
string(REGEX MATCH "\nCopyright: ([^\n]+)" _ "${copyright_text}")
set(CALVENORI_COPYRIGHT "Copyright ${CMAKE_MATCH_1}")
string(REGEX MATCH "\nLicense: ([^\n]+)\n(( [^\n]*\n)*)" _ "${copyright_text}")
set(CALVENORI_LICENSE_NAME "${CMAKE_MATCH_1}")
string(REGEX REPLACE "(^|\n) " "\\1" CALVENORI_LICENSE_TERMS "${CMAKE_MATCH_2}")
if(NOT CALVENORI_LICENSE_NAME OR NOT CALVENORI_LICENSE_TERMS)
  message(FATAL_ERROR "${CALVENORI_COPYRIGHT_FILE} has no Copyright and License fields")
endif()

# `target` gets the icon and a version resource whose description is `description`.
function(calvenori_windows_resources target description)
  set(CALVENORI_RC_NAME ${target})
  set(CALVENORI_RC_DESCRIPTION "${description}")
  set(CALVENORI_RC_ICON ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/calvenori-uploader.ico)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
