# Run by CPack once it has staged the kit, before it builds the installer or
# the ZIP from it: the notices must match what is staged, and the installer's
# licence page (CPACK_CALVENORI_LICENCE_PAGE, which project.nsi names) shows
# the project's terms followed by the notices, as the two staged files hold
# them.
cmake_path(SET kit NORMALIZE "${CPACK_TEMPORARY_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}")
include(${CMAKE_CURRENT_LIST_DIR}/CheckNotices.cmake)
calvenori_check_notices("${kit}")

# file(READ) drops the CR of each CR LF; both files have only those.
file(READ "${kit}/copyright.txt" terms)
file(READ "${kit}/THIRD-PARTY-NOTICES.txt" notices)
string(REPLACE "\n" "\r\n" terms "${terms}")
string(REPLACE "\n" "\r\n" notices "${notices}")
string(ASCII 239 187 191 bom)
string(FIND "${notices}" "${bom}" at)
if(at EQUAL 0)
  string(SUBSTRING "${notices}" 3 -1 notices)
endif()
file(WRITE "${CPACK_CALVENORI_LICENCE_PAGE}" "${bom}${terms}\r\n${notices}")
