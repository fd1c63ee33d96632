# Run by CPack once it has installed the files into its staging folder, before
# it builds the package. Adds what Debian wants beside the programs: a man page
# for every program in usr/bin, made from its --help and --version by help2man,
# and the changelog, all compressed reproducibly (gzip -9n).

set(stage "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(docs "${stage}/share/doc/${CPACK_PACKAGE_NAME}")
set(mandir "${stage}/share/man/man1")
# Outside the staging folder, so nothing but the compressed pages is packaged.
set(scratch "${CPACK_PACKAGE_DIRECTORY}/man")

function(gzip_to source target)
  execute_process(COMMAND gzip -9nc "${source}" OUTPUT_FILE "${target}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
  file(CHMOD "${target}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

# A changelog whose newest entry names another version would mislead whoever
# reads it after installing: refuse to build such a package. The entry's date
# also dates the man pages, so the same sources give the same package.
function(changelog_field field out)
  execute_process(COMMAND dpkg-parsechangelog -l "${CPACK_CALVENORI_CHANGELOG}" -S ${field}
                  OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
changelog_field(Version newest)
if(NOT newest STREQUAL CPACK_PACKAGE_VERSION)
  message(FATAL_ERROR "${CPACK_CALVENORI_CHANGELOG}: the newest entry is version ${newest}, "
                      "the package is ${CPACK_PACKAGE_VERSION}")
endif()
changelog_field(Timestamp released)
file(MAKE_DIRECTORY "${docs}")
gzip_to("${CPACK_CALVENORI_CHANGELOG}" "${docs}/changelog.gz")

find_program(HELP2MAN help2man REQUIRED)
file(GLOB programs "${stage}/bin/*")
file(MAKE_DIRECTORY "${mandir}" "${scratch}")
foreach(program IN LISTS programs)
  get_filename_component(name "${program}" NAME)
  set(what "${CPACK_CALVENORI_MAN_NAME_${name}}")
  if(NOT what)
    set(what "part of the Calvenori Uploader")
  endif()
  # Should a program start Qt's GUI before it answers, no display is needed.
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=${released}
            "${HELP2MAN}" --no-info --section=1 "--name=${what}"
            "--output=${scratch}/${name}.1" "${program}"
    TIMEOUT 30 RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "help2man ${name}: ${failed} (does it answer --help and --version?)")
  endif()
  gzip_to("${scratch}/${name}.1" "${mandir}/${name}.1.gz")
endforeach()
