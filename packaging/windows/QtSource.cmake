# The kit's source\ folder: the corresponding source of the Qt it ships, as
# far as it is this project's to give. The script that built that Qt and the
# qtserialport tarball it built from come from the toolchains folder the Qt
# archive came from; qt6-base's own source is Debian's, named by its exact
# version in the README, which also quotes the script's two changes to it.
include(${CMAKE_CURRENT_LIST_DIR}/NoticeTexts.cmake)

set(toolchains "$ENV{CALVENORI_TOOLCHAINS}")
if(NOT toolchains)
  set(toolchains ${PROJECT_SOURCE_DIR}/../shared/toolchains)
endif()
get_filename_component(toolchains "${toolchains}" ABSOLUTE)
set(CALVENORI_TOOLCHAINS "${toolchains}" CACHE PATH
    "The folder of the Qt archive, with the script that built it and the qtserialport tarball")
set(qt_script ${CALVENORI_TOOLCHAINS}/build-qt-mingw.sh)
set(qt_serialport ${CALVENORI_TOOLCHAINS}/${CALVENORI_QT_SERIALPORT_TARBALL})

string(FIND "${CALVENORI_QT_BASE_SOURCE_VERSION}" "${CALVENORI_QT_VERSION}+" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "The kit's Qt is ${CALVENORI_QT_VERSION}, but its source is named as "
                      "${CALVENORI_QT_BASE_SOURCE} ${CALVENORI_QT_BASE_SOURCE_VERSION}")
endif()
string(REGEX REPLACE "-[^-]*$" "" qt_base_upstream "${CALVENORI_QT_BASE_SOURCE_VERSION}")

calvenori_read_text(${qt_script} script)
if(NOT EXISTS ${qt_serialport})
  message(FATAL_ERROR "${qt_serialport} is missing: the kit ships it as the source of Qt6SerialPort.dll")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${qt_script})
# The change to the Windows platform plugin, with the comment that gives both
# changes' reasons; the tablet events are a configure option.
calvenori_cut("${script}" ${qt_script} "# Qt ${CALVENORI_QT_VERSION}'s Windows platform plugin" "qwindowswindow.cpp\n"
              qt_source_change)
string(REGEX REPLACE "\n$" "" qt_source_change "${qt_source_change}")
string(REPLACE "\n" "\n    " qt_source_change "    ${qt_source_change}")
set(qt_tablet_option -DFEATURE_tabletevent=OFF)
string(FIND "${script}" " ${qt_tablet_option}" at)
if(at LESS 0)
  message(FATAL_ERROR "${qt_script} no longer passes ${qt_tablet_option}: check what source\\README.txt says of it")
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/qt-source-README.txt.in ${CMAKE_CURRENT_BINARY_DIR}/qt-source-README.txt @ONLY)
file(READ ${CMAKE_CURRENT_BINARY_DIR}/qt-source-README.txt readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/source/README.txt "${readme}")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/source/README.txt ${qt_serialport} DESTINATION source)
install(PROGRAMS ${qt_script} DESTINATION source)
